// The channel while a request's dialog is open, with the real host on a
// virtual display: the dialog's nested loop never reads stdin (later
// requests wait their turn), yet status events from the bus still reach the
// browser at once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/DesktopSession.h"
#include "tests/support/DialogDriver.h"
#include "tests/support/Frames.h"
#include "tests/support/HostProcess.h"
#include "tests/support/StatusEvents.h"
#include "tests/support/VirtualDisplay.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr int kTimeoutMs = 20000;
constexpr char kFolderPanelTitle[] = "Choose a folder";
constexpr char kUploadPanelTitle[] = "Choose files and folders\u2026";

class HostDialogChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(mDisplay.Ok());
    mDesktop = std::make_unique<DesktopSession>(mDisplay.Name());
    ASSERT_TRUE(mDesktop->Ok());
    mDriver = std::make_unique<DialogDriver>(mDesktop->Environment());
    HostProcess::Options options;
    for (const auto& [name, value] : mDesktop->Environment())
      options.environment[name] = value;
    mHost = std::make_unique<HostProcess>(options);
    ASSERT_TRUE(mHost->ReadFramesUntil(
        [](const std::string& f) { return IsMessageWithCode(f, "Initialize"); }, kTimeoutMs));
  }

  // Sends `request`, waits for its panel and returns the panel's window.
  std::string OpenPanel(const std::string& request, const char* title) {
    EXPECT_TRUE(mHost->SendFrame(request));
    auto window = mDriver->WaitForWindow(title, kTimeoutMs);
    EXPECT_TRUE(window) << mDriver->LastError();
    return window.value_or("");
  }

  void Cancel(const std::string& window) {
    EXPECT_TRUE(mDriver->Focus(window) && mDriver->Key("Escape")) << mDriver->LastError();
    EXPECT_TRUE(mDriver->WaitForWindowGone(window, kTimeoutMs));
  }

  VirtualDisplay mDisplay;
  std::unique_ptr<DesktopSession> mDesktop;
  std::unique_ptr<DialogDriver> mDriver;
  std::unique_ptr<HostProcess> mHost;
};

}  // namespace

TEST_F(HostDialogChannelTest, RequestsWaitForTheOpenDialogWhileStatusEventsGetThrough) {
  std::string panel = OpenPanel(Request("SelectDownloadLocation"), kFolderPanelTitle);
  ASSERT_FALSE(panel.empty());
  // The download panel request logs only its entry record.
  EXPECT_THAT(LogTexts(mHost->ReadFramesUntilQuiet(300)), ElementsAre("ExecuteRequest"));

  // A request sent now is not read while the panel's loop runs.
  ASSERT_TRUE(mHost->SendFrame(Request("SetParameter", R"("name":"queued-behind-the-panel")")));
  EXPECT_EQ(mHost->ReadFrame(700), std::nullopt);

  // A status event is: it runs inside the panel's loop.
  g_autoptr(GDBusConnection) bus = g_dbus_connection_new_for_address_sync(
      mDesktop->BusAddress().c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
  ASSERT_NE(bus, nullptr);
  std::string hostName = UniqueNameOfProcess(bus, mHost->Pid(), kTimeoutMs);
  ASSERT_FALSE(hostName.empty());
  ASSERT_TRUE(OwnAssistantName(bus));
  const std::string ping = R"({"type":"Notification","code":"Ping"})";
  ASSERT_TRUE(SendStatusEvent(bus, hostName, HostRefCon(*mHost), ping, kTimeoutMs));
  auto frames = mHost->ReadFramesUntil(
      [](const std::string& f) { return IsMessageWithCode(f, "Ping"); }, kTimeoutMs);
  ASSERT_TRUE(frames);
  EXPECT_EQ(frames->back(), ping);
  EXPECT_THAT(LogTexts(*frames), ::testing::Not(::testing::Contains("ExecuteRequest")));

  // Once the panel is gone, the waiting request runs.
  Cancel(panel);
  frames = mHost->ReadFramesUntil(
      [](const std::string& f) {
        return IsLogRecordWithText(f, "Invalid plug-in parameter: queued-behind-the-panel");
      },
      kTimeoutMs);
  ASSERT_TRUE(frames);
  EXPECT_THAT(LogTexts(*frames), ElementsAre("ExecuteRequest", "SetParameter",
                                             "Invalid plug-in parameter: queued-behind-the-panel"));
}

TEST_F(HostDialogChannelTest, UploadPanelCancelledEndsItsRequestAndTheNextOneRuns) {
  std::string panel = OpenPanel(Request("SelectFilesToUpload"), kUploadPanelTitle);
  ASSERT_FALSE(panel.empty());
  ASSERT_TRUE(mHost->SendFrame(Request("Reset")));
  Cancel(panel);
  auto frames = mHost->ReadFramesUntil(
      [](const std::string& f) { return IsLogRecordWithText(f, "Reset"); }, kTimeoutMs);
  ASSERT_TRUE(frames);
  EXPECT_THAT(LogTexts(*frames), ElementsAre("ExecuteRequest", "SelectFilesToUpload",
                                             "Selected Files", "ExecuteRequest", "Reset"));
  EXPECT_THAT(NonLogFrames(*frames), IsEmpty());

  // The session still ends in order after dialogs were shown.
  mHost->CloseStdin();
  EXPECT_EQ(mHost->WaitForExit(kTimeoutMs), 0);
  EXPECT_TRUE(mHost->WaitForSyslogLine("Removed instance of plugin", kTimeoutMs));
}
