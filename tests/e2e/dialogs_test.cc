// The native dialogs of the real host, on X11 and on Wayland, answered the
// way a user answers them: the upload panel, the download-folder panel and
// the confirmation alert, and what the browser is told afterwards.
#include <gtest/gtest.h>
#include <json-c/json.h>
#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/support/DesktopHostTest.h"
#include "tests/support/Frames.h"
#include "tests/support/SessionBus.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTimeoutMs = 20000;
constexpr int kLongWalkTimeoutMs = 300000;
constexpr char kUploadTitle[] = "Choose files and folders\u2026";
constexpr char kFolderTitle[] = "Choose a folder";
constexpr char kAlertTitle[] = "Quorvex Web Client";
constexpr char kProgressTitle[] = "Adding files\u2026";
constexpr char kAssistant[] = "com.quorvex.Assistant";

// A string as the host's JSON writer puts it: quoted, "/" escaped.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text)
    quoted += c == '/' ? std::string("\\/") : std::string(1, c);
  return quoted + "\"";
}

struct Record {
  std::string path;
  std::string relative;
  uintmax_t size;
};

// The notification the host sends for `records`, in the upload list's order
// (paths, then relative paths, compared ignoring ASCII case).
std::string AddedNotification(std::vector<Record> records) {
  std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
    const int byPath = strcasecmp(a.path.c_str(), b.path.c_str());
    return byPath != 0 ? byPath < 0 : strcasecmp(a.relative.c_str(), b.relative.c_str()) < 0;
  });
  std::string list;
  for (const auto& record : records) {
    list += std::string(list.empty() ? "" : ", ") + "{ \"file_path\": " + Quoted(record.path) +
            ", \"relative_path\": " + Quoted(record.relative) +
            ", \"size\": " + std::to_string(record.size) + ".000000 }";
  }
  return R"({ "version": "8.2.0x431", "type": "Notification", "code": "FilesAddedToUploadList", "files_ul": [ )" +
         list + " ] }";
}

void Write(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// Folders without files whose walk takes long: `levels` levels of seven
// folders, each with a link to every folder of the next level, so that a walk
// goes through 7^levels folders, each under a relative path of its own. The
// walk starts at the returned folder.
fs::path MakeLinkMaze(const fs::path& top, int levels) {
  const auto folder = [&](int level, int index) {
    return top / std::to_string(level) / ("f" + std::to_string(index));
  };
  for (int level = 0; level <= levels; ++level) {
    for (int index = 0; index < 7; ++index) {
      fs::create_directories(folder(level, index));
      for (int next = 0; level < levels && next < 7; ++next)
        fs::create_directory_symlink(folder(level + 1, next),
                                     folder(level, index) / std::to_string(next));
    }
  }
  return folder(0, 0);
}

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class DialogsTest : public EveryDesktopTest {
 protected:
  // A host that cannot open a display.
  void StartHostWithoutDisplay() {
    HostProcess::Options options = HostOptions();
    for (const auto& [name, value] : mDisplay->Environment())
      options.environment[name] = std::nullopt;
    StartHost(std::move(options));
  }

  // Picks everything shown in `folder` in the upload panel.
  std::vector<std::string> PickAllIn(const fs::path& folder) {
    const std::string panel = OpenDialog(Request("SelectFilesToUpload"), kUploadTitle);
    if (panel.empty())
      return {};
    Answer(panel, mDriver->ChooseAllInFolder(panel, folder.string(), "alt+c"));
    return FramesUntilLog("Selected Files");
  }

  void ChooseFolder(const fs::path& folder) {
    const std::string panel = OpenDialog(Request("SelectDownloadLocation"), kFolderTitle);
    if (!panel.empty())
      Answer(panel, mDriver->ChoosePath(panel, folder.string()));
  }
};

TEST_P(DialogsTest, FilesAndAFolderPickedTogetherAreAllAdded) {
  const fs::path pick = mRoot / "pick";
  const fs::path tree = pick / "Tree";
  const fs::path outside = mRoot / "outside";
  Write(pick / "a.txt", "alpha");
  Write(pick / "b.txt", "bravo!");
  Write(pick / "c \xC3\xA9t\xC3\xA9.txt", "charlie");
  Write(tree / "top.txt", "top");
  Write(tree / ".hidden", "hidden file");
  Write(tree / "Sub" / "deep.txt", "deep down");
  Write(tree / "Sub" / "Deeper" / ".dot.txt", "dot");
  fs::create_directories(tree / "Empty" / "Emptier");
  Write(outside / "linked.txt", "linked file");
  Write(outside / "Linked" / "inner.txt", "inner");
  fs::create_symlink(outside / "linked.txt", tree / "file-link");
  fs::create_directory_symlink(outside / "Linked", tree / "folder-link");

  StartHost();
  const auto frames = PickAllIn(pick);

  // Picked files have no relative path; a folder's files carry the folder's
  // name down to their own folder; links are followed to their targets.
  const std::string expected = AddedNotification({
      {(pick / "a.txt").string(), "", 5},
      {(pick / "b.txt").string(), "", 6},
      {(pick / "c \xC3\xA9t\xC3\xA9.txt").string(), "", 7},
      {(tree / "top.txt").string(), "Tree", 3},
      {(tree / ".hidden").string(), "Tree", 11},
      {(tree / "Sub" / "deep.txt").string(), "Tree/Sub", 9},
      {(tree / "Sub" / "Deeper" / ".dot.txt").string(), "Tree/Sub/Deeper", 3},
      {(outside / "linked.txt").string(), "Tree", 11},
      {(outside / "Linked" / "inner.txt").string(), "Tree/Linked", 5},
  });
  EXPECT_EQ(NonLogFrames(frames), std::vector<std::string>{expected});
  EXPECT_EQ(LogTexts(frames), (std::vector<std::string>{"ExecuteRequest", "SelectFilesToUpload",
                                                        "AddFiles", "Selected Files"}));
}

TEST_P(DialogsTest, PickingOnlyEmptyFoldersAddsNothingAndReportsNothing) {
  const fs::path pick = mRoot / "pick";
  fs::create_directories(pick / "Empty");
  fs::create_directories(pick / "Hollow" / "Inside");
  StartHost();
  const auto frames = PickAllIn(pick);
  EXPECT_TRUE(NonLogFrames(frames).empty());
  EXPECT_EQ(LogTexts(frames),
            (std::vector<std::string>{"ExecuteRequest", "SelectFilesToUpload", "AddFiles",
                                      "No files to add", "Selected Files"}));
}

TEST_P(DialogsTest, CancellingTheUploadPanelSendsOnlyItsLogRecords) {
  Write(mRoot / "a.txt", "alpha");
  StartHost();
  PressKey(OpenDialog(Request("SelectFilesToUpload"), kUploadTitle), "Escape");
  auto frames = FramesUntilLog("Selected Files");
  auto later = mHost->ReadFramesUntilQuiet(500);
  frames.insert(frames.end(), later.begin(), later.end());
  EXPECT_EQ(LogTexts(frames),
            (std::vector<std::string>{"ExecuteRequest", "SelectFilesToUpload", "Selected Files"}));
  EXPECT_TRUE(NonLogFrames(frames).empty());
}

TEST_P(DialogsTest, RequestsWaitWhileADialogIsOpen) {
  StartHost();
  const std::string panel = OpenDialog(Request("SelectFilesToUpload"), kUploadTitle);
  ASSERT_FALSE(panel.empty());
  // Read only once the panel is answered: nothing of it may show before.
  ASSERT_TRUE(mHost->SendFrame(Request("SetParameter", R"("name":"Nothing","value":1)")));
  EXPECT_EQ(LogTexts(mHost->ReadFramesUntilQuiet(1000)),
            (std::vector<std::string>{"ExecuteRequest", "SelectFilesToUpload"}));
  EXPECT_TRUE(mDriver->WaitForWindow(kUploadTitle, 1000)) << "the panel went away by itself";
  PressKey(panel, "Escape");
  auto frames = FramesUntilLog("Invalid plug-in parameter: Nothing");
  EXPECT_EQ(LogTexts(frames),
            (std::vector<std::string>{"Selected Files", "ExecuteRequest", "SetParameter",
                                      "Invalid plug-in parameter: Nothing"}));
}

TEST_P(DialogsTest, ConfirmedQueueAddsEveryFileOfTheQueuedFolder) {
  const fs::path folder = mRoot / "Queued";
  std::vector<Record> records;
  for (int i = 0; i < 12; ++i) {
    const fs::path file = folder / (i % 2 ? "odd" : "even") / ("file" + std::to_string(i));
    Write(file, std::string(static_cast<size_t>(i + 1), 'x'));
    records.push_back({file.string(), std::string("Queued/") + (i % 2 ? "odd" : "even"),
                       static_cast<uintmax_t>(i + 1)});
  }
  Write(mRoot / "single.txt", "single");
  records.push_back({(mRoot / "single.txt").string(), "", 6});

  StartHost();
  PressKey(OpenDialog(Request("QueueFilesForUpload",
                              FilesMember({folder.string(), (mRoot / "single.txt").string()})),
                      kAlertTitle),
           "Return");
  auto frames = mHost->ReadFramesUntil(
      [](const std::string& f) { return IsMessageWithCode(f, "FilesAddedToUploadList"); },
      kTimeoutMs);
  ASSERT_TRUE(frames);
  EXPECT_EQ(NonLogFrames(*frames), std::vector<std::string>{AddedNotification(records)});
  EXPECT_EQ(LogTexts(*frames),
            (std::vector<std::string>{"ExecuteRequest", "QueueFilesForUpload", "AddFiles"}));
}

TEST_P(DialogsTest, CancellingALongExpansionAddsNothingAndNotifiesNothing) {
  const fs::path maze = MakeLinkMaze(mRoot / "maze", 7);
  StartHost();
  PressKey(OpenDialog(Request("QueueFilesForUpload", FilesMember({maze.string()})), kAlertTitle),
           "Return");
  // Return presses the focused Cancel button. The Reset is read only once the
  // queueing has been handled.
  PressKey(OpenDialog(Request("Reset"), kProgressTitle), "Return");
  auto frames = FramesUntilLog("Reset");
  EXPECT_EQ(LogTexts(frames), (std::vector<std::string>{"ExecuteRequest", "QueueFilesForUpload",
                                                        "Adding files cancelled by the user",
                                                        "ExecuteRequest", "Reset"}));
  EXPECT_TRUE(NonLogFrames(frames).empty());
}

TEST_P(DialogsTest, ALongExpansionShowsItsProgressAndAddsWhatAShortOneWould) {
  const fs::path maze = MakeLinkMaze(mRoot / "maze", 6);
  // Walked after every link, so a walk cut short misses it.
  Write(maze / "z.txt", "zulu");
  StartHost();
  PressKey(OpenDialog(Request("QueueFilesForUpload", FilesMember({maze.string()})), kAlertTitle),
           "Return");
  const auto window = mDriver->WaitForWindow(kProgressTitle, kTimeoutMs);
  EXPECT_TRUE(window) << mDriver->LastError();
  // The walk must outlast the window's delay even in a fast build, so under
  // the sanitizers on a busy machine it takes minutes: only the wait is long.
  const auto frames = mHost->ReadFramesUntil(
      [](const std::string& f) { return IsMessageWithCode(f, "FilesAddedToUploadList"); },
      kLongWalkTimeoutMs);
  ASSERT_TRUE(frames) << "no FilesAddedToUploadList";
  EXPECT_EQ(NonLogFrames(*frames),
            std::vector<std::string>{AddedNotification({{(maze / "z.txt").string(), "f0", 4}})});
  EXPECT_TRUE(mDriver->WaitForWindowGone(window.value_or(""), kTimeoutMs));
}

TEST_P(DialogsTest, DeclinedQueueAddsNothing) {
  Write(mRoot / "a.txt", "alpha");
  StartHost();
  PressKey(OpenDialog(Request("QueueFilesForUpload", FilesMember({(mRoot / "a.txt").string()})),
                      kAlertTitle),
           "Escape");
  // The next request's record shows the queueing one has been handled.
  ASSERT_TRUE(mHost->SendFrame(Request("Reset")));
  auto frames = FramesUntilLog("Reset");
  EXPECT_EQ(LogTexts(frames), (std::vector<std::string>{"ExecuteRequest", "QueueFilesForUpload",
                                                        "ExecuteRequest", "Reset"}));
  EXPECT_TRUE(NonLogFrames(frames).empty());
}

TEST_P(DialogsTest, DownloadFolderIsChosenCreatedAndReplacedButNotClearedByCancel) {
  SessionBus bus(mDesktop->Environment());
  ASSERT_TRUE(bus.Ok());
  const fs::path outbox = mRoot / "outbox";
  Write(outbox / "one.txt", "one");
  ASSERT_TRUE(bus.InstallService(kAssistant, {QX_ASSISTANT_BINARY, "--outbox", outbox.string()}));
  StartHostOn(bus.Address());

  // Cancelling with no earlier choice leaves the download without a folder.
  PressKey(OpenDialog(Request("SelectDownloadLocation"), kFolderTitle), "Escape");
  ASSERT_TRUE(mHost->SendFrame(Request("StartDownload")));
  auto refused = FramesUntilLog("Download location not specified");
  EXPECT_TRUE(NonLogFrames(refused).empty());

  // A folder that is not there yet is created, with the folders above it.
  const fs::path first = mRoot / "downloads" / "first" / "new";
  ChooseFolder(first);
  const fs::path second = mRoot / "second";
  ChooseFolder(second);
  EXPECT_TRUE(fs::is_directory(first));
  EXPECT_TRUE(fs::is_directory(second));
  // Cancelling now keeps the second choice.
  PressKey(OpenDialog(Request("SelectDownloadLocation"), kFolderTitle), "Escape");

  ASSERT_TRUE(mHost->SendFrame(Request("StartDownload")));
  auto frames = mHost->ReadFramesUntil(
      [](const std::string& f) { return IsMessageWithCode(f, "TransferComplete"); }, kTimeoutMs);
  ASSERT_TRUE(frames);
  auto texts = LogTexts(*frames);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "Download location not specified"), 0);
  EXPECT_EQ(ReadWhole(second / "one.txt"), "one");
  EXPECT_FALSE(fs::exists(first / "one.txt"));
}

TEST_P(DialogsTest, WithoutADisplayNothingIsShownAndNothingIsAdded) {
  Write(mRoot / "a.txt", "alpha");
  StartHostWithoutDisplay();

  ASSERT_TRUE(mHost->SendFrame(Request("SelectFilesToUpload")));
  auto frames = FramesUntilLog("Could not select files!!!!");
  EXPECT_EQ(LogTexts(frames), (std::vector<std::string>{"ExecuteRequest", "SelectFilesToUpload",
                                                        "Could not select files!!!!"}));

  ASSERT_TRUE(
      mHost->SendFrame(Request("QueueFilesForUpload", FilesMember({(mRoot / "a.txt").string()}))));
  ASSERT_TRUE(mHost->SendFrame(Request("SelectDownloadLocation")));
  ASSERT_TRUE(mHost->SendFrame(Request("StartDownload")));
  frames = FramesUntilLog("Download location not specified");
  EXPECT_EQ(LogTexts(frames),
            (std::vector<std::string>{"ExecuteRequest", "QueueFilesForUpload", "ExecuteRequest",
                                      "ExecuteRequest", "StartDownload",
                                      "Download location not specified"}));
  EXPECT_TRUE(NonLogFrames(frames).empty());
  EXPECT_FALSE(mDriver->WaitForWindow(kUploadTitle, 200));
}

INSTANTIATE_TEST_SUITE_P(, DialogsTest, kEveryDesktop, ::testing::PrintToStringParamName());

class WaylandDialogsTest : public DesktopHostTest {
 protected:
  WaylandDialogsTest() : DesktopHostTest(DesktopKind::kWayland) {}
};

TEST_F(WaylandDialogsTest, TheLaunchersActivationTokenGoesWithTheFirstDialogOnly) {
  Write(mRoot / "a.txt", "alpha");
  HostProcess::Options options = HostOptions();
  options.environment["XDG_ACTIVATION_TOKEN"] = "qx-launch-token";
  // The client's side of the protocol, on stderr.
  options.environment["WAYLAND_DEBUG"] = "client";
  StartHost(std::move(options));
  const std::string queue =
      Request("QueueFilesForUpload", FilesMember({(mRoot / "a.txt").string()}));
  PressKey(OpenDialog(queue, kAlertTitle), "Escape");
  PressKey(OpenDialog(queue, kAlertTitle), "Escape");
  ASSERT_TRUE(mHost->SendFrame(Request("Reset")));
  FramesUntilLog("Reset");

  const std::string requests = mHost->StderrText();
  const std::string activation = "activate(\"qx-launch-token\"";
  const size_t first = requests.find(activation);
  EXPECT_NE(first, std::string::npos);
  EXPECT_EQ(requests.find(activation, first + 1), std::string::npos) << "a token is good once";
}

}  // namespace
