#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Common/testing/FakeWebClient.h"

namespace {

using namespace testing_support;

void SetLimit(FakeWebClient& client, int limit) {
  ASSERT_TRUE(
      client.Execute(LR"({"type": "Request", "code": "SetParameter", "name":)"
                     LR"( "FileTransferLimit", "value": )" +
                     std::to_wstring(limit) + L"}"));
}

const std::string kLongName = "/d/" + std::string(256, 'n');

struct AddCase {
  const char* what;
  Strings listed;
  int limit;
  Strings adding;
  bool result;
  Strings admitted;
  Strings frames;
};

TEST(UploadList, AddAdmitsNewEntriesInKeyOrderUpToTheLimit) {
  const std::string full = ErrorText(kErrQueueLimitReached, 3);
  const AddCase cases[] = {
      {"key order, case twin of a listed entry",
       {"/q/b"},
       9,
       {"/q/B", "/q/c", "/q/A"},
       true,
       {"/q/A", "/q/c"},
       {"FilesAddedToUploadList /q/A,/q/c"}},
      {"nothing new", {"/q/b"}, 9, {"/Q/B"}, false, {}, {}},
      {"limit reached midway",
       {"/q/1", "/q/2"},
       3,
       {"/n/d", "/n/b", "/n/C", "/n/a"},
       true,
       {"/n/a"},
       {"FilesAddedToUploadList /n/a", "Error " + full}},
      {"list full", {"/q/1", "/q/2", "/q/3"}, 3, {"/n/e"}, false, {}, {"Error " + full}},
      {"name too long",
       {},
       9,
       {kLongName, "/d/ok"},
       true,
       {"/d/ok"},
       {"Error " + ErrorText(kErrFileNameTooLong, kLongName.c_str(), 255),
        "FilesAddedToUploadList /d/ok"}},
  };
  for (const AddCase& c : cases) {
    FakeWebClient client;
    CFileList listed = List(c.listed);
    client.AddFiles(listed);
    SetLimit(client, c.limit);
    client.frames.clear();
    CFileList files = List(c.adding);
    EXPECT_EQ(client.AddFiles(files), c.result) << c.what;
    EXPECT_EQ(Paths(files), c.admitted) << c.what;
    EXPECT_EQ(client.Summaries(), c.frames) << c.what;
    EXPECT_EQ(client.UploadList().size(), c.listed.size() + c.admitted.size()) << c.what;
  }
}

CFileList Numbered(int count) {
  Strings paths;
  for (int i = 0; i < count; ++i) {
    char path[32];
    // Alternating case must not disturb the order.
    snprintf(path, sizeof path, i % 2 ? "/F/%04d" : "/f/%04d", (i * 7919) % count);
    paths.emplace_back(path);
  }
  return List(paths);
}

TEST(UploadList, ManyEntriesAreNotifiedInChunksOfAThousandInKeyOrder) {
  FakeWebClient client;
  CFileList files = Numbered(2500);
  EXPECT_TRUE(client.AddFiles(files));
  std::vector<size_t> sizes;
  std::string notified;
  for (const std::string& summary : client.Summaries()) {
    sizes.push_back(std::count(summary.begin(), summary.end(), ',') + 1);
    notified += (notified.empty() ? "" : ",") + summary.substr(summary.find(' ') + 1);
  }
  EXPECT_EQ(sizes, (std::vector<size_t>{1000, 1000, 500}));
  std::string expected;
  for (const std::string& path : Paths(files))
    expected += (expected.empty() ? "" : ",") + path;
  EXPECT_EQ(notified, expected);
}

TEST(UploadList, EntriesTheBrowserWasNotToldOfAreTakenOutAgain) {
  FakeWebClient client;
  client.failNotify = [](int call) { return call == 2; };
  CFileList files = Numbered(2500);
  EXPECT_TRUE(client.AddFiles(files)) << "the last chunk got through";
  const Strings all = Paths(files);
  Strings kept(all.begin(), all.begin() + 1000);
  kept.insert(kept.end(), all.begin() + 2000, all.end());
  EXPECT_EQ(Paths(client.UploadList()), kept);

  client.failNotify = [](int) { return true; };
  CFileList one = List({"/x"});
  EXPECT_FALSE(client.AddFiles(one));
  CFileList removed = List({all[0], all[2400]});
  EXPECT_FALSE(client.DeleteFiles(removed));
  EXPECT_EQ(Paths(client.UploadList()), kept);
}

TEST(UploadList, FileNameLengthIsMeasuredComposed) {
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
  FakeWebClient client;
  for (const auto& [name, fits] : names)
    EXPECT_EQ(client.CheckFilenameLength(xwstring(name.c_str())), fits) << name.size();
}

TEST(UploadList, DeleteRemovesEntriesInAnyCaseAndNotifiesTheRequestsText) {
  FakeWebClient client;
  CFileList files = List({"/a/One", "/a/two", "/a/three"});
  ASSERT_TRUE(client.AddFiles(files));
  client.frames.clear();
  CFileList remove = List({"/A/ONE", "/a/missing"});
  EXPECT_TRUE(client.DeleteFiles(remove));
  EXPECT_TRUE(
      client.Execute(LR"({"type": "Request", "code": "DeleteFilesFromUploadList",)"
                     LR"( "files_ul": [{"file_path": "/A/TWO"}]})"));
  EXPECT_EQ(client.Summaries(),
            (Strings{"FilesDeletedFromUploadList /A/ONE", "FilesDeletedFromUploadList /A/TWO"}));
  EXPECT_EQ(Paths(client.UploadList()), Strings{"/a/three"});

  CFileList none = List({"/a/missing"});
  EXPECT_FALSE(client.DeleteFiles(none));
  EXPECT_FALSE(client.Execute(LR"({"type": "Request", "code": "DeleteFilesFromUploadList"})"));
  EXPECT_FALSE(client.Execute(
      LR"({"type": "Request", "code": "DeleteFilesFromUploadList", "files_ul": []})"));
  EXPECT_EQ(client.frames.size(), 2u);
}

TEST(UploadList, QueuedPathsAreExpandedOnlyOnceConfirmed) {
  FakeWebClient client;
  const std::wstring request =
      LR"({"type": "Request", "code": "QueueFilesForUpload", "files_ul": [)"
      LR"({"file_path": "/u/Doc"}, {"file_path": "/U/doc", "relative_path": "x"},)"
      LR"( {"file_path": "/a"}]})";
  EXPECT_TRUE(client.Execute(request));
  client.confirm = false;
  EXPECT_TRUE(client.Execute(request));
  const Strings paths = {"/a", "/u/Doc"};
  EXPECT_EQ(client.verified, (std::vector<Strings>{paths, paths}));
  EXPECT_EQ(client.expanded, (std::vector<Strings>{paths}));

  EXPECT_FALSE(
      client.Execute(LR"({"type": "Request", "code": "QueueFilesForUpload", "files_ul": {}})"));
  EXPECT_EQ(client.verified.size(), 2u);
}

}  // namespace
