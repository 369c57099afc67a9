// The channel while a request's dialog is open, with the real host on a
// virtual display: the dialog's nested loop never reads stdin (later
// requests wait their turn), yet status events from the bus still reach the
// browser at once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/support/DesktopHostTest.h"
#include "tests/support/Frames.h"
#include "tests/support/SessionBus.h"
#include "tests/support/StatusEvents.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr int kTimeoutMs = 20000;
constexpr char kFolderPanelTitle[] = "Choose a folder";
constexpr char kUploadPanelTitle[] = "Choose files and folders\u2026";

class HostDialogChannelTest : public DesktopHostTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(DesktopHostTest::SetUp());
    ASSERT_NO_FATAL_FAILURE(StartHost());
  }
};

}  // namespace

TEST_F(HostDialogChannelTest, RequestsWaitForTheOpenDialogWhileStatusEventsGetThrough) {
  std::string panel = OpenDialog(Request("SelectDownloadLocation"), kFolderPanelTitle);
  ASSERT_FALSE(panel.empty());
  // The download panel request logs only its entry record.
  EXPECT_THAT(LogTexts(mHost->ReadFramesUntilQuiet(300)), ElementsAre("ExecuteRequest"));

  // A request sent now is not read while the panel's loop runs.
  ASSERT_TRUE(mHost->SendFrame(Request("SetParameter", R"("name":"queued-behind-the-panel")")));
  EXPECT_EQ(mHost->ReadFrame(700), std::nullopt);

  // A status event is: it runs inside the panel's loop.
  BusConnection bus = ConnectToBus(mDesktop->BusAddress());
  ASSERT_NE(bus, nullptr);
  std::string hostName = UniqueNameOfProcess(bus.get(), mHost->Pid(), kTimeoutMs);
  ASSERT_FALSE(hostName.empty());
  ASSERT_TRUE(OwnAssistantName(bus.get()));
  const std::string ping = R"({"type":"Notification","code":"Ping"})";
  ASSERT_TRUE(SendStatusEvent(bus.get(), hostName, HostRefCon(*mHost), ping, kTimeoutMs));
  auto frames = mHost->ReadFramesUntil(
      [](const std::string& f) { return IsMessageWithCode(f, "Ping"); }, kTimeoutMs);
  ASSERT_TRUE(frames);
  EXPECT_EQ(frames->back(), ping);
  EXPECT_THAT(LogTexts(*frames), ::testing::Not(::testing::Contains("ExecuteRequest")));

  // Once the panel is gone, the waiting request runs.
  PressKey(panel, "Escape");
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
  std::string panel = OpenDialog(Request("SelectFilesToUpload"), kUploadPanelTitle);
  ASSERT_FALSE(panel.empty());
  ASSERT_TRUE(mHost->SendFrame(Request("Reset")));
  PressKey(panel, "Escape");
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
