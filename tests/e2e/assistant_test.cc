// The Assistant link of the real host on a private session bus: the
// reference Assistant started by D-Bus activation, killed and started again;
// a stand-in Assistant quitting around the host's request; and status events
// sent by programs that do or do not own the Assistant's name, one of them
// while a dialog is open. The upload list is filled through the real alert.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include "tests/support/DesktopHostTest.h"
#include "tests/support/StatusEvents.h"

namespace fs = std::filesystem;
using Paths = std::multiset<std::string>;

namespace {

constexpr char kAssistant[] = "com.quorvex.Assistant";
constexpr char kForwardFailed[] = "Failed to pass request to file transfer proxy";
constexpr char kLaunchError[] =
    R"({ "version": "8.2.0x431", "type": "Notification", "code": "Error", )"
    R"("text": "Failed to launch Quorvex Assistant" })";

// The "file_path" of every "files_ul" entry of the messages with `code`.
Paths ListedPaths(const std::vector<std::string>& frames, const std::string& code) {
  Paths paths;
  for (const auto& frame : frames) {
    JsonPtr message = ParseJson(frame);
    json_object* list = nullptr;
    if (!IsMessageWithCode(frame, code) ||
        !json_object_object_get_ex(message.get(), "files_ul", &list))
      continue;
    for (size_t i = 0; i < json_object_array_length(list); ++i) {
      json_object* path = nullptr;
      json_object_object_get_ex(json_object_array_get_idx(list, i), "file_path", &path);
      paths.insert(json_object_get_string(path));
    }
  }
  return paths;
}

// An Assistant played on a connection of the test's own: it owns the name
// and keeps the text of each request, dispatched while it waits for one.
class StandInAssistant {
 public:
  explicit StandInAssistant(const std::string& address) : mConnection(ConnectToBus(address)) {
    static const GDBusInterfaceVTable kVTable = {
        [](GDBusConnection*, const char*, const char*, const char*, const char*,
           GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
          // The '----' parameter of the event (uv): its bytes are the text.
          g_autoptr(GVariant) event = nullptr;
          g_variant_get(parameters, "((uv))", nullptr, &event);
          g_autoptr(GVariant) params = g_variant_get_child_value(event, 1);
          for (size_t i = 0; i < g_variant_n_children(params); ++i) {
            guint32 keyword = 0, type = 0;
            g_autoptr(GVariant) data = nullptr;
            g_variant_get_child(params, i, "(u(uv))", &keyword, &type, &data);
            gsize size = 0;
            const void* bytes = g_variant_get_fixed_array(data, &size, 1);
            if (keyword == 0x2D2D2D2D)
              static_cast<StandInAssistant*>(self)->mRequests.emplace_back(
                  static_cast<const char*>(bytes), size);
          }
          g_dbus_method_invocation_return_value(invocation, g_variant_new("(n)", 0));
        },
        nullptr,
        nullptr,
        {nullptr}};
    g_autoptr(GDBusNodeInfo) node = g_dbus_node_info_new_for_xml(
        "<node><interface name='com.quorvex.AppleEvents'><method name='Event'>"
        "<arg type='(uv)' direction='in'/><arg type='n' direction='out'/>"
        "</method></interface></node>",
        nullptr);
    mOk = mConnection &&
          g_dbus_connection_register_object(mConnection.get(), "/com/quorvex/AppleEvents",
                                            node->interfaces[0], &kVTable, this, nullptr,
                                            nullptr) != 0 &&
          OwnAssistantName(mConnection.get());
  }

  bool Ok() const { return mOk; }
  // As when the process ends once its answers are out: the connection
  // closes and the name is free. Closing alone may drop queued answers.
  void Quit() {
    g_dbus_connection_flush_sync(mConnection.get(), nullptr, nullptr);
    mConnection.reset();
  }

  // The "file_path"s of the next request; empty when none came in time.
  Paths WaitForRequest(int timeoutMs) {
    const gint64 deadline = g_get_monotonic_time() + gint64{timeoutMs} * 1000;
    while (mRequests.empty() && g_get_monotonic_time() < deadline)
      if (!g_main_context_iteration(nullptr, FALSE))
        g_usleep(1000);
    if (mRequests.empty())
      return {};
    const std::string request = mRequests.front();
    mRequests.erase(mRequests.begin());
    return ListedPaths({request}, "StartUpload");
  }

 private:
  BusConnection mConnection;
  bool mOk = false;
  std::vector<std::string> mRequests;
};

// Relays one client's connection to the bus byte for byte, and can hold back
// one of the client's messages until released: a fixed point in the
// client's conversation with the bus.
class HoldingProxy {
 public:
  explicit HoldingProxy(const std::string& busAddress) {
    const size_t start = busAddress.find('=') + 1;
    const std::string bus = busAddress.substr(start, busAddress.find(',') - start);
    char folder[] = "/tmp/qx-proxy-XXXXXX";
    sockaddr_un local{AF_UNIX, {}};
    if (mkdtemp(folder) == nullptr)
      return;
    mFolder = folder;
    std::snprintf(local.sun_path, sizeof local.sun_path, "%s/bus", folder);
    mListen = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(mListen, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
        listen(mListen, 1) == 0 && pipe(mWake) == 0) {
      mAddress = std::string("unix:path=") + local.sun_path;
      mThread = std::thread([this, bus] { Run(bus); });
    }
  }
  ~HoldingProxy() {
    {
      std::lock_guard<std::mutex> lock(mMutex);
      mStopping = true;
      mHeld = false;
    }
    mChanged.notify_all();
    if (mThread.joinable()) {
      [[maybe_unused]] const ssize_t woken = write(mWake[1], "x", 1);
      mThread.join();
    }
    for (int fd : {mListen, mWake[0], mWake[1]})
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
      mHeld = mHoldNext = false;
      mMarker.clear();
    }
    mChanged.notify_all();
  }

 private:
  void Run(const std::string& busPath) {
    pollfd first[2] = {{mListen, POLLIN, 0}, {mWake[0], POLLIN, 0}};
    if (poll(first, 2, -1) <= 0 || !(first[0].revents & POLLIN))
      return;
    const int client = accept4(mListen, nullptr, nullptr, SOCK_CLOEXEC);
    const int bus = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un remote{AF_UNIX, {}};
    std::snprintf(remote.sun_path, sizeof remote.sun_path, "%s", busPath.c_str());
    std::string pending;  // what the client sent that is not passed on yet
    bool authenticated = false;
    char buffer[65536];
    for (bool open = connect(bus, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0;
         open;) {
      pollfd fds[3] = {{client, POLLIN, 0}, {bus, POLLIN, 0}, {mWake[0], POLLIN, 0}};
      open = poll(fds, 3, -1) > 0 && fds[2].revents == 0;
      for (int side = 0; open && side < 2; ++side) {
        const ssize_t got = fds[side].revents ? read(fds[side].fd, buffer, sizeof buffer) : 0;
        open = fds[side].revents == 0 || got > 0;
        if (open && side == 1)
          open = WriteAll(client, std::string(buffer, static_cast<size_t>(got)));
        if (!open || side == 1 || got <= 0)
          continue;
        pending.append(buffer, static_cast<size_t>(got));
        // Whole lines of authentication, then whole messages: fixed header,
        // header fields padded to 8, body.
        for (size_t length; open && (length = UnitLength(pending, authenticated)) > 0;) {
          authenticated = authenticated || pending.compare(0, length, "BEGIN\r\n") == 0;
          open =
              HoldIfMarked(pending.substr(0, length)) && WriteAll(bus, pending.substr(0, length));
          pending.erase(0, length);
        }
      }
    }
    close(client);
    close(bus);
  }

  static size_t UnitLength(const std::string& pending, bool authenticated) {
    if (!authenticated) {
      const size_t end = pending.find("\r\n");
      return end == std::string::npos ? 0 : end + 2;
    }
    if (pending.size() < 16)
      return 0;
    const auto word = [&](size_t at) {
      uint32_t value = 0;
      std::memcpy(&value, pending.data() + at, 4);
      return pending[0] == 'B' ? __builtin_bswap32(value) : value;
    };
    const size_t length = ((16 + size_t(word(12)) + 7) & ~size_t(7)) + word(4);
    return pending.size() < length ? 0 : length;
  }

  static bool WriteAll(int fd, const std::string& data) {
    for (size_t done = 0; done < data.size();) {
      const ssize_t written = write(fd, data.data() + done, data.size() - done);
      if (written <= 0)
        return false;
      done += static_cast<size_t>(written);
    }
    return true;
  }

  // False when the proxy is stopping.
  bool HoldIfMarked(const std::string& message) {
    std::unique_lock<std::mutex> lock(mMutex);
    const bool marked = !mMarker.empty() && message.find(mMarker) != std::string::npos;
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

  std::string mFolder, mAddress;
  int mListen = -1;
  int mWake[2] = {-1, -1};
  std::thread mThread;
  std::mutex mMutex;
  std::condition_variable mChanged;
  std::string mMarker;
  bool mAfter = false, mHoldNext = false, mHeld = false, mStopping = false;
};

class AssistantTest : public DesktopHostTest {
 protected:
  SessionBus& Bus() { return mDesktop.Bus(); }

  std::vector<std::string> SourceFiles(size_t count) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < count; ++i) {
      paths.push_back((mRoot / ("file \xC3\xA9 " + std::to_string(i))).string());
      std::ofstream(paths.back()) << "content " << i;
    }
    return paths;
  }

  // Queues `paths` as the browser does and confirms them in the alert as a
  // user does; the paths the host reports added.
  Paths Queue(const std::vector<std::string>& paths) {
    PressKey(OpenDialog(Request("QueueFilesForUpload", FilesMember(paths)), "Quorvex Web Client"),
             "Return");
    return ListedPaths(FramesUntilCode("FilesAddedToUploadList"), "FilesAddedToUploadList");
  }

  bool WaitForNoAssistant() {
    return PollUntil(kTimeoutMs, [&] { return Bus().NameOwner(kAssistant).empty(); });
  }
};

}  // namespace

// The first upload starts the Assistant by activation; killed once its first
// files are sent, it leaves the rest listed, and the next upload starts a new
// one that sends the rest: every file leaves the list exactly once. The
// Assistant's own notifications arrive as it wrote them; its "FileSent" is
// not relayed: each sent file leaves the list instead.
TEST_F(AssistantTest, AnUploadActivatesTheAssistantWhichIsRelaunchedAfterAKill) {
  InstallAssistant();
  StartHost();
  const auto files = SourceFiles(300);
  ASSERT_EQ(Queue(files).size(), files.size());
  EXPECT_TRUE(Bus().NameOwner(kAssistant).empty());

  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  auto frames = FramesUntilCode("FilesDeletedFromUploadList");
  const pid_t assistant = NameOwnerPid(Bus().Connection(), kAssistant);
  ASSERT_GT(assistant, 0);
  ASSERT_EQ(kill(assistant, SIGKILL), 0);
  ASSERT_TRUE(WaitForNoAssistant());
  for (const auto& frame : mHost->ReadFramesUntilQuiet(500ms))
    frames.push_back(frame);
  Paths sent = ListedPaths(frames, "FilesDeletedFromUploadList");
  ASSERT_LT(sent.size(), files.size()) << "the transfer ended before the kill";

  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  const auto rest = FramesUntilCode("TransferComplete");
  ASSERT_FALSE(rest.empty());
  EXPECT_EQ(rest.back(),
            R"({"version":"8.2.0x431","type":"Notification","code":"TransferComplete",)"
            R"("transfer":"upload","files":)" +
                std::to_string(files.size() - sent.size()) + R"(,"failed":0})");
  sent.merge(ListedPaths(rest, "FilesDeletedFromUploadList"));
  EXPECT_EQ(sent, Paths(files.begin(), files.end()));
  frames.insert(frames.end(), rest.begin(), rest.end());
  for (const auto& frame : NonLogFrames(frames))
    EXPECT_FALSE(IsMessageWithCode(frame, "FileSent") || IsMessageWithCode(frame, "Error"))
        << frame;
  std::ifstream copied(mRoot / "outbox" / fs::path(files[1]).filename());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copied), {}), "content 1");

  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  FramesUntilLog("Failed to convert list of files to JSON");
}

// Any local program can call the host's Event method, here gdbus by hand;
// only the connection that owns the Assistant's name is heard. A stranger
// gets result 0 like the Assistant, and the system log says who was ignored.
// A dialog's loop never reads stdin, so a request waits its turn, yet a
// status event from the bus runs inside it: one that removes a listed file
// and names the one the alert is about to add. What the browser was told
// still adds up to what the host holds.
TEST_F(AssistantTest, StatusEventsCountOnlyFromTheNameOwnerAndGetThroughAnOpenDialog) {
  StartHost();
  const auto early = SourceFiles(2);
  ASSERT_EQ(Queue(early).size(), 2u);
  const uint32_t refCon = HostRefCon(mHost->SyslogText());
  const std::string host = UniqueNameOfProcess(Bus().Connection(), mHost->pid(), kTimeoutMs);
  const std::string stray =
      R"({"type":"Notification","code":"FileSent","files_ul":[{"file_path":")" + early[0] +
      R"(","relative_path":""}]})";
  g_autoptr(GVariant) arguments = g_variant_ref_sink(StatusEventArguments(refCon, stray));
  g_autoptr(GVariant) event = g_variant_get_child_value(arguments, 0);
  g_autofree char* text = g_variant_print(event, TRUE);
  const ChildResult stranger =
      RunChild({"gdbus", "call", "--session", "--dest", host, "--object-path",
                "/com/quorvex/AppleEvents", "--method", "com.quorvex.AppleEvents.Event", text},
               {{"DBUS_SESSION_BUS_ADDRESS", Bus().Address()}}, kTimeoutMs);
  EXPECT_EQ(stranger.output, "(int16 0,)\n");
  EXPECT_TRUE(mHost->WaitForSyslogLine(", which does not own com.quorvex.Assistant", kTimeoutMs));
  EXPECT_EQ(mHost->ReadFrame(700ms), std::nullopt);

  const std::string late = (mRoot / "late").string();
  std::ofstream(late) << "late";
  const std::string alert =
      OpenDialog(Request("QueueFilesForUpload", FilesMember({late})), "Quorvex Web Client");
  ASSERT_TRUE(mHost->SendFrame(Request("SetParameter", R"("name":"behind-the-alert")")));
  ASSERT_TRUE(OwnAssistantName(Bus().Connection()));
  ASSERT_TRUE(SendStatusEvent(Bus().Connection(), host, refCon,
                              R"({"type":"Notification","code":"FileSent","files_ul":[)"
                              R"({"file_path":")" +
                                  early[0] + R"("},{"file_path":")" + late + R"("}]})",
                              kTimeoutMs));
  auto frames = FramesUntilCode("FilesDeletedFromUploadList");
  EXPECT_EQ(ListedPaths(frames, "FilesDeletedFromUploadList"), Paths{early[0]});
  const auto texts = LogTexts(frames);
  EXPECT_EQ(std::find(texts.begin(), texts.end(), "SetParameter"), texts.end());

  PressKey(alert, "Return");
  frames = FramesUntilLog("Invalid plug-in parameter: behind-the-alert");
  EXPECT_EQ(ListedPaths(frames, "FilesAddedToUploadList"), Paths{late});
  ASSERT_TRUE(mHost->SendFrame(
      Request("DeleteFilesFromUploadList", FilesMember({early[0], early[1], late}))));
  EXPECT_EQ(
      ListedPaths(FramesUntilCode("FilesDeletedFromUploadList"), "FilesDeletedFromUploadList"),
      (Paths{early[1], late}));
}

// The request is the Assistant's once it has answered for it, and only then.
// The host's bus traffic is held at a fixed point while the Assistant quits,
// so the order is certain rather than a matter of timing: gone before the
// request reached it is the launch error; gone right after answering is a
// success, even to a host that asks the bus again after the answer.
TEST_F(AssistantTest, TheRequestIsHandedOverExactlyWhenTheAssistantAnswers) {
  HoldingProxy proxy(Bus().Address());
  ASSERT_FALSE(proxy.Address().empty());
  StartHost({{"DBUS_SESSION_BUS_ADDRESS", proxy.Address()}});
  const auto files = SourceFiles(2);
  ASSERT_EQ(Queue(files).size(), 2u);
  const auto limit = Request("SetParameter", R"("name":"FileTransferLimit","value":0)");

  auto leaving = std::make_unique<StandInAssistant>(Bus().Address());
  ASSERT_TRUE(leaving->Ok());
  proxy.HoldAt("com.quorvex.AppleEvents");
  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  ASSERT_TRUE(proxy.WaitUntilHeld(kTimeoutMs));
  leaving.reset();
  ASSERT_TRUE(WaitForNoAssistant());
  proxy.Release();
  EXPECT_EQ(NonLogFrames(FramesUntilLog(kForwardFailed)), std::vector<std::string>{kLaunchError});

  StandInAssistant quitting(Bus().Address());
  ASSERT_TRUE(quitting.Ok());
  proxy.HoldAt("com.quorvex.AppleEvents", true);
  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  EXPECT_EQ(quitting.WaitForRequest(kTimeoutMs).size(), 2u);
  quitting.Quit();
  ASSERT_TRUE(WaitForNoAssistant());
  proxy.Release();
  ASSERT_TRUE(mHost->SendFrame(limit));
  EXPECT_TRUE(NonLogFrames(FramesUntilLog("Invalid upload limit specified: 0")).empty());

  // The list is still whole: the next Assistant gets all of it.
  StandInAssistant next(Bus().Address());
  ASSERT_TRUE(next.Ok());
  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  EXPECT_EQ(next.WaitForRequest(kTimeoutMs), Paths(files.begin(), files.end()));
}
