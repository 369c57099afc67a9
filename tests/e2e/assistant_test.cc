// The Assistant link of the real host on a private session bus: the
// reference Assistant started by D-Bus activation, killed and started again.
// The upload list is filled through the real alert.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "tests/support/DesktopHostTest.h"

namespace fs = std::filesystem;
using Paths = std::multiset<std::string>;

namespace {

constexpr char kAssistant[] = "com.quorvex.Assistant";

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

class AssistantTest : public DesktopHostTest {};

}  // namespace

// The first upload starts the Assistant by activation; killed once its first
// files are sent, it leaves the rest listed, and the next upload starts a new
// one that sends the rest: every file leaves the list exactly once.
TEST_F(AssistantTest, AnUploadActivatesTheAssistantWhichIsRelaunchedAfterAKill) {
  InstallAssistant();
  StartHost();
  PrivateBus& bus = mDesktop.Bus();
  std::vector<std::string> files;
  for (int i = 0; i < 300; ++i) {
    files.push_back((mRoot / ("file \xC3\xA9 " + std::to_string(i))).string());
    std::ofstream(files.back()) << "content " << i;
  }
  // Queued as the browser does, confirmed in the alert as a user does.
  PressKey(OpenDialog(Request("QueueFilesForUpload", FilesMember(files)), "Quorvex Web Client"),
           "Return");
  ASSERT_EQ(ListedPaths(FramesUntilCode("FilesAddedToUploadList"), "FilesAddedToUploadList").size(),
            files.size());
  EXPECT_TRUE(bus.NameOwner(kAssistant).empty());

  ASSERT_TRUE(mHost->SendFrame(Request("StartUpload")));
  auto frames = FramesUntilCode("FilesDeletedFromUploadList");
  const pid_t assistant = bus.NameOwnerPid(kAssistant);
  ASSERT_GT(assistant, 0);
  ASSERT_EQ(kill(assistant, SIGKILL), 0);
  ASSERT_TRUE(PollUntil(kTimeoutMs, [&] { return bus.NameOwner(kAssistant).empty(); }));
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
  std::ifstream copied(mRoot / "outbox" / fs::path(files[1]).filename());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copied), {}), "content 1");
}
