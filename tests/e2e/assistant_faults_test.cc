// The Assistant and the session bus failing under the real host: the
// Assistant quitting around the host's request, dying in the
// middle of a transfer, the bus itself going away, and a status event that
// changes the upload list while a dialog is open. The test plays the
// Assistant on its own connection where it must see the host's requests.
#include <gtest/gtest.h>
#include <json-c/json.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/DesktopHostTest.h"
#include "tests/support/Frames.h"
#include "tests/support/SessionBus.h"
#include "tests/support/StatusEvents.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTimeoutMs = 20000;
constexpr char kAssistant[] = "com.quorvex.Assistant";
constexpr char kLaunchError[] =
    R"({ "version": "8.2.0x431", "type": "Notification", "code": "Error", "text": "Failed to launch Quorvex Assistant" })";

// The text of the '----' parameter of an event in its wire form (uv).
std::string DirectObjectText(GVariant* event) {
  g_autoptr(GVariant) boxed = g_variant_get_child_value(event, 1);
  g_autoptr(GVariant) parts = g_variant_get_variant(boxed);
  g_autoptr(GVariant) params = g_variant_get_child_value(parts, 1);
  for (size_t i = 0; i < g_variant_n_children(params); ++i) {
    guint32 keyword = 0;
    g_autoptr(GVariant) desc = nullptr;
    g_variant_get_child(params, i, "(u@(uv))", &keyword, &desc);
    if (keyword != 0x2D2D2D2D)
      continue;
    g_autoptr(GVariant) data = g_variant_get_child_value(desc, 1);
    g_autoptr(GVariant) bytes = g_variant_get_variant(data);
    gsize size = 0;
    const void* raw = g_variant_get_fixed_array(bytes, &size, 1);
    return std::string(static_cast<const char*>(raw), size);
  }
  return "";
}

// The "file_path" of every entry of a message's "files_ul".
std::multiset<std::string> ListedPaths(const std::string& message) {
  std::multiset<std::string> paths;
  JsonPtr parsed = ParseJson(message);
  json_object* list = nullptr;
  if (!parsed || !json_object_object_get_ex(parsed.get(), "files_ul", &list))
    return paths;
  for (size_t i = 0; i < json_object_array_length(list); ++i) {
    json_object* path = nullptr;
    json_object_object_get_ex(json_object_array_get_idx(list, i), "file_path", &path);
    paths.insert(json_object_get_string(path));
  }
  return paths;
}

std::multiset<std::string> PathsOfCode(const std::vector<std::string>& frames,
                                       const std::string& code) {
  std::multiset<std::string> paths;
  for (const auto& frame : frames)
    if (IsMessageWithCode(frame, code))
      paths.merge(ListedPaths(frame));
  return paths;
}

// An Assistant played on a connection of the test's own: it owns the name,
// takes Apple Events and keeps the request texts. Events are dispatched on
// the test's default main context, run while waiting.
class StandInAssistant {
 public:
  explicit StandInAssistant(const std::string& address) : mConnection(ConnectToBus(address)) {
    static const char kXml[] =
        "<node><interface name='com.quorvex.AppleEvents'><method name='Event'>"
        "<arg type='(uv)' direction='in'/><arg type='n' direction='out'/>"
        "</method></interface></node>";
    static const GDBusInterfaceVTable kVTable = {
        [](GDBusConnection*, const char*, const char*, const char*, const char*,
           GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
          g_autoptr(GVariant) event = g_variant_get_child_value(parameters, 0);
          static_cast<StandInAssistant*>(self)->mRequests.push_back(DirectObjectText(event));
          g_dbus_method_invocation_return_value(invocation, g_variant_new("(n)", 0));
        },
        nullptr,
        nullptr,
        {nullptr}};
    if (mConnection == nullptr)
      return;
    g_autoptr(GDBusNodeInfo) node = g_dbus_node_info_new_for_xml(kXml, nullptr);
    mRegistration =
        g_dbus_connection_register_object(mConnection.get(), "/com/quorvex/AppleEvents",
                                          node->interfaces[0], &kVTable, this, nullptr, nullptr);
    mOk = OwnAssistantName(mConnection.get());
  }
  ~StandInAssistant() { Quit(); }

  bool Ok() const { return mOk; }
  GDBusConnection* Connection() const { return mConnection.get(); }

  // As when the process ends: its connection closes and the name is free.
  void Quit() {
    if (mConnection == nullptr)
      return;
    g_dbus_connection_unregister_object(mConnection.get(), mRegistration);
    mConnection.reset();
  }

  // The next request's JSON text; empty when none came in time.
  std::string WaitForRequest(int timeoutMs) {
    gint64 deadline = g_get_monotonic_time() + gint64{timeoutMs} * 1000;
    while (mRequests.empty() && g_get_monotonic_time() < deadline) {
      g_main_context_iteration(nullptr, FALSE);
      g_usleep(1000);
    }
    if (mRequests.empty())
      return "";
    std::string request = mRequests.front();
    mRequests.erase(mRequests.begin());
    return request;
  }

 private:
  BusConnection mConnection;
  guint mRegistration = 0;
  bool mOk = false;
  std::vector<std::string> mRequests;
};

// Relays one client's connection to the bus byte for byte, and can hold back
// one of the client's messages until released: a fixed point in the client's
// conversation with the bus.
class HoldingProxy {
 public:
  explicit HoldingProxy(const std::string& busAddress) {
    const std::string prefix = "unix:path=";
    char folder[] = "/tmp/qx-proxy-XXXXXX";
    if (busAddress.rfind(prefix, 0) != 0 || mkdtemp(folder) == nullptr)
      return;
    std::string path = busAddress.substr(prefix.size(), busAddress.find(',') - prefix.size());
    mFolder = folder;
    mListen = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un local{};
    local.sun_family = AF_UNIX;
    std::snprintf(local.sun_path, sizeof local.sun_path, "%s/bus", folder);
    if (bind(mListen, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        listen(mListen, 1) != 0 || pipe(mWake) != 0) {
      return;
    }
    mAddress = std::string("unix:path=") + local.sun_path;
    mThread = std::thread([this, path] { Run(path); });
  }

  ~HoldingProxy() {
    {
      std::lock_guard<std::mutex> lock(mMutex);
      mStopping = true;
      mHeld = false;
    }
    mChanged.notify_all();
    if (mWake[1] >= 0) {
      [[maybe_unused]] ssize_t woken = write(mWake[1], "x", 1);
    }
    if (mThread.joinable())
      mThread.join();
    for (int fd : {mListen, mWake[0], mWake[1]})
      if (fd >= 0)
        close(fd);
    std::error_code ignored;
    fs::remove_all(mFolder, ignored);
  }

  const std::string& Address() const { return mAddress; }

  // Holds the first message that contains `marker`, or with `after` the one
  // that follows it.
  void HoldAt(const std::string& marker, bool after = false) {
    std::lock_guard<std::mutex> lock(mMutex);
    mMarker = marker;
    mAfter = after;
  }

  bool WaitUntilHeld(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mMutex);
    return mChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return mHeld; });
  }

  // Lets a held message go, and holds none later.
  void Release() {
    {
      std::lock_guard<std::mutex> lock(mMutex);
      mHeld = false;
      mHoldNext = false;
      mMarker.clear();
    }
    mChanged.notify_all();
  }

 private:
  static bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
      ssize_t written = write(fd, data, size);
      if (written <= 0)
        return false;
      data += written;
      size -= static_cast<size_t>(written);
    }
    return true;
  }

  void Run(const std::string& busPath) {
    pollfd waiting[2] = {{mListen, POLLIN, 0}, {mWake[0], POLLIN, 0}};
    if (poll(waiting, 2, -1) <= 0 || !(waiting[0].revents & POLLIN))
      return;
    int client = accept4(mListen, nullptr, nullptr, SOCK_CLOEXEC);
    int bus = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un remote{};
    remote.sun_family = AF_UNIX;
    std::snprintf(remote.sun_path, sizeof remote.sun_path, "%s", busPath.c_str());
    if (client >= 0 && connect(bus, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0)
      Relay(client, bus);
    close(client);
    close(bus);
  }

  void Relay(int client, int bus) {
    char buffer[65536];
    for (;;) {
      pollfd fds[3] = {{client, POLLIN, 0}, {bus, POLLIN, 0}, {mWake[0], POLLIN, 0}};
      if (poll(fds, 3, -1) <= 0 || fds[2].revents != 0)
        return;
      for (int side = 0; side < 2; ++side) {
        if (fds[side].revents == 0)
          continue;
        ssize_t got = read(fds[side].fd, buffer, sizeof buffer);
        if (got <= 0)
          return;
        if (side == 1) {
          if (!WriteAll(client, buffer, static_cast<size_t>(got)))
            return;
          continue;
        }
        mPending.append(buffer, static_cast<size_t>(got));
        for (std::string unit = NextUnit(); !unit.empty(); unit = NextUnit()) {
          if (!HoldIfMarked(unit) || !WriteAll(bus, unit.data(), unit.size()))
            return;
        }
      }
    }
  }

  // The client's next line of authentication, then its next whole message;
  // empty until one is complete.
  std::string NextUnit() {
    size_t length = 0;
    if (!mAuthenticated) {
      size_t end = mPending.find("\r\n");
      if (end == std::string::npos)
        return "";
      length = end + 2;
      mAuthenticated = mPending.compare(0, length, "BEGIN\r\n") == 0;
    } else {
      if (mPending.size() < 16)
        return "";
      auto word = [this](size_t at) {
        uint32_t value = 0;
        std::memcpy(&value, mPending.data() + at, 4);
        return mPending[0] == 'B' ? __builtin_bswap32(value) : value;
      };
      // Fixed header, header fields padded to 8, body.
      length = ((16 + size_t(word(12)) + 7) & ~size_t(7)) + word(4);
      if (mPending.size() < length)
        return "";
    }
    std::string unit = mPending.substr(0, length);
    mPending.erase(0, length);
    return unit;
  }

  // False when the proxy is stopping.
  bool HoldIfMarked(const std::string& message) {
    std::unique_lock<std::mutex> lock(mMutex);
    bool marked = !mMarker.empty() && message.find(mMarker) != std::string::npos;
    if (marked)
      mMarker.clear();
    if (marked && mAfter) {
      mHoldNext = true;
    } else if (marked || mHoldNext) {
      mHoldNext = false;
      mHeld = true;
      mChanged.notify_all();
      mChanged.wait(lock, [this] { return !mHeld; });
    }
    return !mStopping;
  }

  std::string mFolder;
  std::string mAddress;
  int mListen = -1;
  int mWake[2] = {-1, -1};
  // Of the relay thread: what the client sent that is not passed on yet.
  std::string mPending;
  bool mAuthenticated = false;
  std::thread mThread;
  std::mutex mMutex;
  std::condition_variable mChanged;
  std::string mMarker;
  bool mAfter = false;
  bool mHoldNext = false;
  bool mHeld = false;
  bool mStopping = false;
};

class AssistantFaultsTest : public DesktopHostTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(DesktopHostTest::SetUp());
    ASSERT_TRUE(mBus.Ok());
    fs::create_directories(mRoot / "outbox");
  }

  std::vector<std::string> SourceFiles(const std::string& stem, size_t count) {
    fs::create_directories(mRoot / "source");
    std::vector<std::string> paths;
    for (size_t i = 0; i < count; ++i) {
      fs::path path = mRoot / "source" / (stem + std::to_string(i));
      std::ofstream(path) << stem << i;
      paths.push_back(path.string());
    }
    return paths;
  }

  // Opens the confirmation alert for `paths`; its window, or nullopt.
  std::optional<std::string> OpenAlert(const std::vector<std::string>& paths) {
    EXPECT_TRUE(mHost->SendFrame(Request("QueueFilesForUpload", FilesMember(paths))));
    auto alert = mDriver->WaitForWindow("Quorvex Web Client", kTimeoutMs);
    EXPECT_TRUE(alert) << mDriver->LastError();
    return alert;
  }

  bool Confirm(const std::string& alert) {
    bool ok = mDriver->Focus(alert) && mDriver->Key("Return");
    EXPECT_TRUE(ok) << mDriver->LastError();
    return ok;
  }

  // Queues `paths` through the alert; the paths the host reports added.
  std::multiset<std::string> Queue(const std::vector<std::string>& paths) {
    auto alert = OpenAlert(paths);
    if (!alert || !Confirm(*alert))
      return {};
    return PathsOfCode(FramesUntilCode("FilesAddedToUploadList"), "FilesAddedToUploadList");
  }

  bool WaitForNoAssistant() {
    for (int i = 0; i < 500 && !mBus.NameOwner(kAssistant).empty(); ++i)
      g_usleep(10000);
    return mBus.NameOwner(kAssistant).empty();
  }

  // A request that needs no bus is still answered.
  void ExpectAnswersWithoutBus() {
    ASSERT_TRUE(
        mHost->SendFrame(Request("SetParameter", R"("name":"FileTransferLimit","value":0)")));
    FramesUntilLog("Invalid upload limit specified: 0");
  }

  SessionBus mBus;
};

// The request is the Assistant's once it has answered for it, and only then.
// The host's bus traffic is held at a fixed point while the Assistant quits,
// so the order is certain rather than a matter of timing: gone before the
// request reached it is the launch error; gone right after answering is a
// success, even to a host that asked the bus again after the answer.
TEST_F(AssistantFaultsTest, TheRequestIsHandedOverExactlyWhenTheAssistantAnswers) {
  HoldingProxy proxy(mBus.Address());
  ASSERT_FALSE(proxy.Address().empty());
  StartHostOn(proxy.Address());
  const auto files = SourceFiles("kept", 2);
  ASSERT_EQ(Queue(files).size(), 2u);

  {
    auto leaving = std::make_unique<StandInAssistant>(mBus.Address());
    ASSERT_TRUE(leaving->Ok());
    proxy.HoldAt("com.quorvex.AppleEvents");
    ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
    ASSERT_TRUE(proxy.WaitUntilHeld(kTimeoutMs));
    leaving.reset();
    ASSERT_TRUE(WaitForNoAssistant());
    proxy.Release();
    auto frames = FramesUntilLog("Failed to pass request to file transfer proxy");
    EXPECT_EQ(NonLogFrames(frames), std::vector<std::string>{kLaunchError});
  }
  {
    StandInAssistant quitting(mBus.Address());
    ASSERT_TRUE(quitting.Ok());
    proxy.HoldAt("com.quorvex.AppleEvents", true);
    ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
    EXPECT_EQ(ListedPaths(quitting.WaitForRequest(kTimeoutMs)).size(), 2u);
    quitting.Quit();
    ASSERT_TRUE(WaitForNoAssistant());
    proxy.Release();
    ASSERT_TRUE(
        mHost->SendFrame(Request("SetParameter", R"("name":"FileTransferLimit","value":0)")));
    EXPECT_TRUE(NonLogFrames(FramesUntilLog("Invalid upload limit specified: 0")).empty());
  }

  // Still running, and the list is whole: the next Assistant gets all of it.
  StandInAssistant next(mBus.Address());
  ASSERT_TRUE(next.Ok());
  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  EXPECT_EQ(ListedPaths(next.WaitForRequest(kTimeoutMs)),
            std::multiset<std::string>(files.begin(), files.end()));
}

// The reference Assistant killed in the middle of an upload, once the first
// files are sent: the host keeps what was not sent, and the next StartUpload activates a new
// Assistant that sends the rest; every file leaves the list exactly once.
TEST_F(AssistantFaultsTest, AnAssistantKilledMidTransferIsRelaunchedForTheRest) {
  ASSERT_TRUE(mBus.InstallService(kAssistant,
                                  {QX_ASSISTANT_BINARY, "--outbox", (mRoot / "outbox").string()}));
  StartHostOn(mBus.Address());
  const auto files = SourceFiles("file", 300);
  ASSERT_EQ(Queue(files).size(), files.size());

  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  auto first = FramesUntilCode("FilesDeletedFromUploadList");
  pid_t assistant = NameOwnerPid(mBus.Connection(), kAssistant);
  ASSERT_GT(assistant, 0);
  ASSERT_EQ(kill(assistant, SIGKILL), 0);
  ASSERT_TRUE(WaitForNoAssistant());
  auto rest = mHost->ReadFramesUntilQuiet(500);
  first.insert(first.end(), rest.begin(), rest.end());
  auto sentBefore = PathsOfCode(first, "FilesDeletedFromUploadList");
  ASSERT_LT(sentBefore.size(), files.size()) << "the transfer ended before the kill";
  ASSERT_GT(sentBefore.size(), 0u);

  ExpectAnswersWithoutBus();
  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  auto second = FramesUntilCode("TransferComplete");
  EXPECT_FALSE(mBus.NameOwner(kAssistant).empty());
  auto sentAfter = PathsOfCode(second, "FilesDeletedFromUploadList");
  sentAfter.merge(sentBefore);
  EXPECT_EQ(sentAfter, std::multiset<std::string>(files.begin(), files.end()));
}

// The session bus dies while the host is idle: a transfer start is the launch
// error at once, and everything that needs no bus (requests, the alert) goes on.
TEST_F(AssistantFaultsTest, ABusThatDiedIsALaunchErrorAndTheRestGoesOn) {
  StartHostOn(mBus.Address());
  const auto files = SourceFiles("kept", 1);
  ASSERT_EQ(Queue(files).size(), 1u);

  g_autoptr(GVariant) daemon = g_dbus_connection_call_sync(
      mBus.Connection(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "GetConnectionUnixProcessID", g_variant_new("(s)", "org.freedesktop.DBus"),
      G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, kTimeoutMs, nullptr, nullptr);
  ASSERT_NE(daemon, nullptr);
  guint32 pid = 0;
  g_variant_get(daemon, "(u)", &pid);
  ASSERT_EQ(kill(static_cast<pid_t>(pid), SIGKILL), 0);

  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  auto frames = FramesUntilLog("Failed to pass request to file transfer proxy");
  EXPECT_EQ(NonLogFrames(frames), std::vector<std::string>{kLaunchError});
  ExpectAnswersWithoutBus();
  EXPECT_EQ(Queue(SourceFiles("more", 1)).size(), 1u);
  ASSERT_TRUE(mHost->SendFrame(Request("StartDownload")));
  FramesUntilLog("Download location not specified");
  EXPECT_EQ(mHost->WaitForExit(0), std::nullopt);
}

// A status event that runs inside the alert's nested loop, removing a listed
// file and naming one the alert is about to add: what the browser was told
// adds up to the list the next Assistant receives.
TEST_F(AssistantFaultsTest, AStatusEventDuringTheAlertKeepsTheBrowsersCountRight) {
  StartHostOn(mBus.Address());
  StandInAssistant assistant(mBus.Address());
  ASSERT_TRUE(assistant.Ok());
  const auto early = SourceFiles("early", 2);
  std::multiset<std::string> told = Queue(early);
  ASSERT_EQ(told.size(), 2u);

  const auto late = SourceFiles("late", 1);
  auto alert = OpenAlert(late);
  ASSERT_TRUE(alert);
  const std::string sent =
      R"({"type":"Notification","code":"FileSent","files_ul":[{"file_path":")" + early[0] +
      R"(","relative_path":"","size":6},{"file_path":")" + late[0] +
      R"(","relative_path":"","size":5}]})";
  const std::string hostName = UniqueNameOfProcess(mBus.Connection(), mHost->Pid(), kTimeoutMs);
  ASSERT_TRUE(
      SendStatusEvent(assistant.Connection(), hostName, HostRefCon(*mHost), sent, kTimeoutMs));
  auto frames = FramesUntilCode("FilesDeletedFromUploadList");
  ASSERT_TRUE(Confirm(*alert));
  auto added = FramesUntilCode("FilesAddedToUploadList");
  frames.insert(frames.end(), added.begin(), added.end());

  // The browser's view: each notification applied in the order it came.
  for (const auto& frame : frames) {
    for (const auto& path : ListedPaths(frame)) {
      if (IsMessageWithCode(frame, "FilesAddedToUploadList"))
        told.insert(path);
      else if (IsMessageWithCode(frame, "FilesDeletedFromUploadList") && told.count(path) > 0)
        told.erase(told.find(path));
    }
  }
  EXPECT_EQ(told, (std::multiset<std::string>{early[1], late[0]}));
  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  EXPECT_EQ(ListedPaths(assistant.WaitForRequest(kTimeoutMs)), told);
}

}  // namespace
