// The browser channel failing under the real host: the input ending in the
// middle of a frame or between frames, and the browser no longer reading
// while a dialog is open. The host must never run part of a request, never
// die of the broken pipe, and end in order once its input ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/DesktopHostTest.h"
#include "tests/support/Frames.h"
#include "tests/support/UploadListView.h"

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

constexpr int kTimeoutMs = 20000;
constexpr char kAlertTitle[] = "Quorvex Web Client";
constexpr char kUploadTitle[] = "Choose files and folders\u2026";
constexpr int kFiles = 6;

class ChannelFaultsTest : public DesktopHostTest {
 protected:
  // A fresh host with a folder of kFiles files ready to be queued.
  void StartHostWithFolder() {
    ASSERT_NO_FATAL_FAILURE(StartHost());
    mFolder = fs::path(mHost->TempDir()) / "Queued";
    fs::create_directories(mFolder);
    mEntries.clear();
    for (int i = 0; i < kFiles; ++i) {
      const fs::path file = mFolder / ("file" + std::to_string(i));
      fs::create_directories(file.parent_path());
      FILE* out = fopen(file.c_str(), "w");
      ASSERT_NE(out, nullptr);
      fclose(out);
      mEntries.push_back({file.string(), "Queued", 0});
    }
  }

  void QueueFolder() {
    const std::string alert =
        OpenDialog(Request("QueueFilesForUpload", FilesMember({mFolder.string()})), kAlertTitle);
    ASSERT_FALSE(alert.empty());
    PressKey(alert, "Return");
  }

  // Queues the folder and waits until the browser has seen it listed.
  void FillList() {
    QueueFolder();
    ASSERT_FALSE(HasFatalFailure());
    auto frames = mHost->ReadFramesUntil(
        [](const std::string& f) { return IsMessageWithCode(f, "FilesAddedToUploadList"); },
        kTimeoutMs);
    ASSERT_TRUE(frames);
    ASSERT_EQ(NotifiedEntries(frames->back(), "FilesAddedToUploadList").size(), size_t{kFiles});
  }

  // The host ends of itself, in order, in a bounded time.
  void ExpectOrderlyEnd() {
    EXPECT_EQ(mHost->WaitForExit(kTimeoutMs), 0);
    EXPECT_TRUE(mHost->WaitForSyslogLine("Removed instance of plugin, refCon=", kTimeoutMs));
  }

  fs::path mFolder;
  std::vector<UploadEntry> mEntries;
};

}  // namespace

TEST_F(ChannelFaultsTest, InputEndingInsideAFrameRunsNoPartOfItAndEndsTheHost) {
  enum Cut { kLengthWordOnly, kHalfTheBody, kAllButTheLastByte, kWholeFrame };
  struct Case {
    const char* what;
    Cut cut;
    size_t pad;  // bytes of padding that make the body large
  };
  const std::vector<Case> cases = {
      {"the length word only", kLengthWordOnly, 0},
      {"half of the body", kHalfTheBody, 0},
      {"half of a 3 MB body", kHalfTheBody, 3 << 20},
      {"all but the last byte", kAllButTheLastByte, 0},
      {"the whole frame, then the end", kWholeFrame, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StartHostWithFolder();
    FillList();
    ASSERT_FALSE(HasFatalFailure());
    // Deletes every listed file. A padded body ends in a long member after
    // the array: cut in half, it holds the whole array, but is no request.
    const std::string pad = c.pad == 0 ? "" : R"(,"pad":")" + std::string(c.pad, ' ') + "\"";
    const std::string frame =
        EncodeFrame(Request("DeleteFilesFromUploadList", EntriesMember(mEntries) + pad));
    const size_t keep[] = {4, 4 + (frame.size() - 4) / 2, frame.size() - 1, frame.size()};
    ASSERT_TRUE(mHost->SendRaw(frame.substr(0, keep[c.cut])));
    if (c.cut != kWholeFrame) {
      // The host now waits inside the frame for bytes that never come.
      EXPECT_EQ(mHost->ReadFrame(300), std::nullopt);
    }
    mHost->CloseStdin();
    auto frames = mHost->ReadFramesUntilQuiet(1000);
    if (c.cut == kWholeFrame) {
      EXPECT_THAT(LogTexts(frames),
                  ElementsAre("ExecuteRequest", "DeleteFilesFromUploadList", "DeleteFiles"));
      ASSERT_EQ(NonLogFrames(frames).size(), 1u);
      EXPECT_EQ(NotifiedEntries(frames.back(), "FilesDeletedFromUploadList").size(),
                size_t{kFiles});
    } else {
      EXPECT_THAT(NonLogFrames(frames), IsEmpty());
      EXPECT_THAT(LogTexts(frames), Not(Contains("DeleteFilesFromUploadList")));
    }
    ExpectOrderlyEnd();
  }
}

// The browser stops reading (closes its end of the host's output) while a
// dialog is open. Nobody can be told anything any more, but the browser may
// still write: the host lives on, keeps its list in step with what the
// browser was told (nothing), and ends in order when its input ends.
TEST_F(ChannelFaultsTest, BrowserGoneDuringADialogLeavesTheHostAliveAndTheListUnchanged) {
  struct Case {
    const char* what;
    std::string request;
    const char* title;
    std::function<bool(DialogDriver&, const std::string&, const fs::path&)> answer;
  };
  const std::vector<Case> cases = {
      {"confirmation alert", "", kAlertTitle,
       [](DialogDriver& driver, const std::string& window, const fs::path&) {
         return driver.Focus(window) && driver.Key("Return");
       }},
      {"upload panel", Request("SelectFilesToUpload"), kUploadTitle,
       [](DialogDriver& driver, const std::string& window, const fs::path& folder) {
         return driver.ChooseAllInFolder(window, folder.parent_path().string(), "alt+c");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StartHostWithFolder();
    ASSERT_FALSE(HasFatalFailure());
    const std::string request =
        c.request.empty() ? Request("QueueFilesForUpload", FilesMember({mFolder.string()}))
                          : c.request;
    const std::string window = OpenDialog(request, c.title);
    ASSERT_FALSE(window.empty());
    mHost->CloseStdout();
    Answer(window, c.answer(*mDriver, window, mFolder));
    EXPECT_TRUE(mHost->WaitForSyslogLine("Failed to notify browser", kTimeoutMs));
    EXPECT_EQ(mHost->WaitForExit(300), std::nullopt) << "the host died";

    // The add the browser never saw was undone: there is nothing to delete.
    ASSERT_TRUE(mHost->SendFrame(Request("DeleteFilesFromUploadList", EntriesMember(mEntries))));
    EXPECT_TRUE(mHost->WaitForSyslogLine("No files to delete", kTimeoutMs));
    mHost->CloseStdin();
    ExpectOrderlyEnd();
  }
}
