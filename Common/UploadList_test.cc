#include <gtest/gtest.h>

#include <cstdio>

#include "Common/testing/FakeWebClient.h"

namespace {

using namespace testing_support;

struct AddCase {
  Strings listed, adding, admitted, frames;
};

// Admission goes in key order; an entry already listed in another case is
// dropped, and so is every entry once the limit of 3 is reached.
TEST(UploadList, AddAdmitsNewEntriesInKeyOrderUpToTheLimit) {
  const std::string added = "FilesAddedToUploadList ",
                    full = "Error " + ErrorText(kErrQueueLimitReached, 3);
  const std::string tooLong = "/d/" + std::string(256, 'n');
  const AddCase cases[] = {
      {{"/q/b"}, {"/q/B", "/q/c", "/q/A"}, {"/q/A", "/q/c"}, {added + "/q/A,/q/c"}},
      {{"/q/b"}, {"/Q/B"}, {}, {}},
      {{"/q/1", "/q/2"}, {"/n/d", "/n/b", "/n/C", "/n/a"}, {"/n/a"}, {added + "/n/a", full}},
      {{"/q/1", "/q/2", "/q/3"}, {"/n/e"}, {}, {full}},
      {{},
       {tooLong, "/d/ok"},
       {"/d/ok"},
       {"Error " + ErrorText(kErrFileNameTooLong, tooLong.c_str(), 255), added + "/d/ok"}},
  };
  for (const AddCase& c : cases) {
    FakeWebClient client;
    CFileList listed = List(c.listed), files = List(c.adding);
    client.AddFiles(listed);
    client.Execute(
        LR"({"type": "Request", "code": "SetParameter", "name": "FileTransferLimit", "value": 3})");
    client.frames.clear();
    EXPECT_EQ(client.AddFiles(files), !c.admitted.empty()) << c.adding[0];
    EXPECT_EQ(Paths(files), c.admitted) << c.adding[0];
    EXPECT_EQ(client.Summaries(), c.frames) << c.adding[0];
    EXPECT_EQ(client.UploadList().size(), c.listed.size() + c.admitted.size()) << c.adding[0];
  }
}

// 2500 entries in an order unlike their keys', in alternating case.
CFileList Numbered() {
  Strings paths;
  for (int i = 0; i < 2500; ++i) {
    char path[32];
    snprintf(path, sizeof path, i % 2 ? "/F/%04d" : "/f/%04d", (i * 7919) % 2500);
    paths.emplace_back(path);
  }
  return List(paths);
}

// Entries go out in key order, a thousand to a notification: the second
// failing takes out exactly the second thousand.
TEST(UploadList, EntriesTheBrowserWasNotToldOfAreTakenOutAgain) {
  FakeWebClient client;
  client.failNotify = [](int call) { return call == 2; };
  CFileList files = Numbered();
  EXPECT_TRUE(client.AddFiles(files)) << "the last chunk got through";
  Strings kept = Paths(files);
  kept.erase(kept.begin() + 1000, kept.begin() + 2000);
  EXPECT_EQ(Paths(client.UploadList()), kept);

  client.failNotify = [](int) { return true; };
  CFileList one = List({"/x"}), removed = List({kept[0], kept[1400]});
  EXPECT_FALSE(client.AddFiles(one));
  EXPECT_FALSE(client.DeleteFiles(removed));
  EXPECT_EQ(Paths(client.UploadList()), kept);
}

TEST(UploadList, FileNameLengthIsMeasuredComposed) {
  const auto repeat = [](const std::string& unit, int n) {
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
      {std::string(5000, 'x'), true},
      {std::string(5000, 'x') + "/", true},
  };
  FakeWebClient client;
  for (const auto& [name, fits] : names)
    EXPECT_EQ(client.CheckFilenameLength(xwstring(name.c_str())), fits) << name.size();
}

}  // namespace
