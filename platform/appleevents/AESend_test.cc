// Sending, receiving, process numbers and the workspace, on a private bus.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/appleevents/AEGVariant.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/BusConnection.h"
#include "platform/appleevents/Processes.h"
#include "platform/appleevents/Workspace.h"
#include "tests/support/SessionBus.h"

namespace {

constexpr AEEventClass kClass = QXFourCC("Test");
constexpr AEEventID kID = QXFourCC("evnt");
constexpr int kWaitMs = 5000;

struct Desc {
  AEDesc d{typeNull, nullptr};
  ~Desc() { AEDisposeDesc(&d); }
  AEDesc* operator&() { return &d; }
};

// Runs the default main context until `done` or the time is up; without
// `dispatch`, only waits.
template <typename Done>
bool IterateUntil(Done done, int timeoutMs = kWaitMs, bool dispatch = true) {
  gint64 deadline = g_get_monotonic_time() + timeoutMs * 1000;
  while (!done()) {
    if (g_get_monotonic_time() > deadline)
      return false;
    if (dispatch)
      g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  return true;
}

// An event of kClass/kID addressed to `psn`, or to nobody.
void MakeEvent(const ProcessSerialNumber* psn, AEDesc* event) {
  Desc address;
  if (psn != nullptr)
    AECreateDesc(typeProcessSerialNumber, psn, sizeof *psn, &address);
  AECreateAppleEvent(kClass, kID, &address, kAutoGenerateReturnID, 0, event);
}

struct Received {
  int count = 0;
  std::string text;
  OSErr result = noErr;
  std::string sender;
};
Received sReceived;

OSErr RecordingHandler(const AppleEvent* event, AppleEvent*, SRefCon refCon) {
  ++sReceived.count;
  Size size = 0;
  DescType type = 0;
  if (AEGetParamPtr(event, keyDirectObject, typeChar, &type, nullptr, 0, &size) == noErr) {
    sReceived.text.assign(size, '\0');
    AEGetParamPtr(event, keyDirectObject, typeChar, &type, sReceived.text.data(), size, &size);
  }
  ProcessSerialNumber sender{0, 0};
  if (AEGetAttributePtr(event, keyOriginalAddressAttr, typeProcessSerialNumber, nullptr, &sender,
                        sizeof sender, nullptr) == noErr) {
    sReceived.sender = QXBusNameFromProcessSerialNumber(sender);
  }
  return static_cast<OSErr>(refCon);
}

class AESendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(mBus.Ok());
    setenv("DBUS_SESSION_BUS_ADDRESS", mBus.Address().c_str(), 1);
    sReceived = Received();
  }

  // A call from another connection, as a remote sender makes it; the reply is
  // the handler's result code, or nullopt with `error` set.
  std::optional<int16_t> CallUs(GVariant* body, std::string* error = nullptr) {
    GDBusConnection* own = QXSessionBus();
    struct Answer {
      bool done = false;
      GVariant* value = nullptr;
      GError* error = nullptr;
    } answer;
    g_dbus_connection_call(
        mBus.Connection(), g_dbus_connection_get_unique_name(own), kQXAEObjectPath, kQXAEInterface,
        kQXAEMethod, body, nullptr, G_DBUS_CALL_FLAGS_NONE, kWaitMs, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          auto* a = static_cast<Answer*>(data);
          a->value = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &a->error);
          a->done = true;
        },
        &answer);
    EXPECT_TRUE(IterateUntil([&] { return answer.done; }));
    std::optional<int16_t> code;
    if (answer.value != nullptr && g_variant_is_of_type(answer.value, G_VARIANT_TYPE("(n)"))) {
      int16_t value = 0;
      g_variant_get(answer.value, "(n)", &value);
      code = value;
    }
    if (answer.error != nullptr && error != nullptr)
      *error = answer.error->message;
    g_clear_pointer(&answer.value, g_variant_unref);
    g_clear_error(&answer.error);
    return code;
  }

  // The sender names itself a process it is not; the receiver must not believe it.
  GVariant* EventBody(AEEventClass eventClass, AEEventID eventID, const char* text) {
    AEDesc noAddress{typeNull, nullptr};
    Desc event;
    AECreateAppleEvent(eventClass, eventID, &noAddress, kAutoGenerateReturnID, 0, &event);
    AEPutParamPtr(&event, keyDirectObject, typeChar, text, strlen(text));
    ProcessSerialNumber forged = QXProcessSerialNumberFromBusName(":1.4242");
    AEPutAttributePtr(&event, keyOriginalAddressAttr, typeProcessSerialNumber, &forged,
                      sizeof forged);
    return g_variant_new("(@(uv))", AEDescToGVariant(&event.d));
  }

  SessionBus mBus;
};

TEST_F(AESendTest, ReceivedEventsReachTheirOwnOrAWildCardHandler) {
  ASSERT_EQ(AEInstallEventHandler(kClass, kID, NewAEEventHandlerUPP(RecordingHandler), -42, false),
            noErr);
  EXPECT_EQ(CallUs(EventBody(kClass, kID, "hello")), -42);
  EXPECT_EQ(sReceived.count, 1);
  EXPECT_EQ(sReceived.text, "hello");
  EXPECT_EQ(sReceived.sender, g_dbus_connection_get_unique_name(mBus.Connection()));

  // Another ID, then the handler gone: not handled.
  EXPECT_EQ(CallUs(EventBody(kClass, QXFourCC("othr"), "x")), errAEEventNotHandled);
  ASSERT_EQ(AERemoveEventHandler(kClass, kID, RecordingHandler, false), noErr);
  EXPECT_EQ(AERemoveEventHandler(kClass, kID, RecordingHandler, false), errAEHandlerNotFound);
  EXPECT_EQ(CallUs(EventBody(kClass, kID, "x")), errAEEventNotHandled);
  EXPECT_EQ(sReceived.count, 1);

  // A wild-card handler catches the rest.
  AEInstallEventHandler(kClass, typeWildCard, RecordingHandler, 0, false);
  EXPECT_EQ(CallUs(EventBody(kClass, QXFourCC("any "), "x")), noErr);
  EXPECT_EQ(sReceived.count, 2);
  AERemoveEventHandler(kClass, typeWildCard, RecordingHandler, false);
}

TEST_F(AESendTest, MalformedBodiesGetACodeAndNoDispatch) {
  AEInstallEventHandler(kClass, kID, RecordingHandler, 0, false);
  EXPECT_EQ(CallUs(g_variant_new_parsed("((uint32 1, <'garbage'>),)")), errAENotAEDesc);
  // A descriptor that is not an event, and an event without class and ID.
  EXPECT_EQ(CallUs(g_variant_new_parsed("((uint32 1413830740, <[byte 65]>),)")),
            errAENotAppleEvent);
  EXPECT_EQ(CallUs(g_variant_new_parsed("((uint32 1634039412, <(@a(u(uv)) [], @a(u(uv)) [])>),)")),
            errAENotAppleEvent);
  // The wrong signature is refused by D-Bus itself.
  std::string error;
  EXPECT_EQ(CallUs(g_variant_new_parsed("('garbage',)"), &error), std::nullopt);
  EXPECT_NE(error.find("InvalidArgs"), std::string::npos) << error;
  EXPECT_EQ(sReceived.count, 0);
}

TEST_F(AESendTest, SentEventsArriveOnceWithTheirParameters) {
  AEInstallEventHandler(kClass, kID, RecordingHandler, 0, false);
  ProcessSerialNumber self{0, 0};
  ASSERT_EQ(GetCurrentProcess(&self), noErr);
  EXPECT_EQ(QXBusNameFromProcessSerialNumber(self),
            g_dbus_connection_get_unique_name(QXSessionBus()));
  Desc event;
  MakeEvent(&self, &event);
  AEPutParamPtr(&event, keyDirectObject, typeChar, "\xC3\xA9t\xC3\xA9", 5);
  Desc reply;
  ASSERT_EQ(AESend(&event, &reply, kAENoReply | kAENeverInteract, kAENormalPriority, 18000, nullptr,
                   nullptr),
            noErr);
  EXPECT_EQ(reply.d.dataHandle, nullptr);
  ASSERT_TRUE(IterateUntil([] { return sReceived.count == 1; }));
  EXPECT_EQ(sReceived.text, "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(sReceived.sender, QXBusNameFromProcessSerialNumber(self));

  // Waiting for the reply: the handler's code comes back as keyErrorNumber.
  AERemoveEventHandler(kClass, kID, RecordingHandler, false);
  AEInstallEventHandler(kClass, kID, RecordingHandler, -5, false);
  ASSERT_EQ(
      AESend(&event, &reply, kAEWaitReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr),
      noErr);
  int16_t code = 0;
  ASSERT_EQ(AEGetParamPtr(&reply, keyErrorNumber, typeSInt16, nullptr, &code, 2, nullptr), noErr);
  EXPECT_EQ(code, -5);
  EXPECT_EQ(sReceived.count, 2);
  // Delivered without the bus, it still names us as its sender.
  EXPECT_EQ(sReceived.sender, QXBusNameFromProcessSerialNumber(self));
}

TEST_F(AESendTest, SendingToAProcessThatIsGoneFails) {
  ProcessSerialNumber gone = QXProcessSerialNumberFromBusName(":1.9999");
  Desc event;
  MakeEvent(&gone, &event);
  EXPECT_EQ(AESend(&event, nullptr, kAENoReply, kAENormalPriority, 18000, nullptr, nullptr),
            procNotFound);
  EXPECT_EQ(AESend(&event, nullptr, kAEWaitReply, kAENormalPriority, 60, nullptr, nullptr),
            procNotFound);

  // A connection that takes no Apple Events.
  ProcessSerialNumber plain =
      QXProcessSerialNumberFromBusName(g_dbus_connection_get_unique_name(mBus.Connection()));
  Desc toPlain;
  MakeEvent(&plain, &toPlain);
  EXPECT_EQ(AESend(&toPlain, nullptr, kAEWaitReply, kAENormalPriority, 60, nullptr, nullptr),
            errAEEventNotHandled);

  Desc unaddressed;
  MakeEvent(nullptr, &unaddressed);
  EXPECT_EQ(AESend(&unaddressed, nullptr, kAENoReply, 0, 0, nullptr, nullptr), procNotFound);
  Desc text;
  AECreateDesc(typeChar, "x", 1, &text);
  EXPECT_EQ(AESend(&text, nullptr, kAENoReply, 0, 0, nullptr, nullptr), errAENotAppleEvent);
}

TEST_F(AESendTest, WorkspaceListsNamesWithTheirOwnersAndLaunchesActivatableOnes) {
  GDBusConnection* other = mBus.Connection();
  guint owner = g_bus_own_name_on_connection(
      other, "com.quorvex.Listed", G_BUS_NAME_OWNER_FLAGS_NONE, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(mBus.WaitForName("com.quorvex.Listed", kWaitMs));
  ProcessSerialNumber expected =
      QXProcessSerialNumberFromBusName(g_dbus_connection_get_unique_name(other));
  bool found = false;
  for (const auto& application : QXWorkspace::sharedWorkspace().launchedApplications()) {
    EXPECT_NE(application.bundleIdentifier[0], ':');
    EXPECT_NE(application.bundleIdentifier, "org.freedesktop.DBus");
    if (application.bundleIdentifier == "com.quorvex.Listed") {
      found = true;
      EXPECT_EQ(application.processSerialNumberHigh, expected.highLongOfPSN);
      EXPECT_EQ(application.processSerialNumberLow, expected.lowLongOfPSN);
    }
  }
  EXPECT_TRUE(found);
  ProcessSerialNumber owned{0, 0};
  EXPECT_EQ(
      QXWorkspace::sharedWorkspace().processSerialNumberOfApplication("com.quorvex.Listed", &owned),
      noErr);
  EXPECT_EQ(QXBusNameFromProcessSerialNumber(owned), g_dbus_connection_get_unique_name(other));
  g_bus_unown_name(owner);
  ASSERT_TRUE(IterateUntil([&] { return mBus.NameOwner("com.quorvex.Listed").empty(); }));
  EXPECT_EQ(
      QXWorkspace::sharedWorkspace().processSerialNumberOfApplication("com.quorvex.Listed", &owned),
      procNotFound);
  EXPECT_EQ(owned.lowLongOfPSN, kNoProcess);

  auto& workspace = QXWorkspace::sharedWorkspace();
  EXPECT_FALSE(workspace.launchAppWithBundleIdentifier("com.quorvex.Nothing", 0, nullptr, nullptr));
  ASSERT_TRUE(mBus.InstallService("com.quorvex.Starter",
                                  {"/bin/sh", "-c", "echo started > " + mBus.DataDir() + "/ran"}));
  EXPECT_TRUE(
      workspace.launchAppWithBundleIdentifier("com.quorvex.Starter", 0x110200, nullptr, nullptr));
  EXPECT_TRUE(IterateUntil(
      [&] { return g_file_test((mBus.DataDir() + "/ran").c_str(), G_FILE_TEST_EXISTS); }));
}

// The watched owner changes only as the bus's messages are dispatched, so it
// is the owner the bus had when it sent on the message being handled.
TEST_F(AESendTest, AWatchedOwnerFollowsTheDispatchedMessages) {
  const char kName[] = "com.quorvex.Watched";
  auto owner = [&] {
    ProcessSerialNumber psn{9, 9};
    OSErr err = QXWorkspace::sharedWorkspace().processSerialNumberOfWatchedApplication(kName, &psn);
    return std::make_pair(err, QXBusNameFromProcessSerialNumber(psn));
  };
  // Asked of the bus until the watch answers.
  EXPECT_EQ(owner(), std::make_pair(OSErr{procNotFound}, std::string()));
  GDBusConnection* first = mBus.Connection();
  guint owning = g_bus_own_name_on_connection(first, kName, G_BUS_NAME_OWNER_FLAGS_NONE, nullptr,
                                              nullptr, nullptr, nullptr);
  ASSERT_TRUE(mBus.WaitForName(kName, kWaitMs));
  const auto firstOwner =
      std::make_pair(OSErr{noErr}, std::string(g_dbus_connection_get_unique_name(first)));
  EXPECT_EQ(owner(), firstOwner);
  // Drained: the watch has had every message the bus sent before this answer.
  g_autoptr(GVariant) id = g_dbus_connection_call_sync(
      QXSessionBus(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "GetId", nullptr, G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, kWaitMs, nullptr, nullptr);
  while (g_main_context_iteration(nullptr, FALSE)) {
  }

  g_bus_unown_name(owning);
  ASSERT_TRUE(IterateUntil([&] { return mBus.NameOwner(kName).empty(); }, kWaitMs, false));
  EXPECT_EQ(owner(), firstOwner) << "the change is not dispatched yet";
  EXPECT_TRUE(IterateUntil([&] { return owner().first == procNotFound; }));

  BusConnection second = ConnectToBus(mBus.Address());
  ASSERT_NE(second, nullptr);
  owning = g_bus_own_name_on_connection(second.get(), kName, G_BUS_NAME_OWNER_FLAGS_NONE, nullptr,
                                        nullptr, nullptr, nullptr);
  const std::string secondName = g_dbus_connection_get_unique_name(second.get());
  EXPECT_TRUE(IterateUntil([&] { return owner() == std::make_pair(OSErr{noErr}, secondName); }));
  g_bus_unown_name(owning);
}

TEST_F(AESendTest, ABusThatWentAwayIsReplacedOnTheNextUse) {
  AEInstallEventHandler(kClass, kID, RecordingHandler, 7, false);
  std::string firstName;
  {
    SessionBus first;
    ASSERT_TRUE(first.Ok());
    setenv("DBUS_SESSION_BUS_ADDRESS", first.Address().c_str(), 1);
    ASSERT_NE(QXSessionBus(), nullptr);
    firstName = g_dbus_connection_get_unique_name(QXSessionBus());
    EXPECT_EQ(first.NameOwner(firstName), firstName);
  }
  setenv("DBUS_SESSION_BUS_ADDRESS", mBus.Address().c_str(), 1);
  // The old connection closes in the background; the next use connects anew.
  ASSERT_TRUE(IterateUntil([&] {
    GDBusConnection* bus = QXSessionBus();
    return bus != nullptr && !mBus.NameOwner(g_dbus_connection_get_unique_name(bus)).empty();
  }));
  EXPECT_EQ(CallUs(EventBody(kClass, kID, "again")), 7);
  EXPECT_EQ(sReceived.text, "again");
  AERemoveEventHandler(kClass, kID, RecordingHandler, false);
}

TEST(ProcessSerialNumbers, MapUniqueNamesBothWays) {
  ProcessSerialNumber psn = QXProcessSerialNumberFromBusName(":1.42");
  EXPECT_EQ(psn.highLongOfPSN, 1u);
  EXPECT_EQ(psn.lowLongOfPSN, 43u);
  EXPECT_EQ(QXBusNameFromProcessSerialNumber(psn), ":1.42");
  EXPECT_EQ(QXProcessSerialNumberFromBusName(":1.0").lowLongOfPSN, 1u);
  EXPECT_EQ(QXBusNameFromProcessSerialNumber({4000000000u, 4294967295u}), ":4000000000.4294967294");
  for (const char* name : {"com.quorvex.Assistant", ":1", ":1.", ":a.1", ":1.2.3", ":1.-2",
                           ":1.4294967295", ":4294967296.1", ":1.+2", ""}) {
    ProcessSerialNumber none = QXProcessSerialNumberFromBusName(name);
    EXPECT_EQ(none.highLongOfPSN, 0u) << name;
    EXPECT_EQ(none.lowLongOfPSN, 0u) << name;
  }
  EXPECT_EQ(QXProcessSerialNumberFromBusName(nullptr).lowLongOfPSN, 0u);
  EXPECT_EQ(QXBusNameFromProcessSerialNumber({1, 0}), "");
}

TEST(NoSessionBus, CallsFailAtOnceAndNothingIsStarted) {
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/qx-no-bus", 1);
  ProcessSerialNumber psn{9, 9};
  EXPECT_EQ(GetCurrentProcess(&psn), procNotFound);
  EXPECT_EQ(psn.lowLongOfPSN, 0u);
  EXPECT_TRUE(QXWorkspace::sharedWorkspace().launchedApplications().empty());
  EXPECT_EQ(QXWorkspace::sharedWorkspace().processSerialNumberOfApplication("com.quorvex.Assistant",
                                                                            &psn),
            connectionInvalid);
  EXPECT_EQ(QXWorkspace::sharedWorkspace().processSerialNumberOfWatchedApplication(
                "com.quorvex.Assistant", &psn),
            connectionInvalid);
  EXPECT_FALSE(QXWorkspace::sharedWorkspace().launchAppWithBundleIdentifier("com.quorvex.Assistant",
                                                                            0, nullptr, nullptr));
  ProcessSerialNumber target{1, 5};
  Desc event;
  MakeEvent(&target, &event);
  EXPECT_EQ(AESend(&event, nullptr, kAENoReply, 0, 18000, nullptr, nullptr), connectionInvalid);
  // Handlers can still be installed; they wait for a bus.
  EXPECT_EQ(AEInstallEventHandler(kClass, kID, RecordingHandler, 0, false), noErr);

  // Neither an autolaunch address nor a missing one makes GIO start a bus.
  setenv("DBUS_SESSION_BUS_ADDRESS", "autolaunch:", 1);
  EXPECT_EQ(QXSessionBus(), nullptr);
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  setenv("XDG_RUNTIME_DIR", "/nonexistent", 1);
  EXPECT_EQ(QXSessionBus(), nullptr);
}

TEST(NoSessionBus, AServerThatNeverAnswersIsGivenUpOn) {
  // A socket that takes connections and never speaks.
  char folder[] = "/tmp/qx-silent-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/socket";
  int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);
  EXPECT_EQ(QXSessionBus(), nullptr);
  close(listener);
  unlink(path.c_str());
  rmdir(folder);
}

}  // namespace
