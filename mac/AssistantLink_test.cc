// Status events into a client, and requests out of it, with the Assistant's
// side played by the test on a private session bus.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "Common/testing/FakeWebClient.h"
#include "mac/AEDescriptors.h"
#include "mac/AssistantProtocol.h"
#include "mac/QXWebClientBaseMac.h"
#include "platform/appleevents/AEGVariant.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/BusConnection.h"
#include "platform/appleevents/Processes.h"
#include "tests/support/SessionBus.h"
#include "tests/support/StatusEvents.h"

namespace {

constexpr int kWaitMs = 5000;

class LinkClient : public CQXWebClientBaseMac {
 public:
  LinkClient() { CreateLogger(); }
  static void SetLaunchWait(time_t seconds) { sAssistantLaunchWaitSeconds = seconds; }
  bool NotifyBrowser(const char* text) override {
    frames.emplace_back(text);
    return true;
  }
  void Log(const char*) override {}
  void CreateLogger() override { mLogger = new testing_support::RecordingLogger(records); }
  bool SelectFilesToUpload() override { return false; }
  bool SelectDownloadLocation() override { return false; }
  bool VerifyFileSelection(json_xwstringset&) override { return false; }

  std::vector<std::string> Warnings() const {
    std::vector<std::string> lines;
    for (const auto& [level, line] : records) {
      if (level == "WARNING")
        lines.push_back(line);
    }
    return lines;
  }

  std::vector<std::string> frames;
  std::vector<std::pair<std::string, std::string>> records;
};

// A status event in the shape the Assistant sends.
class StatusEvent {
 public:
  StatusEvent() {
    AECreateAppleEvent(kAEAssistantClass, kAEAssistantStatus, address, kAutoGenerateReturnID,
                       kAnyTransactionID, event);
  }
  // As received from the connection `sender` (what the Apple Event layer sets).
  explicit StatusEvent(const std::string& sender) : StatusEvent() {
    ProcessSerialNumber psn = QXProcessSerialNumberFromBusName(sender.c_str());
    AEPutAttributePtr(event, keyOriginalAddressAttr, typeProcessSerialNumber, &psn, sizeof psn);
  }
  StatusEvent& RefCon(DescType type, const void* data, Size size) {
    AEPutParamPtr(event, kAE_Status_RefCon, type, data, size);
    return *this;
  }
  StatusEvent& Message(DescType type, const std::string& text) {
    AEPutParamPtr(event, kAE_Status_Message, type, text.data(), text.size());
    return *this;
  }
  OSErr Handle() {
    StAEDescriptor reply;
    return CQXWebClientBaseMac::StatusAppleEventHandler(event, reply, 0);
  }

  StAEDescriptor address;
  StAEDescriptor event;
};

bool RequestName(GDBusConnection* connection, const char* name) {
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "RequestName", g_variant_new("(su)", name, 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE,
      kWaitMs, nullptr, nullptr);
  guint32 result = 0;
  if (reply != nullptr)
    g_variant_get(reply, "(u)", &result);
  return result == 1;
}

bool ReleaseName(GDBusConnection* connection, const char* name) {
  g_autoptr(GVariant) released =
      g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "ReleaseName", g_variant_new("(s)", name),
                                  nullptr, G_DBUS_CALL_FLAGS_NONE, kWaitMs, nullptr, nullptr);
  return released != nullptr;
}

template <typename Done>
bool IterateUntil(Done done) {
  gint64 deadline = g_get_monotonic_time() + kWaitMs * 1000;
  while (!done()) {
    if (g_get_monotonic_time() > deadline)
      return false;
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  return true;
}

// Status events in, from the connection that owns the Assistant's name on a
// private bus: the test's own.
class StatusIntake : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(mBus.Ok());
    setenv("DBUS_SESSION_BUS_ADDRESS", mBus.Address().c_str(), 1);
    ASSERT_TRUE(RequestName(mBus.Connection(), kQXAssistantBundleIdentifier));
    assistant = g_dbus_connection_get_unique_name(mBus.Connection());
    refCon = client.RefCon();
    client.records.clear();
  }
  // A status event addressed to `client` with the message `text`.
  OSErr Deliver(const std::string& text, DescType type = typeChar, const std::string& sender = "") {
    return StatusEvent(sender.empty() ? assistant : sender)
        .RefCon(typeMagnitude, &refCon, 8)
        .Message(type, text)
        .Handle();
  }
  SessionBus mBus;
  std::string assistant;
  LinkClient client;
  uint64_t refCon = 0;
};

// Anyone on the bus can send the event; only the name's current owner counts,
// and a stranger is answered as if it had been heard.
TEST_F(StatusIntake, OnlyTheAssistantsCurrentConnectionIsHeard) {
  const std::string ping = R"({"type":"Notification","code":"Ping"})";
  BusConnection other = ConnectToBus(mBus.Address());
  ASSERT_NE(other, nullptr);
  const std::string stranger = g_dbus_connection_get_unique_name(other.get());
  ProcessSerialNumber self{0, 0};
  ASSERT_EQ(GetCurrentProcess(&self), noErr);

  EXPECT_EQ(Deliver(ping, typeChar, stranger), noErr);
  EXPECT_EQ(Deliver(ping, typeChar, QXBusNameFromProcessSerialNumber(self)), noErr);
  // No sender at all, and a missing refCon that would otherwise be reported.
  EXPECT_EQ(StatusEvent().RefCon(typeMagnitude, &refCon, 8).Message(typeChar, ping).Handle(),
            noErr);
  EXPECT_EQ(StatusEvent(stranger).Message(typeChar, ping).Handle(), noErr);
  EXPECT_TRUE(client.frames.empty());

  EXPECT_EQ(Deliver(ping), noErr);
  EXPECT_EQ(client.frames.size(), 1u);

  // The Assistant restarted under another connection: the old one is a stranger.
  ASSERT_TRUE(ReleaseName(mBus.Connection(), kQXAssistantBundleIdentifier));
  EXPECT_EQ(Deliver(ping), noErr);
  ASSERT_TRUE(RequestName(other.get(), kQXAssistantBundleIdentifier));
  EXPECT_EQ(Deliver(ping), noErr);
  EXPECT_EQ(client.frames.size(), 1u);
  EXPECT_EQ(Deliver(ping, typeChar, stranger), noErr);
  EXPECT_EQ(client.frames.size(), 2u);
  EXPECT_TRUE(client.Warnings().empty());
}

// Over the bus the owner is the one the bus had when it passed the event on:
// what the Assistant sent just before quitting is relayed, and after that
// only the next owner is heard.
TEST_F(StatusIntake, AnEventSentJustBeforeQuittingIsStillRelayed) {
  CQXWebClientBaseMac::InstallAEHandlers();
  const std::string host = g_dbus_connection_get_unique_name(QXSessionBus());
  GAsyncReadyCallback markAnswered = [](GObject*, GAsyncResult*, gpointer done) {
    *static_cast<bool*>(done) = true;
  };
  auto send = [&](GDBusConnection* from, const std::string& text, bool* answered) {
    g_dbus_connection_call(from, host.c_str(), kQXAEObjectPath, kQXAEInterface, kQXAEMethod,
                           StatusEventArguments(static_cast<uint32_t>(refCon), text), nullptr,
                           G_DBUS_CALL_FLAGS_NONE, kWaitMs, nullptr,
                           answered == nullptr ? nullptr : markAnswered, answered);
  };
  const std::string first = R"({"type":"Notification","code":"First"})";
  const std::string last = R"({"type":"Notification","code":"Last"})";
  const std::string next = R"({"type":"Notification","code":"Next"})";
  ASSERT_TRUE(ReleaseName(mBus.Connection(), kQXAssistantBundleIdentifier));
  BusConnection quitting = ConnectToBus(mBus.Address());
  ASSERT_NE(quitting, nullptr);
  ASSERT_TRUE(RequestName(quitting.get(), kQXAssistantBundleIdentifier));
  const std::string gone = g_dbus_connection_get_unique_name(quitting.get());
  bool answered = false;
  send(quitting.get(), first, &answered);
  ASSERT_TRUE(IterateUntil([&] { return answered; }));
  // The last event and the quit, handled only once the name is gone.
  send(quitting.get(), last, nullptr);
  ASSERT_TRUE(g_dbus_connection_flush_sync(quitting.get(), nullptr, nullptr));
  ASSERT_TRUE(g_dbus_connection_close_sync(quitting.get(), nullptr, nullptr));
  for (int i = 0; i < kWaitMs && !mBus.NameOwner(kQXAssistantBundleIdentifier).empty(); ++i)
    g_usleep(1000);
  ASSERT_TRUE(mBus.NameOwner(kQXAssistantBundleIdentifier).empty());
  EXPECT_TRUE(IterateUntil([&] { return client.frames.size() == 2; }));

  ASSERT_TRUE(RequestName(mBus.Connection(), kQXAssistantBundleIdentifier));
  answered = false;
  send(mBus.Connection(), next, &answered);
  ASSERT_TRUE(IterateUntil([&] { return answered; }));
  EXPECT_EQ(Deliver(first, typeChar, gone), noErr);
  EXPECT_EQ(client.frames, (std::vector<std::string>{first, last, next}));
  CQXWebClientBaseMac::RemoveAEHandlers();
}

TEST_F(StatusIntake, NotificationsReachTheBrowserByteForByte) {
  const std::string text =
      "{ \"type\":\"Notification\",  \"code\":\"TransferProgress\", \"name\":\"caf\xC3\xA9\" }";
  EXPECT_EQ(Deliver(text), noErr);
  // Four bytes of refCon do as well.
  uint32_t low = static_cast<uint32_t>(refCon);
  EXPECT_EQ(StatusEvent(assistant).RefCon(typeMagnitude, &low, 4).Message(typeChar, text).Handle(),
            noErr);
  EXPECT_EQ(client.frames, (std::vector<std::string>{text, text}));
}

TEST_F(StatusIntake, FileSentRemovesTheFilesInstead) {
  CFileList files;
  files[{xwstring("/tmp/a.txt"), xwstring("a.txt")}] = 3;
  files[{xwstring("/tmp/b.txt"), xwstring("b.txt")}] = 4;
  client.AddFiles(files);
  client.frames.clear();
  const std::string sent =
      "{\"type\":\"notification\",\"code\":\"filesent\",\"files_ul\":"
      "[{\"file_path\":\"/tmp/A.txt\",\"relative_path\":\"a.txt\",\"size\":3}]}";
  EXPECT_EQ(Deliver(sent), noErr);
  EXPECT_EQ(client.UploadList().size(), 1u);
  ASSERT_EQ(client.frames.size(), 1u);
  EXPECT_NE(client.frames[0].find("FilesDeletedFromUploadList"), std::string::npos);
  // Sent back as the notification named it (json-c escapes the slashes).
  EXPECT_NE(client.frames[0].find("tmp\\/A.txt"), std::string::npos);
}

TEST_F(StatusIntake, RefConProblemsAreTheSendersResult) {
  const std::string text = "{\"type\":\"Notification\",\"code\":\"X\"}";
  EXPECT_EQ(StatusEvent(assistant).Message(typeChar, text).Handle(), errAEDescNotFound);
  EXPECT_EQ(StatusEvent(assistant).RefCon(typeChar, "12", 2).Message(typeChar, text).Handle(),
            errAECoercionFail);
  uint64_t other = refCon + 1;
  EXPECT_EQ(
      StatusEvent(assistant).RefCon(typeMagnitude, &other, 8).Message(typeChar, text).Handle(),
      noErr);
  // A short value cannot be read past its end.
  EXPECT_EQ(
      StatusEvent(assistant).RefCon(typeMagnitude, "\x01", 1).Message(typeChar, text).Handle(),
      noErr);
  // A number of another type is coerced.
  int32_t asLong = static_cast<int32_t>(refCon);
  EXPECT_EQ(StatusEvent(assistant).RefCon(typeSInt32, &asLong, 4).Message(typeChar, text).Handle(),
            noErr);
  EXPECT_EQ(client.frames, std::vector<std::string>{text});
  EXPECT_TRUE(client.Warnings().empty());
}

TEST_F(StatusIntake, UnusableMessagesAreDropped) {
  // Missing or not text: a warning. Empty: silence.
  const char kUnhandled[] = "Unhandled exception while processing a notification";
  EXPECT_EQ(StatusEvent(assistant).RefCon(typeMagnitude, &refCon, 8).Handle(), noErr);
  int32_t number = 5;
  EXPECT_EQ(Deliver(std::string(reinterpret_cast<char*>(&number), 4), typeSInt32), noErr);
  EXPECT_EQ(client.Warnings(), (std::vector<std::string>{kUnhandled, kUnhandled}));
  client.records.clear();
  EXPECT_EQ(Deliver(""), noErr);
  EXPECT_TRUE(client.records.empty());
  // Not JSON, or not a notification: handled by the entry, still result 0.
  EXPECT_EQ(Deliver("garbage"), noErr);
  EXPECT_EQ(client.Warnings(), std::vector<std::string>{"Invalid notification message"});
  EXPECT_TRUE(client.frames.empty());

  // Only the text before a zero byte counts.
  std::string cut = std::string("{\"type\":\"Notification\",\"code\":\"X\"}") + '\0' + "tail";
  EXPECT_EQ(Deliver(cut), noErr);
  EXPECT_EQ(client.frames, std::vector<std::string>{"{\"type\":\"Notification\",\"code\":\"X\"}"});
}

TEST(StatusHandlerRegistration, CountsClients) {
  AEEventHandlerUPP handler = nullptr;
  SRefCon refCon = 0;
  auto installed = [&] {
    return AEGetEventHandler(kAEAssistantClass, kAEAssistantStatus, &handler, &refCon, false) ==
           noErr;
  };
  EXPECT_FALSE(installed());
  CQXWebClientBaseMac::InstallAEHandlers();
  CQXWebClientBaseMac::InstallAEHandlers();
  ASSERT_TRUE(installed());
  EXPECT_EQ(handler, &CQXWebClientBaseMac::StatusAppleEventHandler);
  EXPECT_EQ(refCon, 0);
  CQXWebClientBaseMac::RemoveAEHandlers();
  EXPECT_TRUE(installed());
  CQXWebClientBaseMac::RemoveAEHandlers();
  EXPECT_FALSE(installed());
  CQXWebClientBaseMac::RemoveAEHandlers();
  CQXWebClientBaseMac::InstallAEHandlers();
  EXPECT_TRUE(installed());
  CQXWebClientBaseMac::RemoveAEHandlers();
  EXPECT_FALSE(installed());
}

TEST(Get64BitParam, ReadsTheThreeNumericTypes) {
  const double fromDouble = 1e10, negative = -1;
  const int64_t fromComp = int64_t(1) << 40;
  const uint32_t fromShortMagnitude = 77;
  const uint64_t fromMagnitude = 0x123456789ull;
  const struct {
    DescType type;
    const void* data;
    Size size;
    OSErr result;
    uint64_t value;
  } rows[] = {
      {typeIEEE64BitFloatingPoint, &fromDouble, 8, noErr, 10000000000ull},
      {typeSInt64, &fromComp, 8, noErr, 1ull << 40},
      {typeMagnitude, &fromShortMagnitude, 4, noErr, 77},
      {typeMagnitude, &fromMagnitude, 8, noErr, 0x123456789ull},
      {typeChar, "1", 1, errAEWrongDataType, 0},
      {typeIEEE64BitFloatingPoint, &negative, 8, errAECoercionFail, 0},
  };
  for (const auto& row : rows) {
    StatusEvent event;
    event.RefCon(row.type, row.data, row.size);
    uint64_t value = 0;
    EXPECT_EQ(Get64BitParam(event.event, kAE_Status_RefCon, &value), row.result) << row.value;
    if (row.result == noErr) {
      EXPECT_EQ(value, row.value);
    }
  }
  uint64_t value = 0;
  EXPECT_EQ(Get64BitParam(StatusEvent().event, kAE_Status_RefCon, &value), errAEDescNotFound);
}

// Requests out: the test's own connection owns the Assistant's name and
// records what arrives on it. It answers on a thread of its own, as another
// process would, since the client waits for the answer.
class RequestForwarding : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(mBus.Ok());
    setenv("DBUS_SESSION_BUS_ADDRESS", mBus.Address().c_str(), 1);
  }

  void PlayAssistant() {
    static const char kXml[] =
        "<node><interface name='com.quorvex.AppleEvents'><method name='Event'>"
        "<arg type='(uv)' direction='in'/><arg type='n' direction='out'/>"
        "</method></interface></node>";
    g_autoptr(GDBusNodeInfo) node = g_dbus_node_info_new_for_xml(kXml, nullptr);
    static const GDBusInterfaceVTable vtable = {
        [](GDBusConnection*, const char*, const char*, const char*, const char*,
           GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
          auto* self = static_cast<RequestForwarding*>(data);
          self->mReceived.push_back(g_variant_get_child_value(parameters, 0));
          g_dbus_method_invocation_return_value(invocation,
                                                g_variant_new("(n)", self->mAnswer.load()));
        },
        nullptr,
        nullptr,
        {nullptr}};
    g_main_context_push_thread_default(mContext);
    mRegistration = g_dbus_connection_register_object(
        mBus.Connection(), kQXAEObjectPath, node->interfaces[0], &vtable, this, nullptr, nullptr);
    g_main_context_pop_thread_default(mContext);
    mThread = std::thread([this] { g_main_loop_run(mLoop); });
    ASSERT_TRUE(RequestName(mBus.Connection(), kQXAssistantBundleIdentifier));
  }

  // What the Assistant received, once it has stopped.
  const std::vector<GVariant*>& Received() {
    if (mThread.joinable()) {
      g_main_loop_quit(mLoop);
      mThread.join();
    }
    return mReceived;
  }

  void TearDown() override {
    for (GVariant* event : Received())
      g_variant_unref(event);
    g_main_loop_unref(mLoop);
    g_main_context_unref(mContext);
  }

  SessionBus mBus;
  GMainContext* mContext = g_main_context_new();
  GMainLoop* mLoop = g_main_loop_new(mContext, FALSE);
  std::thread mThread;
  std::atomic<int16_t> mAnswer{noErr};
  guint mRegistration = 0;
  std::vector<GVariant*> mReceived;
};

std::string Param(const AppleEvent* event, AEKeyword keyword, DescType type) {
  Size size = 0;
  DescType actual = 0;
  EXPECT_EQ(AEGetParamPtr(event, keyword, typeWildCard, &actual, nullptr, 0, &size), noErr);
  EXPECT_EQ(actual, type);
  std::string data(size, '\0');
  AEGetParamPtr(event, keyword, typeWildCard, &actual, data.data(), size, &size);
  return data;
}

TEST_F(RequestForwarding, TheRunningAssistantGetsOneEventPerRequest) {
  PlayAssistant();
  LinkClient client;
  ProcessSerialNumber psn{0, 0};
  ASSERT_TRUE(client.FindAssistantApplication(psn));
  EXPECT_EQ(QXBusNameFromProcessSerialNumber(psn),
            g_dbus_connection_get_unique_name(mBus.Connection()));

  std::wstring request = L"{\"code\":\"StartUpload\",\"name\":\"caf\u00e9\"}";
  ASSERT_TRUE(client.ProxyExecuteRequest(request.data()));
  std::wstring empty;
  ASSERT_TRUE(client.ProxyExecuteRequest(empty.data()));
  EXPECT_TRUE(client.frames.empty());
  // An answer other than noErr is the Assistant's refusal.
  mAnswer = errAEEventNotHandled;
  EXPECT_FALSE(client.ProxyExecuteRequest(empty.data()));
  EXPECT_EQ(client.frames.size(), 1u);
  const std::vector<GVariant*>& received = Received();
  ASSERT_EQ(received.size(), 3u);

  StAEDescriptor first;
  ASSERT_EQ(AEDescFromGVariant(received[0], first), noErr);
  AEEventClass eventClass = 0;
  AEEventID eventID = 0;
  AEGetAttributePtr(first, keyEventClassAttr, typeType, nullptr, &eventClass, 4, nullptr);
  AEGetAttributePtr(first, keyEventIDAttr, typeType, nullptr, &eventID, 4, nullptr);
  EXPECT_EQ(eventClass, kAEAssistantClass);
  EXPECT_EQ(eventID, kAEAssistantRequest);
  EXPECT_EQ(Param(first, keyDirectObject, typeChar),
            "{\"code\":\"StartUpload\",\"name\":\"caf\xC3\xA9\"}");
  ProcessSerialNumber host{0, 0};
  GetCurrentProcess(&host);
  EXPECT_EQ(Param(first, kAEHostProcessKeyword, typeProcessSerialNumber),
            std::string(reinterpret_cast<const char*>(&host), 8));
  uint64_t refCon = client.RefCon();
  const std::string refConBytes(reinterpret_cast<const char*>(&refCon), 8);
  EXPECT_EQ(Param(first, kAERefConKeyword, typeMagnitude), refConBytes);

  StAEDescriptor second;
  ASSERT_EQ(AEDescFromGVariant(received[1], second), noErr);
  EXPECT_EQ(Param(second, keyDirectObject, typeChar), "");
  EXPECT_EQ(Param(second, kAERefConKeyword, typeMagnitude), refConBytes);
}

// Not activatable, or activated but failing to start: one error as soon as
// the bus says so, well before the two minutes the launch may take.
TEST_F(RequestForwarding, AnAssistantThatCannotStartIsOneErrorAtOnce) {
  const std::vector<std::string> services[] = {
      {}, {"/nonexistent/quorvex-assistant"}, {"/bin/false"}};
  for (const auto& exec : services) {
    SCOPED_TRACE(exec.empty() ? "no service" : exec[0]);
    if (!exec.empty()) {
      ASSERT_TRUE(mBus.InstallService(kQXAssistantBundleIdentifier, exec));
    }
    LinkClient client;
    std::wstring request = L"{}";
    gint64 start = g_get_monotonic_time();
    EXPECT_FALSE(client.ProxyExecuteRequest(request.data()));
    EXPECT_LT(g_get_monotonic_time() - start, 60 * G_USEC_PER_SEC);
    EXPECT_EQ(client.frames,
              std::vector<std::string>{
                  "{ \"version\": \"8.2.0x431\", \"type\": \"Notification\", \"code\": "
                  "\"Error\", \"text\": \"Failed to launch Quorvex Assistant\" }"});
  }
}

// Started but never taking its name: given up after the launch wait (120 s,
// here 1 s), before the bus's own start timeout.
TEST_F(RequestForwarding, AnAssistantThatNeverAppearsTimesOut) {
  ASSERT_TRUE(mBus.InstallService(kQXAssistantBundleIdentifier, {"/bin/sleep", "600"}));
  LinkClient::SetLaunchWait(1);
  LinkClient client;
  ProcessSerialNumber psn{0, 0};
  gint64 start = g_get_monotonic_time();
  EXPECT_FALSE(client.FindAssistantApplication(psn));
  EXPECT_LT(g_get_monotonic_time() - start, 60 * G_USEC_PER_SEC);
  LinkClient::SetLaunchWait(120);
}

// A request the bus cannot carry is not sent (the bus would drop the host's
// connection), and the log says why.
TEST_F(RequestForwarding, ARequestTooLargeForTheBusIsLoggedAndNotSent) {
  PlayAssistant();
  LinkClient client;
  ProcessSerialNumber psn{0, 0};
  ASSERT_TRUE(client.FindAssistantApplication(psn));
  StAEDescriptor address(typeProcessSerialNumber, &psn, sizeof psn);
  const std::string host = g_dbus_connection_get_unique_name(QXSessionBus());
  std::string request(size_t(kQXBusMaxArrayBytes) + 1, 'x');
  std::string response;
  EXPECT_FALSE(client.AEHandleAssistantRequest(address, request, response));
  EXPECT_EQ(client.records,
            (std::vector<std::pair<std::string, std::string>>{
                {"ERROR",
                 "Request too large for the session bus: 67108865 bytes, its limit is 67108864 "
                 "bytes"}}));
  EXPECT_TRUE(Received().empty());
  EXPECT_EQ(g_dbus_connection_get_unique_name(QXSessionBus()), host);
}

TEST(RequestForwardingWithoutBus, FailsWithOneError) {
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/qx-no-bus", 1);
  LinkClient client;
  std::wstring request = L"{}";
  EXPECT_FALSE(client.ProxyExecuteRequest(request.data()));
  ASSERT_EQ(client.frames.size(), 1u);
  EXPECT_NE(client.frames[0].find("Failed to launch Quorvex Assistant"), std::string::npos);
}

}  // namespace
