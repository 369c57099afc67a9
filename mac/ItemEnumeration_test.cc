#include "mac/ItemEnumeration.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "Assistant/Mac/Cocoa/MacFileOperations/FileQueries.h"
#include "Common/testing/FakeWebClient.h"
#include "Common/testing/TestTree.h"
#include "mac/QXWebClientBaseMac.h"
#include "mac/SkippedItems.h"

namespace {

using MacFileOperations::TestTree;
using namespace testing_support;
// (file path, relative path) -> size
using Records = std::map<std::pair<std::string, std::string>, double>;

class MacClient : public Recording<CQXWebClientBaseMac> {
  void Log(const char*) override {}
};

// Records a file, after a pause at the first one of a walk that asks for it:
// the read-ahead then has time to read the subfolders, which the walk would
// otherwise mostly read itself in trees this small. Either way the records
// must be the same; the pause makes sure the read-ahead's way is taken.
bool gPauseAtFirstFile = false;

bool PausingCallback(const MacFileOperations::QXFileHandle& file, const std::wstring& relativePath,
                     CFileList* list) {
  if (gPauseAtFirstFile && list->empty())
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return CQXWebClientBaseMac::EnumerationCallback(file, relativePath, list);
}

Records Expand(const std::string& path, CWalkProgress* progress = nullptr, bool pause = false) {
  CFileList list;
  gPauseAtFirstFile = pause;
  EXPECT_EQ(EnumerateFiles(xwstring(path.c_str()), std::wstring(), PausingCallback, &list, nullptr,
                           progress),
            0)
      << path;
  Records records;
  for (const auto& [key, size] : list)
    records[{static_cast<const char*>(key.first), static_cast<const char*>(key.second)}] = size;
  return records;
}

// Hidden files count; links are followed to their targets, each target
// recorded under the link's place; "." and ".." are read as the kernel reads
// them; a folder already being walked is not entered again.
TEST(FolderExpansion, WalksFoldersAndFollowsLinksToTheirTargets) {
  TestTree tree;
  for (const char* folder :
       {"Photos/Trip", "Photos/Empty/Deeper", "Pick/Inner", "Elsewhere/Album", "Loop/Sub"})
    tree.Folder(folder);
  for (const auto& [file, content] : {std::pair{"Photos/a.jpg", "aaaa"},
                                      {"Photos/Trip/b.jpg", "bb"},
                                      {"Photos/.hidden", "h"},
                                      {"notes.txt", "n"},
                                      {"Elsewhere/target.txt", "target"},
                                      {"Elsewhere/other.txt", "other"},
                                      {"Elsewhere/Album/photo.jpg", "photo!"},
                                      {"Loop/Sub/f", "f"},
                                      {"end", "e"}})
    tree.File(file, content);
  for (const auto& [link, target] :
       {std::pair{"Pick/Inner/file-link", "../../Elsewhere/target.txt"},
        {"Pick/Inner/through", "../album-link/../other.txt"},
        {"Pick/dangling", "nowhere"},
        {"top-link", "Pick"},
        {"Loop/Sub/back", ".."}})
    tree.Link(link, target);
  tree.Link("Pick/album-link", tree.Path("Elsewhere/Album"));
  // chain1..chain10 reach "end"; chain11 needs one step too many.
  for (int i = 1; i <= 11; ++i)
    tree.Link("Loop/chain" + std::to_string(i),
              tree.Path(i == 1 ? "end" : "Loop/chain" + std::to_string(i - 1)));

  const Records photos{{{tree.Path("Photos/a.jpg"), "Photos"}, 4},
                       {{tree.Path("Photos/Trip/b.jpg"), "Photos/Trip"}, 2},
                       {{tree.Path("Photos/.hidden"), "Photos"}, 1}};
  const Records pick{{{tree.Path("Elsewhere/target.txt"), "Pick/Inner"}, 6},
                     {{tree.Path("Elsewhere/other.txt"), "Pick/Inner"}, 5},
                     {{tree.Path("Elsewhere/Album/photo.jpg"), "Pick/Album"}, 6}};
  const std::pair<std::string, Records> cases[] = {
      {"Photos", photos},
      {"Photos/", photos},
      {"notes.txt", {{{tree.Path("notes.txt"), ""}, 1}}},
      {"Pick", pick},
      {"top-link", pick},
      {"Loop", {{{tree.Path("Loop/Sub/f"), "Loop/Sub"}, 1}, {{tree.Path("end"), "Loop"}, 1}}},
      {"Loop/chain10", {{{tree.Path("end"), ""}, 1}}},
      {"Loop/chain11", {}},
  };
  for (const auto& [picked, records] : cases)
    EXPECT_EQ(Expand(tree.Path(picked)), records) << picked;
}

TEST(FolderExpansion, AFolderReachedAgainUnderTheSameRelativePathAddsNothingNew) {
  // d0..d30 each hold a file, links a and b to the next folder (2^30 ways
  // down) and a link back to d0 that is never followed.
  TestTree tree;
  Records expected;
  std::string relative;
  for (int i = 0; i <= 30; ++i) {
    const std::string name = "d" + std::to_string(i), next = "d" + std::to_string(i + 1);
    tree.Folder(name);
    tree.File(name + "/f", name);
    tree.Link(name + "/top", "../d0");
    tree.Link(name + "/a", "../" + next);
    tree.Link(name + "/b", tree.Path(next));
    relative += (i == 0 ? "" : "/") + name;
    expected[{tree.Path(name + "/f"), relative}] = double(name.size());
  }
  EXPECT_EQ(Expand(tree.Path("d0")), expected);
}

// Subfolders are read ahead while the walk is busy with the entries before
// them; the walk must still get each folder's own entries when it passes
// some by (here "b", walked already through the link before it).
TEST(FolderExpansion, FoldersReadAheadAreTheOnesTheWalkEnters) {
  TestTree tree;
  Records expected;
  const auto file = [&](const std::string& path, const std::string& relative) {
    tree.File(path, path);
    expected[{tree.Path(path), relative}] = double(path.size());
  };
  for (const char* folder : {"X/b", "X/c/sub", "X/d"})
    tree.Folder(folder);
  tree.Link("X/a-link", "b");
  file("X/b/fb", "X/b");
  file("X/c/fc", "X/c");
  file("X/c/sub/g", "X/c/sub");
  file("X/d/fd", "X/d");
  EXPECT_EQ(Expand(tree.Path("X"), nullptr, true), expected);
}

// Every entry listed or visited counts, whoever read it, and the walk stops
// at the report that says so: here the 128th count, which is A's 18th file
// (R lists 6 entries and visits 2, A lists 102).
TEST(FolderExpansion, AWalkStopsWhereItsProgressSaysSo) {
  struct StopAtSecondReport final : CWalkProgress {
    int reports = 0;
    bool Report() override { return ++reports < 2; }
  } progress;
  TestTree tree;
  Records expected;
  // R's first entry is the file "0", at whose record the walk pauses.
  tree.Folder("R");
  expected[{tree.File("R/0", "x"), "R"}] = 1;
  for (const std::string folder : {"R/A", "R/B", "R/C"}) {
    tree.Folder(folder);
    for (int index = 100; index < 200; ++index) {
      const std::string path = tree.File(folder + "/f" + std::to_string(index), "x");
      if (folder == "R/A" && index < 117)
        expected[{path, folder}] = 1;
    }
  }
  ASSERT_EQ(CWalkProgress::kEntriesPerReport, 64u);
  EXPECT_EQ(Expand(tree.Path("R"), &progress, true), expected);
  EXPECT_EQ(progress.reports, 2);
}

TEST(AddFilesFromItems, AFilePickedTwiceIsReportedAndTheRestNotified) {
  TestTree tree;
  tree.Folder("Photos");
  tree.File("Photos/a.jpg", "a");
  tree.File("target.txt", "t");
  tree.Link("alias", "target.txt");
  MacClient client;
  json_xwstringset items;
  for (const char* item : {"Photos", "alias", "target.txt", "gone"})
    items.insert(xwstring(tree.Path(item).c_str()));
  EXPECT_TRUE(client.AddFiles(items));
  EXPECT_EQ(
      client.Summaries(),
      (Strings{
          "Error " + ErrorText(kErrAddFileOSError, tree.Path("target.txt").c_str(), -666),
          "FilesAddedToUploadList " + tree.Path("Photos/a.jpg") + "," + tree.Path("target.txt")}));
}

TEST(AddFilesFromItems, ItemsLeftOutAreLoggedOneByOneUpToACap) {
  TestTree tree;
  tree.Folder("A");
  tree.File("A/good", "g");
  for (size_t i = 0; i <= CSkippedItems::kLoggedItems + 2; ++i)
    tree.File("A/\xff" + std::to_string(i));
  // After those, B holds a link through itself, which leads nowhere and is
  // not counted, and a file whose path is one byte too long, which is.
  std::string deep = "B/s";
  for (int i = 0; i < 16; ++i)
    deep += "/" + std::string(240, 'd');
  tree.Folder(deep);
  tree.Link("B/x", "x/x");
  tree.File(deep + "/f");
  const size_t pad = PATH_MAX - tree.Path(deep + "/f").size();
  std::filesystem::rename(tree.Path("B/s"), tree.Path("B/s" + std::string(pad, 's')));
  MacClient client;
  json_xwstringset items;
  items.insert(xwstring(tree.Path("A").c_str()));
  items.insert(xwstring(tree.Path("B").c_str()));
  EXPECT_TRUE(client.AddFiles(items));
  EXPECT_EQ(Paths(client.UploadList()), Strings{tree.Path("A/good")});
  Strings warnings;
  for (const auto& [level, text] : client.log)
    if (level == "WARNING")
      warnings.push_back(text);
  ASSERT_EQ(warnings.size(), CSkippedItems::kLoggedItems + 1);
  EXPECT_EQ(warnings[0].substr(0, tree.Path("A/\\xFF").size() + 10),
            "Left out '" + tree.Path("A/\\xFF"));
  EXPECT_EQ(warnings[0].substr(warnings[0].size() - 30), "': its path is not valid UTF-8");
  EXPECT_EQ(warnings.back(), "Left out 4 more items, not logged one by one");
}

}  // namespace
