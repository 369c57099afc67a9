// Status events into a client and requests out of it, with the Assistant's
// side played by the test on a private session bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Common/testing/FakeWebClient.h"
#include "mac/QXWebClientBaseMac.h"
#include "platform/appleevents/AEGVariant.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/AssistantEvents.h"
#include "platform/appleevents/BusConnection.h"
#include "platform/appleevents/Processes.h"
#include "tools/desktop/PrivateBus.h"

namespace {

std::string LaunchError() {
  return "Error " + testing_support::ErrorText(kErrLaunchAssistant);
}

class LinkClient : public testing_support::Recording<CQXWebClientBaseMac> {
 public:
  static time_t LaunchWait() { return sAssistantLaunchWaitSeconds; }
  static void SetLaunchWait(time_t seconds) { sAssistantLaunchWaitSeconds = seconds; }
  void Log(const char*) override {}
};

// The Assistant is played by the test's own connection: it answers every call
// on its bus thread, as another process would, and keeps the events.
class AssistantLink : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(mBus.Ok());
    setenv("DBUS_SESSION_BUS_ADDRESS", mBus.Address().c_str(), 1);
  }
  void TearDown() override {
    if (mFilter != 0)
      g_dbus_connection_remove_filter(mBus.Connection(), mFilter);
    std::for_each(mReceived.begin(), mReceived.end(), g_variant_unref);
  }
  void PlayAssistant() {
    mFilter = g_dbus_connection_add_filter(mBus.Connection(), Answer, this, nullptr);
    ASSERT_TRUE(OwnName(mBus.Connection(), kQXAssistantBundleIdentifier));
  }
  static GDBusMessage* Answer(GDBusConnection* bus, GDBusMessage* message, gboolean incoming,
                              gpointer self) {
    if (!incoming || g_dbus_message_get_message_type(message) != G_DBUS_MESSAGE_TYPE_METHOD_CALL)
      return message;
    auto* test = static_cast<AssistantLink*>(self);
    test->mReceived.push_back(g_variant_get_child_value(g_dbus_message_get_body(message), 0));
    g_autoptr(GDBusMessage) reply = g_dbus_message_new_method_reply(message);
    g_dbus_message_set_body(reply, g_variant_new("(n)", test->mAnswer.load()));
    g_dbus_connection_send_message(bus, reply, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, nullptr);
    g_object_unref(message);
    return nullptr;
  }

  PrivateBus mBus;
  LinkClient client;
  guint mFilter = 0;
  std::atomic<int16_t> mAnswer{noErr};
  std::vector<GVariant*> mReceived;
};

// A status event to `client` as received from the connection `sender`,
// whatever sender the event itself claims.
OSErr Status(const std::string& sender, const void* refCon, Size refConSize,
             const std::string& message, const std::string& claimed) {
  AEDesc noAddress{typeNull, nullptr};
  AppleEvent event{typeNull, nullptr};
  AECreateAppleEvent(kAEAssistantClass, kAEAssistantStatus, &noAddress, 1, 0, &event);
  ProcessSerialNumber from = QXProcessSerialNumberFromBusName(claimed.c_str());
  AEPutAttributePtr(&event, keyOriginalAddressAttr, typeProcessSerialNumber, &from, sizeof from);
  AEPutParamPtr(&event, kAE_Status_RefCon, typeMagnitude, refCon, refConSize);
  AEPutParamPtr(&event, kAE_Status_Message, typeChar, message.data(), Size(message.size()));
  g_autoptr(GVariant) body = g_variant_ref_sink(g_variant_new("(@(uv))", AEDescToGVariant(&event)));
  AEDisposeDesc(&event);
  g_autoptr(GVariant) answer = g_variant_ref_sink(QXReceiveAppleEvent(sender.c_str(), body));
  int16_t result = 0;
  g_variant_get(answer, "(n)", &result);
  return result;
}

// Anyone on the bus can send the event; only the name's current owner is
// heard, and a stranger is answered as if it had been.
TEST_F(AssistantLink, OnlyTheAssistantsNameOwnerIsHeard) {
  BusConnection assistant = ConnectToBus(mBus.Address());
  ASSERT_NE(assistant, nullptr);
  ASSERT_TRUE(OwnName(assistant.get(), kQXAssistantBundleIdentifier));
  const std::string owner = g_dbus_connection_get_unique_name(assistant.get());
  const std::string stranger = g_dbus_connection_get_unique_name(mBus.Connection());
  const uint64_t refCon = client.RefCon();
  const std::string ping = R"({"type":"Notification","code":"Ping"})";
  CQXWebClientBaseMac::InstallAEHandlers();
  EXPECT_EQ(Status(stranger, &refCon, 8, ping, owner), noErr);
  EXPECT_EQ(Status(owner, &refCon, 8, ping, stranger), noErr);
  // Four bytes of refCon do as well, and only the text before a zero byte counts.
  EXPECT_EQ(Status(owner, &refCon, 4, ping + '\0' + "tail", owner), noErr);
  EXPECT_EQ(client.frames, (std::vector<std::string>{ping, ping}));
  // The Assistant restarted under another connection: the old one is a stranger.
  assistant.reset();
  for (int i = 0; i < 5000 && !mBus.NameOwner(kQXAssistantBundleIdentifier).empty(); ++i)
    g_usleep(1000);
  ASSERT_TRUE(OwnName(mBus.Connection(), kQXAssistantBundleIdentifier));
  EXPECT_EQ(Status(owner, &refCon, 8, ping, owner), noErr);
  EXPECT_EQ(Status(stranger, &refCon, 8, ping, owner), noErr);
  EXPECT_EQ(client.frames.size(), 3u);
  // A second client keeps the handler until it goes too.
  CQXWebClientBaseMac::InstallAEHandlers();
  CQXWebClientBaseMac::RemoveAEHandlers();
  EXPECT_EQ(Status(stranger, &refCon, 8, ping, owner), noErr);
  CQXWebClientBaseMac::RemoveAEHandlers();
  EXPECT_EQ(Status(stranger, &refCon, 8, ping, owner), errAEEventNotHandled);
}

// The data of a parameter of an event in its wire form.
std::string Param(GVariant* wire, AEKeyword keyword) {
  AEDesc event{typeNull, nullptr};
  EXPECT_EQ(AEDescFromGVariant(wire, &event), noErr);
  char data[64];
  Size size = 0;
  AEGetParamPtr(&event, keyword, typeWildCard, nullptr, data, sizeof data, &size);
  AEDisposeDesc(&event);
  return std::string(data, size_t(std::min<Size>(size, sizeof data)));
}

// The request is the Assistant's when it answers 0; any other answer is a
// refusal. One the bus cannot carry is not sent: the bus would drop the
// host's connection for it.
TEST_F(AssistantLink, TheRequestIsHandedOverWithItsRefCon) {
  PlayAssistant();
  std::wstring request = L"{\"code\":\"StartUpload\",\"name\":\"caf\u00e9\"}";
  ASSERT_TRUE(client.ProxyExecuteRequest(request.data()));
  mAnswer = errAEEventNotHandled;
  EXPECT_FALSE(client.ProxyExecuteRequest(request.data()));
  // Under the bus's limit, but not with room for the event around it.
  std::wstring tooLarge(size_t(kQXBusMaxArrayBytes) - 2048, L'x');
  EXPECT_FALSE(client.ProxyExecuteRequest(tooLarge.data()));
  EXPECT_EQ(client.Summaries(), std::vector<std::string>(2, LaunchError()));
  ASSERT_EQ(mReceived.size(), 2u);
  EXPECT_EQ(Param(mReceived[0], keyDirectObject),
            "{\"code\":\"StartUpload\",\"name\":\"caf\xC3\xA9\"}");
  const uint64_t refCon = client.RefCon();
  EXPECT_EQ(Param(mReceived[1], kAERefConKeyword),
            std::string(reinterpret_cast<const char*>(&refCon), 8));
}

// Not activatable, or activated but failing to start: one error as soon as
// the bus says so, well before the two minutes the launch may wait. Started
// but never taking its name: the same error after the launch wait, made 1 s
// here rather than waited out.
TEST_F(AssistantLink, AnAssistantThatDoesNotStartIsOneError) {
  EXPECT_EQ(LinkClient::LaunchWait(), 120);
  // The system log says which of the two it was.
  const std::string syslog = std::string(testing::TempDir()) + "qx-link-syslog";
  setenv("QX_SYSLOG_CAPTURE_FILE", syslog.c_str(), 1);
  const std::pair<std::vector<std::string>, const char*> services[] = {
      {{}, ""}, {{"/bin/false"}, "failed to launch"}, {{"/bin/sleep", "600"}, "Timeout waiting"}};
  for (const auto& [exec, logged] : services) {
    SCOPED_TRACE(exec.empty() ? "no service" : exec[0]);
    std::remove(syslog.c_str());
    ASSERT_TRUE(exec.empty() || mBus.InstallService(kQXAssistantBundleIdentifier, exec));
    const bool sleeps = exec.size() == 2;
    LinkClient::SetLaunchWait(sleeps ? 1 : 120);
    client.frames.clear();
    std::wstring request = L"{}";
    gint64 start = g_get_monotonic_time();
    EXPECT_FALSE(client.ProxyExecuteRequest(request.data()));
    gint64 elapsed = g_get_monotonic_time() - start;
    LinkClient::SetLaunchWait(120);
    EXPECT_LT(elapsed, 30 * G_USEC_PER_SEC);
    EXPECT_TRUE(!sleeps || elapsed >= G_USEC_PER_SEC) << elapsed;
    EXPECT_EQ(client.Summaries(), std::vector<std::string>{LaunchError()});
    std::ifstream file(syslog);
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    for (const std::string word : {"failed to launch", "Timeout waiting"})
      EXPECT_EQ(text.find(word) != std::string::npos, word == logged) << text;
  }
  unsetenv("QX_SYSLOG_CAPTURE_FILE");
}

}  // namespace
