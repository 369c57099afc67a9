// The native dialogs of the real host, on X11 and on Wayland, answered the
// way a user answers them: the upload panel, the download-folder panel, the
// confirmation alert and the progress window, and what the browser is told.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/DesktopHostTest.h"

namespace fs = std::filesystem;

namespace {

constexpr char kUploadTitle[] = "Choose files and folders\u2026";
constexpr char kFolderTitle[] = "Choose a folder";
constexpr char kAlertTitle[] = "Quorvex Web Client";
constexpr char kProgressTitle[] = "Adding files\u2026";

struct Record {
  fs::path path;
  std::string relative;
  size_t size;
};

// The notification the host sends for `records`, given in the upload list's
// order (paths, then relative paths, ignoring ASCII case), "/" escaped as it
// writes it.
std::string AddedNotification(const std::vector<Record>& records) {
  const auto quoted = [](const std::string& text) {
    std::string out = "\"";
    for (char c : text)
      out += c == '/' ? std::string("\\/") : std::string(1, c);
    return out + "\"";
  };
  std::string list;
  for (const auto& record : records)
    list += std::string(list.empty() ? "" : ", ") + "{ \"file_path\": " + quoted(record.path) +
            ", \"relative_path\": " + quoted(record.relative) +
            ", \"size\": " + std::to_string(record.size) + ".000000 }";
  return R"({ "version": "8.2.0x431", "type": "Notification", "code": "FilesAddedToUploadList", )"
         R"("files_ul": [ )" +
         list + " ] }";
}

Record Write(const fs::path& path, const std::string& relative, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
  return {path, relative, content.size()};
}

class DialogsTest : public EveryDesktopTest {};

TEST_P(DialogsTest, FilesAndAFolderPickedTogetherAreAddedWithTheirRelativePaths) {
  const fs::path pick = mRoot / "pick";
  const std::vector<Record> records = {
      Write(pick / "a.txt", "", "alpha"),
      Write(pick / "c \xC3\xA9t\xC3\xA9.txt", "", "charlie"),
      Write(pick / "Tree" / "Sub" / "deep.txt", "Tree/Sub", "deep down"),
      Write(pick / "Tree" / "top.txt", "Tree", "top"),
  };
  // The panel opens in the host's working folder.
  fs::current_path(pick);
  StartHost();
  const std::string panel = OpenDialog(Request("SelectFilesToUpload"), kUploadTitle);
  Answer(panel, mDriver.ChooseAll(panel, "alt+c"));
  EXPECT_EQ(NonLogFrames(FramesUntilLog("Selected Files")),
            std::vector<std::string>{AddedNotification(records)});
}

class X11DialogsTest : public DesktopHostTest {};

// A folder typed without a trailing "/" is picked itself, not entered.
TEST_F(X11DialogsTest, AFolderTypedIntoTheUploadPanelIsPicked) {
  const Record typed = Write(mRoot / "Typed" / "t.txt", "Typed", "typed");
  StartHost();
  const std::string panel = OpenDialog(Request("SelectFilesToUpload"), kUploadTitle);
  Answer(panel, mDriver.ChoosePath(panel, (mRoot / "Typed").string()));
  EXPECT_EQ(NonLogFrames(FramesUntilLog("Selected Files")),
            std::vector<std::string>{AddedNotification({typed})});
}

// A file typed into the panel is refused: the panel stays open. The folder
// typed next does not exist yet: the panel creates it, and the Assistant,
// started by the bus, downloads into it.
TEST_P(DialogsTest, TheDownloadGoesToTheFolderCreatedInThePanel) {
  InstallAssistant();
  const fs::path file = Write(mRoot / "outbox" / "one.txt", "", "one").path;
  const fs::path chosen = mRoot / "downloads" / "new";
  // The panel opens in the host's working folder. Under sway GTK's
  // completion may still change the text after the driver's last key, so
  // there only a name is typed, in a folder where nothing completes it. Its
  // leading "." opens the location field even where the driver's ctrl+l
  // came too early for the panel, and the name would start a search.
  fs::create_directories(chosen.parent_path());
  fs::current_path(chosen.parent_path());
  StartHost();
  const std::string panel = OpenDialog(Request("SelectDownloadLocation"), kFolderTitle);
  if (GetParam() == DesktopKind::kX11) {
    ASSERT_TRUE(mDriver.ChoosePath(panel, file.string())) << mDriver.LastError();
    EXPECT_FALSE(mDriver.WaitForWindowGone(panel, 1000)) << "a file taken for the folder";
  }
  Answer(panel, mDriver.ChoosePath(panel, GetParam() == DesktopKind::kX11
                                              ? chosen.string()
                                              : "./" + chosen.filename().string()));
  // Made by the host, not left to the Assistant.
  EXPECT_TRUE(PollUntil(10000, [&] { return fs::is_directory(chosen); }));
  ASSERT_TRUE(mHost->SendFrame(Request("StartDownload")));
  FramesUntilCode("TransferComplete");
  std::ifstream copied(chosen / "one.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copied), {}), "one");
}

// Folders without files whose walk takes long: levels of seven folders, each
// with a link to every folder of the next level.
TEST_P(DialogsTest, ALongExpansionShowsItsProgressWindowWhoseCancelAddsNothing) {
  constexpr int kLevels = 7;
  const auto folder = [&](int level, int index) {
    return mRoot / std::to_string(level) / ("f" + std::to_string(index));
  };
  for (int level = 0; level <= kLevels; ++level)
    for (int index = 0; index < 7; ++index) {
      fs::create_directories(folder(level, index));
      for (int next = 0; level < kLevels && next < 7; ++next)
        fs::create_directory_symlink(folder(level + 1, next),
                                     folder(level, index) / std::to_string(next));
    }
  StartHost();
  PressKey(OpenDialog(Request("QueueFilesForUpload", FilesMember({folder(0, 0)})), kAlertTitle),
           "Return");
  // Return presses the focused Cancel button. The Reset is read only once
  // the queueing has ended.
  PressKey(OpenDialog(Request("Reset"), kProgressTitle), "Return");
  const auto frames = FramesUntilLog("Reset");
  EXPECT_EQ(LogTexts(frames), (std::vector<std::string>{"ExecuteRequest", "QueueFilesForUpload",
                                                        "Adding files cancelled by the user",
                                                        "ExecuteRequest", "Reset"}));
  EXPECT_TRUE(NonLogFrames(frames).empty());
}

INSTANTIATE_TEST_SUITE_P(, DialogsTest, kEveryDesktop, ::testing::PrintToStringParamName());

class WaylandDialogsTest : public DesktopHostTest {
 protected:
  WaylandDialogsTest() : DesktopHostTest(DesktopKind::kWayland) {}
};

// The launcher's token is good for one dialog only. The browser then stops
// reading while the alert is open. Nobody can be told anything now, so the
// add the browser never saw is undone; the host lives on and ends in order
// when its input ends.
TEST_F(WaylandDialogsTest, TheActivationTokenGoesWithTheFirstDialogAndABrowserGoneChangesNothing) {
  const Record file = Write(mRoot / "a.txt", "", "alpha");
  // The client's side of the protocol goes to stderr.
  StartHost({{"XDG_ACTIVATION_TOKEN", "qx-launch-token"}, {"WAYLAND_DEBUG", "client"}});
  const std::string queue = Request("QueueFilesForUpload", FilesMember({file.path}));
  PressKey(OpenDialog(queue, kAlertTitle), "Escape");
  const std::string alert = OpenDialog(queue, kAlertTitle);
  mHost->CloseOutput();
  PressKey(alert, "Return");
  EXPECT_TRUE(mHost->WaitForSyslogLine("Failed to notify browser", kTimeoutMs));
  ASSERT_TRUE(mHost->SendFrame(
      Request("DeleteFilesFromUploadList",
              R"("files_ul":[{"file_path":")" + file.path.string() + R"(","relative_path":""}])")));
  EXPECT_TRUE(mHost->WaitForSyslogLine("No files to delete", kTimeoutMs));
  mHost->CloseInput();
  EXPECT_EQ(mHost->WaitForExit(kTimeout), 0);
  EXPECT_TRUE(mHost->WaitForSyslogLine("Removed instance of plugin", kTimeoutMs));
  const std::string requests = mHost->StderrText();
  const std::string activation = "activate(\"qx-launch-token\"";
  const size_t first = requests.find(activation);
  EXPECT_NE(first, std::string::npos);
  EXPECT_EQ(requests.find(activation, first + 1), std::string::npos) << "a token is good once";
}

}  // namespace
