#include "mac/ItemEnumeration.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <json-c/json.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "Assistant/Mac/Cocoa/MacFileOperations/FileQueries.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileHandle.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/UniqueFd.h"
#include "Common/testing/FakeWebClient.h"
#include "mac/QXWebClientBaseMac.h"
#include "mac/SkippedItems.h"
#include "tests/support/TestTree.h"

using MacFileOperations::TestTree;

namespace {

// The records as plain (file path, relative path) -> size, for comparing.
using Records = std::map<std::pair<std::string, std::string>, double>;

Records Plain(const CFileList& list) {
  Records records;
  for (const auto& entry : list) {
    records[{static_cast<const char*>(entry.first.first),
             static_cast<const char*>(entry.first.second)}] = entry.second;
  }
  return records;
}

int Expand(const std::string& path, CFileList& list, CSkippedItems* skipped = nullptr) {
  return EnumerateFiles(xwstring(path.c_str()), std::wstring(),
                        CQXWebClientBaseMac::EnumerationCallback, &list, skipped);
}

using LogRecords = std::vector<std::pair<std::string, std::string>>;

std::vector<std::string> Warnings(const LogRecords& records) {
  std::vector<std::string> texts;
  for (const auto& record : records) {
    if (record.first == "WARNING")
      texts.push_back(record.second);
  }
  return texts;
}

TEST(FolderExpansion, PickedFileAndNestedFolders) {
  TestTree tree;
  tree.Folder("Photos/Trip");
  tree.Folder("Photos/Empty/Deeper");
  tree.File("Photos/a.jpg", "aaaa");
  tree.File("Photos/Trip/b.jpg", "bb");
  tree.File("Photos/.hidden", "h");
  tree.File("notes.txt", "n");
  CFileList list;
  EXPECT_EQ(Expand(tree.Path("Photos"), list), 0);
  EXPECT_EQ(Expand(tree.Path("notes.txt"), list), 0);
  EXPECT_EQ(Plain(list), (Records{{{tree.Path("Photos/a.jpg"), "Photos"}, 4},
                                  {{tree.Path("Photos/Trip/b.jpg"), "Photos/Trip"}, 2},
                                  {{tree.Path("Photos/.hidden"), "Photos"}, 1},
                                  {{tree.Path("notes.txt"), ""}, 1}}));
  // The empty relative path is present text, not absent.
  for (const auto& entry : list)
    EXPECT_NE(static_cast<const char*>(entry.first.second), nullptr);

  CFileList empty;
  EXPECT_EQ(Expand(tree.Path("Photos/Empty"), empty), 0);
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(Expand(tree.Path("vanished"), empty), 0);
  EXPECT_EQ(Expand(tree.Path("Photos") + "/", empty), 0) << "a trailing slash names the folder";
  EXPECT_EQ(empty.size(), 3u);
  EXPECT_EQ(empty.begin()->first.second.length(), static_cast<int>(strlen("Photos")));
}

TEST(FolderExpansion, LinksAreFollowedToTheirTargets) {
  TestTree tree;
  tree.Folder("Pick/Inner");
  tree.Folder("Elsewhere/Album");
  tree.File("Elsewhere/target.txt", "target");
  tree.File("Elsewhere/Album/photo.jpg", "photo!");
  tree.File("Elsewhere/other.txt", "other");
  tree.Link("Pick/Inner/file-link", "../../Elsewhere/target.txt");
  tree.Link("Pick/Inner/through", "../album-link/../other.txt");
  tree.Link("Pick/album-link", tree.Path("Elsewhere/Album"));
  tree.Link("Pick/dangling", "nowhere");
  tree.Link("top-link", "Pick");
  CFileList list;
  EXPECT_EQ(Expand(tree.Path("Pick"), list), 0);
  // ".." after a link leaves the link's target, as the kernel reads it.
  EXPECT_EQ(Plain(list), (Records{{{tree.Path("Elsewhere/target.txt"), "Pick/Inner"}, 6},
                                  {{tree.Path("Elsewhere/other.txt"), "Pick/Inner"}, 5},
                                  {{tree.Path("Elsewhere/Album/photo.jpg"), "Pick/Album"}, 6}}));

  // A picked link is walked under its target's name, and "." and ".." never
  // reach a record.
  for (const char* picked : {"top-link", "Pick/./Inner/.."}) {
    CFileList again;
    EXPECT_EQ(Expand(tree.Path(picked), again), 0);
    EXPECT_EQ(Plain(again), Plain(list)) << picked;
  }

  CFileList broken;
  EXPECT_EQ(Expand(tree.Path("Pick/dangling"), broken), 0);
  EXPECT_TRUE(broken.empty());
}

TEST(FolderExpansion, LinkCyclesEndAndChainsTooLongAreSkipped) {
  TestTree tree;
  tree.Folder("Loop/Sub");
  tree.File("Loop/Sub/f", "f");
  tree.Link("Loop/Sub/back", "..");
  tree.Link("Loop/Sub/self", ".");
  tree.Link("Loop/up", tree.Root());
  tree.Link("Loop/x", "y");
  tree.Link("Loop/y", "x");
  tree.File("end", "e");
  std::string previous = "end";
  for (int i = 1; i <= 11; ++i) {
    const std::string name = "Loop/chain" + std::to_string(i);
    tree.Link(name, i == 1 ? tree.Path("end") : tree.Path(previous));
    previous = name;
  }
  CFileList list;
  EXPECT_EQ(Expand(tree.Path("Loop"), list), 0);
  // Through "up" the walk sees the tree's root once more: "end" appears under
  // its name, and Loop is not entered again. chain1..chain10 reach "end";
  // chain11 needs eleven steps and is skipped.
  const std::string rootName = tree.Root().substr(tree.Root().rfind('/') + 1);
  EXPECT_EQ(Plain(list), (Records{{{tree.Path("Loop/Sub/f"), "Loop/Sub"}, 1},
                                  {{tree.Path("end"), "Loop"}, 1},
                                  {{tree.Path("end"), "Loop/" + rootName}, 1}}));
}

TEST(FolderExpansion, AFolderReachedAgainUnderTheSameRelativePathAddsNothingNew) {
  // d0..d30 each hold a file, links a and b to the next folder (2^30 ways
  // down) and a link back to d0 that is never followed.
  constexpr int kDepth = 30;
  TestTree tree;
  Records expected;
  std::string relative;
  for (int i = 0; i <= kDepth; ++i) {
    const std::string name = "d" + std::to_string(i), next = "d" + std::to_string(i + 1);
    tree.Folder(name);
    tree.File(name + "/f", name);
    tree.Link(name + "/top", "../d0");
    tree.Link(name + "/a", "../" + next);
    tree.Link(name + "/b", tree.Path(next));
    relative += (i == 0 ? "" : "/") + name;
    expected[{tree.Path(name + "/f"), relative}] = static_cast<double>(name.size());
  }
  CFileList list;
  EXPECT_EQ(Expand(tree.Path("d0"), list), 0);
  EXPECT_EQ(Plain(list), expected);

  // S is reached twice as T/M/S, first below Q1/M, then below Q2/M. Its link
  // back to Q1/M is not followed the first time, so the second walk is done
  // and does follow it.
  for (const char* folder : {"T", "Q1/M", "Q2/M", "S"})
    tree.Folder(folder);
  tree.File("Q1/M/f", "1");
  tree.File("S/s", "s");
  for (const auto& [link, target] : {std::pair{"T/L1", "../Q1/M"},
                                     {"T/L2", "../Q2/M"},
                                     {"Q1/M/z", "../../S"},
                                     {"Q2/M/z", "../../S"},
                                     {"S/back", "../Q1/M"}}) {
    tree.Link(link, target);
  }
  CFileList twice;
  EXPECT_EQ(Expand(tree.Path("T"), twice), 0);
  EXPECT_EQ(Plain(twice), (Records{{{tree.Path("Q1/M/f"), "T/M"}, 1},
                                   {{tree.Path("Q1/M/f"), "T/M/S/M"}, 1},
                                   {{tree.Path("S/s"), "T/M/S"}, 1}}));
}

TEST(FolderExpansion, OddNamesAndCaseTwins) {
  TestTree tree;
  tree.Folder("Odd");
  tree.File("Odd/Same.txt", "1");
  tree.File("Odd/same.TXT", "22");
  tree.File("Odd/" + std::string(255, 'L'), "");
  CFileList list;
  EXPECT_EQ(Expand(tree.Path("Odd"), list), 0);
  EXPECT_EQ(list.size(), 2u) << "names differing only in case make one record";
  const Records records = Plain(list);
  EXPECT_EQ(records.count({tree.Path("Odd/" + std::string(255, 'L')), "Odd"}), 1u);
  // Of two case twins the one listed first is kept, as a walk in listing
  // order would keep it.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(tree.Path("Odd")))
    names.push_back(entry.path().filename().string());
  const bool upperFirst = *std::find_if(names.begin(), names.end(), [](const std::string& name) {
    return name == "Same.txt" || name == "same.TXT";
  }) == "Same.txt";
  const Records::key_type kept{tree.Path(upperFirst ? "Odd/Same.txt" : "Odd/same.TXT"), "Odd"};
  ASSERT_EQ(records.count(kept), 1u);
  EXPECT_EQ(records.at(kept), upperFirst ? 1 : 2);
}

TEST(FolderExpansion, RefusedFilesGiveStatusOnlyWhenPicked) {
  TestTree tree;
  tree.Folder("Folder");
  tree.File("Folder/file", "x");
  CFileList list;
  EXPECT_EQ(Expand(tree.Path("Folder/file"), list), 0);
  EXPECT_EQ(Expand(tree.Path("Folder/file"), list), kEnumerationFileNotAdded);
  EXPECT_EQ(Expand(tree.Path("Folder"), list), 0);
  EXPECT_EQ(Expand(std::string(), list), 0);
  EXPECT_EQ(list.size(), 2u);
}

// Permission bits do not stop root, so as root the walk runs in a child that
// has become an unprivileged user.
TEST(FolderExpansion, FoldersThatCannotBeReadAreLeftOutWithAWarning) {
  TestTree tree;
  for (const auto& [name, mode] :
       {std::pair{"Open/Closed", 0}, {"Open/ExecOnly", 0111}, {"Open/ListOnly", 0444}}) {
    tree.Folder(name);
    tree.File(std::string(name) + "/x", "x");
    ASSERT_EQ(chmod(tree.Path(name).c_str(), mode), 0);
  }
  tree.File("Open/visible", "v");
  ASSERT_EQ(chmod(tree.Root().c_str(), 0755), 0);
  const Records expected{{{tree.Path("Open/visible"), "Open"}, 1}};
  const std::vector<std::string> expectedWarnings{
      "Left out the folder '" + tree.Path("Open/Closed") +
          "' and everything in it: Permission denied",
      "Left out the folder '" + tree.Path("Open/ExecOnly") +
          "' and everything in it: Permission denied",
      "Left out '" + tree.Path("Open/ListOnly/x") + "': Permission denied",
      "Left out '" + tree.Path("Open/Closed/x") + "': Permission denied"};
  const auto walk = [&] {
    LogRecords log;
    testing_support::RecordingLogger logger(log);
    CSkippedItems skipped(&logger);
    CFileList list;
    const int status = Expand(tree.Path("Open"), list, &skipped) +
                       Expand(tree.Path("Open/Closed/x"), list, &skipped);
    return status == 0 && Plain(list) == expected && Warnings(log) == expectedWarnings;
  };
  if (geteuid() != 0) {
    EXPECT_TRUE(walk());
    return;
  }
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const uid_t nobody = 65534;
    if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)
      _exit(3);
    _exit(walk() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Records every frame the client would send to the browser.
class RecordingClient : public CQXWebClientBaseMac {
 public:
  bool NotifyBrowser(const char* text) override {
    frames.emplace_back(text);
    return true;
  }
  void Log(const char*) override {}
  void CreateLogger() override { mLogger = new testing_support::RecordingLogger(log); }

  // (code, text or entry count) of each frame, in order.
  std::vector<std::pair<std::string, std::string>> Summary() const {
    std::vector<std::pair<std::string, std::string>> summary;
    for (const auto& frame : frames) {
      json_object* message = json_tokener_parse(frame.c_str());
      json_object* code = json_object_object_get(message, "code");
      json_object* text = json_object_object_get(message, "text");
      json_object* files = json_object_object_get(message, "files_ul");
      summary.emplace_back(json_object_get_string(code),
                           text != nullptr ? json_object_get_string(text)
                                           : std::to_string(json_object_array_length(files)));
      json_object_put(message);
    }
    return summary;
  }

  std::vector<std::string> frames;
  LogRecords log;
};

TEST(AddFilesFromItems, AliasAndTargetPickedTogether) {
  TestTree tree;
  tree.Folder("Photos/Trip");
  tree.File("Photos/a.jpg", "a");
  tree.File("Photos/Trip/b.jpg", "b");
  tree.File("target.txt", "t");
  tree.Link("alias", "target.txt");
  RecordingClient client;
  json_xwstringset items;
  items.insert(xwstring(tree.Path("Photos").c_str()));
  items.insert(xwstring(tree.Path("alias").c_str()));
  items.insert(xwstring(tree.Path("target.txt").c_str()));
  items.insert(xwstring(tree.Path("gone").c_str()));
  EXPECT_TRUE(client.AddFiles(items));

  using Frame = std::pair<std::string, std::string>;
  EXPECT_EQ(client.Summary(),
            (std::vector<Frame>{
                {"Error", "Could not add '" + tree.Path("target.txt") +
                              "' for upload - an operating system error has occurred (-666)"},
                {"FilesAddedToUploadList", "3"}}));
  EXPECT_EQ(Plain(client.UploadList()),
            (Records{{{tree.Path("Photos/a.jpg"), "Photos"}, 1},
                     {{tree.Path("Photos/Trip/b.jpg"), "Photos/Trip"}, 1},
                     {{tree.Path("target.txt"), ""}, 1}}));
}

TEST(AddFilesFromItems, ItemsLeftOutAreLoggedOneByOneUpToACap) {
  TestTree tree;
  tree.Folder("A");
  tree.File("A/good", "g");
  tree.File("A/bad\xff\xfename.txt");
  // Names of 255 bytes down to where one more makes the path too long.
  std::string deep = tree.Path("B");
  while (deep.size() + 256 < PATH_MAX)
    deep += "/" + std::string(255, 'd');
  tree.Folder(deep.substr(tree.Root().size() + 1));
  const std::string longFile = deep + "/" + std::string(255, 'f');
  const std::string longFolder = deep + "/" + std::string(255, 'g');
  MacFileOperations::UniqueFd deepFd(open(deep.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  const char* const longName = longFile.c_str() + deep.size() + 1;
  const char* const longFolderName = longFolder.c_str() + deep.size() + 1;
  ASSERT_EQ(close(openat(deepFd.get(), longName, O_WRONLY | O_CREAT | O_CLOEXEC, 0644)), 0);
  ASSERT_EQ(mkdirat(deepFd.get(), longFolderName, 0755), 0);
  tree.Folder("C");
  for (size_t i = 0; i < CSkippedItems::kLoggedItems; ++i)
    tree.File("C/\xff" + std::to_string(i));

  RecordingClient client;
  client.CreateLogger();
  json_xwstringset items;
  for (const char* item : {"A", "B", "C"})
    items.insert(xwstring(tree.Path(item).c_str()));
  EXPECT_TRUE(client.AddFiles(items));
  // The tree's removal cannot reach paths this long.
  EXPECT_EQ(unlinkat(deepFd.get(), longName, 0), 0);
  EXPECT_EQ(unlinkat(deepFd.get(), longFolderName, AT_REMOVEDIR), 0);

  EXPECT_EQ(Plain(client.UploadList()), (Records{{{tree.Path("A/good"), "A"}, 1}}));
  const auto warnings = Warnings(client.log);
  ASSERT_EQ(warnings.size(), CSkippedItems::kLoggedItems + 1);
  EXPECT_EQ(warnings[0],
            "Left out '" + tree.Path("A/bad\\xFF\\xFEname.txt") + "': its path is not valid UTF-8");
  // A long path is shown by its start and its end.
  const auto shown = [](const std::string& path) {
    return path.substr(0, 200) + "\u2026" + path.substr(path.size() - 400);
  };
  const auto tooLong = [](const std::string& path) {
    return "its path of " + std::to_string(path.size()) +
           " bytes is longer than the system allows (4095)";
  };
  EXPECT_EQ(warnings[1], "Left out '" + shown(longFile) + "': " + tooLong(longFile));
  EXPECT_EQ(warnings[2], "Left out the folder '" + shown(longFolder) +
                             "' and everything in it: " + tooLong(longFolder));
  EXPECT_EQ(warnings.back(), "Left out 3 more items, not logged one by one");
}

TEST(AddFilesFromItems, NothingFoundStillHandsOverTheEmptyList) {
  TestTree tree;
  tree.Folder("Empty");
  RecordingClient client;
  json_xwstringset items;
  items.insert(xwstring(tree.Path("Empty").c_str()));
  EXPECT_FALSE(client.AddFiles(items));
  EXPECT_TRUE(client.frames.empty());
  EXPECT_TRUE(client.UploadList().empty());
}

std::string PathFromURL(RecordingClient& client, const char* url, bool* isNull) {
  CFStringRef path = reinterpret_cast<CFStringRef>(1);
  client.GetFSItemFullPosixPathFromURLString(url, &path);
  *isNull = path == nullptr;
  std::string text = CFStringGetUTF8(path);
  WC_CFReleaseIfNotNULL(path);
  return text;
}

TEST(URLPaths, FileURLsBecomeResolvedPaths) {
  TestTree tree;
  tree.Folder("My Folder");
  const std::string name = "caf\xc3\xa9 1.txt";
  tree.File("My Folder/" + name, "c");
  tree.Link("link", "My Folder/" + name);
  tree.Link("broken", "missing");
  RecordingClient client;
  bool isNull = true;
  std::string root(PATH_MAX, '\0');
  ASSERT_NE(realpath(tree.Root().c_str(), root.data()), nullptr);
  root.resize(strlen(root.c_str()));
  const std::string url = "file://" + tree.Root() + "/My%20Folder/caf%C3%A9%201.txt";
  EXPECT_EQ(PathFromURL(client, url.c_str(), &isNull), root + "/My Folder/" + name);
  EXPECT_EQ(PathFromURL(client, ("file://" + tree.Root() + "/link").c_str(), &isNull),
            root + "/My Folder/" + name);
  EXPECT_EQ(PathFromURL(client, ("file://" + tree.Root() + "/broken").c_str(), &isNull),
            root + "/broken")
      << "a link that leads nowhere stands for itself";
  EXPECT_EQ(PathFromURL(client, ("file://" + tree.Root() + "/missing").c_str(), &isNull), "");
  EXPECT_FALSE(isNull) << "no item gives an empty path, not none";
  EXPECT_EQ(PathFromURL(client, "https://example.invalid/x", &isNull), "");
  EXPECT_FALSE(isNull);
  EXPECT_EQ(PathFromURL(client, "file:///not a url", &isNull), "");
  EXPECT_TRUE(isNull);
  EXPECT_EQ(PathFromURL(client, nullptr, &isNull), "");
  EXPECT_TRUE(isNull);
}

}  // namespace
