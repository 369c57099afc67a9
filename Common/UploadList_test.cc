#include <gtest/gtest.h>
#include <strings.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "Common/testing/FakeWebClient.h"

namespace {

using testing_support::FakeWebClient;

struct Entry {
  std::string path;
  std::string relative;
  double size;
};

CFileList List(const std::vector<Entry>& entries) {
  CFileList list;
  for (const Entry& entry : entries)
    list.emplace(xwstring_pair(entry.path.c_str(), entry.relative.c_str()), entry.size);
  return list;
}

std::vector<std::string> Paths(const CFileList& list) {
  std::vector<std::string> paths;
  for (const auto& entry : list)
    paths.emplace_back(static_cast<const char*>(entry.first.first));
  return paths;
}

// The "file_path" members of a notification frame, in order.
std::vector<std::string> FramePaths(const std::string& frame) {
  json_object* message = json_tokener_parse(frame.c_str());
  std::vector<std::string> paths;
  json_object* files = json_object_object_get(message, "files_ul");
  for (size_t i = 0; i < json_object_array_length(files); ++i)
    paths.emplace_back(json_object_get_string(
        json_object_object_get(json_object_array_get_idx(files, i), "file_path")));
  json_object_put(message);
  return paths;
}

std::string ErrorFrame(const std::string& text) {
  return R"({ "version": "8.2.0x431", "type": "Notification", "code": "Error", "text": ")" + text +
         R"(" })";
}

TEST(UploadList, AddedEntriesAreNotifiedWithTheirExactText) {
  FakeWebClient client;
  CFileList files = List({{"/docs/B.txt", "docs", 12}, {"/docs/a.txt", "docs", 1048576}});
  EXPECT_TRUE(client.AddFiles(files));
  ASSERT_EQ(client.frames.size(), 1u);
  EXPECT_EQ(client.frames[0],
            R"({ "version": "8.2.0x431", "type": "Notification", "code": "FilesAddedToUploadList",)"
            R"( "files_ul": [ { "file_path": "\/docs\/a.txt", "relative_path": "docs",)"
            R"( "size": 1048576.000000 }, { "file_path": "\/docs\/B.txt", "relative_path":)"
            R"( "docs", "size": 12.000000 } ] })");
  EXPECT_EQ(Paths(client.UploadList()), (std::vector<std::string>{"/docs/a.txt", "/docs/B.txt"}));
  EXPECT_EQ(client.Logged("DEBUG"), (std::vector<std::string>{"AddFiles"}));

  // An entry already listed in another case is dropped silently.
  client.frames.clear();
  CFileList again = List({{"/DOCS/b.TXT", "DOCS", 2}});
  EXPECT_FALSE(client.AddFiles(again));
  EXPECT_TRUE(again.empty());
  EXPECT_TRUE(client.frames.empty());
  EXPECT_EQ(client.Logged("DEBUG").back(), "No files to add");
  EXPECT_EQ(client.UploadList().rbegin()->second, 12.0);
}

TEST(UploadList, ManyEntriesAreNotifiedInChunksOfAThousandInKeyOrder) {
  FakeWebClient client;
  CFileList files;
  for (int i = 0; i < 2500; ++i) {
    char path[64];
    // Alternating case must not disturb the order.
    snprintf(path, sizeof path, i % 2 ? "/Data/File%04d" : "/data/file%04d", (i * 7919) % 2500);
    files.emplace(xwstring_pair(path, ""), double(i));
  }
  EXPECT_TRUE(client.AddFiles(files));
  ASSERT_EQ(client.frames.size(), 3u);
  std::vector<std::string> notified;
  std::vector<size_t> sizes;
  for (const std::string& frame : client.frames) {
    const std::vector<std::string> paths = FramePaths(frame);
    sizes.push_back(paths.size());
    notified.insert(notified.end(), paths.begin(), paths.end());
  }
  EXPECT_EQ(sizes, (std::vector<size_t>{1000, 1000, 500}));
  EXPECT_EQ(notified, Paths(files));
  for (size_t i = 1; i < notified.size(); ++i)
    ASSERT_LT(strcasecmp(notified[i - 1].c_str(), notified[i].c_str()), 0) << i;
  EXPECT_EQ(client.UploadList().size(), 2500u);
}

TEST(UploadList, LimitAdmitsInKeyOrderAndReportsOnceAfterTheNotifications) {
  FakeWebClient client;
  CFileList queued = List({{"/q/1", "", 1}, {"/q/2", "", 1}});
  ASSERT_TRUE(client.AddFiles(queued));
  client.SetLimitForTest(3);
  client.frames.clear();

  CFileList files = List({{"/n/d", "", 1}, {"/n/b", "", 1}, {"/n/C", "", 1}, {"/n/a", "", 1}});
  EXPECT_TRUE(client.AddFiles(files));
  EXPECT_EQ(Paths(files), (std::vector<std::string>{"/n/a"}));
  ASSERT_EQ(client.frames.size(), 2u);
  EXPECT_EQ(FramePaths(client.frames[0]), (std::vector<std::string>{"/n/a"}));
  EXPECT_EQ(client.frames[1], ErrorFrame("Not allowed to queue more than 3 files for sending"));
  EXPECT_EQ(client.UploadList().size(), 3u);

  // Full list: nothing is added and the limit is still reported.
  client.frames.clear();
  CFileList more = List({{"/n/e", "", 1}});
  EXPECT_FALSE(client.AddFiles(more));
  EXPECT_TRUE(more.empty());
  EXPECT_EQ(
      client.frames,
      (std::vector<std::string>{ErrorFrame("Not allowed to queue more than 3 files for sending")}));
  EXPECT_EQ(client.Logged("DEBUG").back(), "HandleNotification");
}

TEST(UploadList, FileNameLengthIsMeasuredComposedAndTooLongNamesAreReportedFirst) {
  FakeWebClient client;
  auto repeat = [](const std::string& unit, int n) {
    std::string text;
    while (n-- > 0)
      text += unit;
    return text;
  };
  const std::pair<std::string, bool> names[] = {
      {"/dir/" + std::string(255, 'n'), true},
      {"/dir/" + std::string(256, 'n'), false},
      {"/dir/" + repeat("\xC3\xA9", 128), false},        // 256 bytes
      {"/dir/" + repeat("e\xCC\x81", 127) + "x", true},  // 255 bytes composed
      {"/dir/" + repeat("e\xCC\x81", 128), false},       // 256 bytes composed
      {std::string(5000, 'x'), true},
      {std::string(5000, 'x') + "/", true},
      {"/" + std::string(3000, 'x'), false},
  };
  for (const auto& [name, fits] : names)
    EXPECT_EQ(client.CheckFilenameLength(xwstring(name.c_str())), fits) << name.size();

  // Too long names are reported before the others are notified.
  const std::string tooLong = "/dir/" + std::string(256, 'n');
  CFileList files = List({{tooLong, "", 1}, {"/dir/ok", "", 2}});
  EXPECT_TRUE(client.AddFiles(files));
  EXPECT_EQ(Paths(files), (std::vector<std::string>{"/dir/ok"}));
  ASSERT_EQ(client.frames.size(), 2u);
  EXPECT_EQ(client.frames[0],
            ErrorFrame("Could not add '\\/dir\\/" + std::string(256, 'n') +
                       "' for upload - the file name exceeds the maximum length of 255 "
                       "characters"));
  EXPECT_EQ(FramePaths(client.frames[1]), (std::vector<std::string>{"/dir/ok"}));
}

TEST(UploadList, FailedAddNotificationTakesThatChunkOutAgain) {
  FakeWebClient client;
  client.failNotify = [](int call) { return call == 2; };
  CFileList files;
  for (int i = 0; i < 2500; ++i) {
    char path[32];
    snprintf(path, sizeof path, "/f/%04d", i);
    files.emplace(xwstring_pair(path, ""), 1.0);
  }
  // The last chunk got through, so the call reports success.
  EXPECT_TRUE(client.AddFiles(files));
  EXPECT_EQ(files.size(), 2500u);
  EXPECT_EQ(client.UploadList().size(), 1500u);
  EXPECT_EQ(client.UploadList().count(xwstring_pair("/f/0999", "")), 1u);
  EXPECT_EQ(client.UploadList().count(xwstring_pair("/f/1000", "")), 0u);
  EXPECT_EQ(client.UploadList().count(xwstring_pair("/f/1999", "")), 0u);
  EXPECT_EQ(client.Logged("WARNING"), (std::vector<std::string>{"Failed to notify browser"}));

  // A single failed chunk reports failure.
  client.failNotify = [](int) { return true; };
  CFileList one = List({{"/x", "", 1}});
  EXPECT_FALSE(client.AddFiles(one));
  EXPECT_EQ(one.size(), 1u);
  EXPECT_EQ(client.UploadList().size(), 1500u);
  EXPECT_EQ(client.UploadList().count(xwstring_pair("/x", "")), 0u);
}

TEST(UploadList, DeleteNotifiesTheRemovedEntriesInTheRequestsText) {
  FakeWebClient client;
  CFileList files = List({{"/a/One", "r", 10}, {"/a/two", "", 20}, {"/a/three", "", 30}});
  ASSERT_TRUE(client.AddFiles(files));
  client.frames.clear();

  CFileList remove = List({{"/A/ONE", "R", 99}, {"/a/missing", "", 1}});
  EXPECT_TRUE(client.DeleteFiles(remove));
  EXPECT_EQ(Paths(remove), (std::vector<std::string>{"/A/ONE"}));
  ASSERT_EQ(client.frames.size(), 1u);
  EXPECT_EQ(client.frames[0],
            R"({ "version": "8.2.0x431", "type": "Notification", "code":)"
            R"( "FilesDeletedFromUploadList", "files_ul": [ { "file_path": "\/A\/ONE",)"
            R"( "relative_path": "R", "size": 99.000000 } ] })");
  EXPECT_EQ(Paths(client.UploadList()), (std::vector<std::string>{"/a/three", "/a/two"}));

  client.frames.clear();
  CFileList none = List({{"/a/missing", "", 1}});
  EXPECT_FALSE(client.DeleteFiles(none));
  EXPECT_TRUE(client.frames.empty());
  EXPECT_EQ(client.Logged("DEBUG").back(), "No files to delete");

  // A delete request reads the list from the message.
  EXPECT_TRUE(
      client.Execute(LR"({"type": "Request", "code": "DeleteFilesFromUploadList", "files_ul": [)"
                     LR"({"file_path": "/A/TWO", "size": 1.0}]})"));
  EXPECT_EQ(Paths(client.UploadList()), (std::vector<std::string>{"/a/three"}));
  EXPECT_EQ(FramePaths(client.frames.at(0)), (std::vector<std::string>{"/A/TWO"}));

  EXPECT_FALSE(client.Execute(LR"({"type": "Request", "code": "DeleteFilesFromUploadList"})"));
  EXPECT_FALSE(client.Execute(
      LR"({"type": "Request", "code": "DeleteFilesFromUploadList", "files_ul": []})"));
  EXPECT_EQ(client.Logged("WARNING"),
            (std::vector<std::string>{"Invalid request / no files to delete",
                                      "Invalid request / no files to delete"}));
}

TEST(UploadList, DeleteNotificationTooLargeForTheChannelPutsEntriesBack) {
  FakeWebClient client;
  CFileList files;
  const std::string folder = "/Volumes/Archive/" + std::string(120, 'd') + "/";
  for (int i = 0; i < 8000; ++i) {
    char name[16];
    snprintf(name, sizeof name, "%05d", i);
    files.emplace(xwstring_pair((folder + name).c_str(), "rel"), 4096.0);
  }
  ASSERT_TRUE(client.AddFiles(files));
  client.frames.clear();

  CFileList remove = files;
  EXPECT_FALSE(client.DeleteFiles(remove));
  EXPECT_TRUE(client.frames.empty());
  EXPECT_EQ(client.UploadList().size(), 8000u);
  EXPECT_EQ(client.Logged("WARNING"), (std::vector<std::string>{"Failed to notify browser"}));
}

TEST(UploadList, QueuedPathsAreConfirmedThenExpanded) {
  FakeWebClient client;
  const std::wstring request =
      LR"({"type": "Request", "code": "QueueFilesForUpload", "files_ul": [)"
      LR"({"file_path": "/u/Doc"}, {"file_path": "/U/doc", "relative_path": "x"},)"
      LR"( {"file_path": "/a"}]})";
  EXPECT_TRUE(client.Execute(request));
  const std::vector<std::string> paths = {"/a", "/u/Doc"};
  EXPECT_EQ(client.verified, (std::vector<std::vector<std::string>>{paths}));
  EXPECT_EQ(client.expanded, (std::vector<std::vector<std::string>>{paths}));

  client.confirm = false;
  EXPECT_TRUE(client.Execute(request));
  EXPECT_EQ(client.verified.size(), 2u);
  EXPECT_EQ(client.expanded.size(), 1u);

  EXPECT_FALSE(
      client.Execute(LR"({"type": "Request", "code": "QueueFilesForUpload", "files_ul": {}})"));
  EXPECT_EQ(client.Logged("WARNING"),
            (std::vector<std::string>{"Invalid request / no files to queue"}));
  EXPECT_TRUE(client.frames.empty());
}

}  // namespace
