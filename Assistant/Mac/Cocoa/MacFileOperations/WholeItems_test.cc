#include "Assistant/Mac/Cocoa/MacFileOperations/WholeItems.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "Assistant/Mac/Cocoa/MacFileOperations/FileQueries.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/TestTree.h"

namespace MacFileOperations {
namespace {

void MakeSample(const TestTree& tree, const std::string& root) {
  tree.Folder(root + "/sub");
  tree.File(root + "/a", "alpha");
  tree.File(root + "/sub/b", "beta");
  tree.Link(root + "/link", "a");
}

TEST(WholeItems, RemoveLogsAndRemovesFoldersWhole) {
  TestTree tree;
  MakeSample(tree, "folder");
  testing::internal::CaptureStderr();
  EXPECT_TRUE(Remove(tree.WPath("folder")));
  short code = 0;
  EXPECT_FALSE(Remove(tree.WPath("folder"), &code, nullptr));
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(code, ENOENT);
  EXPECT_FALSE(FileExists(tree.WPath("folder")));
  EXPECT_NE(log.find("] Remove successful\n"), std::string::npos) << log;
  EXPECT_NE(log.find("] Remove failed\n"), std::string::npos) << log;

  // A link is removed, never what it points to.
  tree.File("target", "t");
  tree.Link("link", "target");
  testing::internal::CaptureStderr();
  EXPECT_TRUE(Remove(tree.WPath("link")));
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(FileExists(tree.WPath("target")));
}

TEST(WholeItems, CopyAndMoveKeepContentAndRefuseToReplace) {
  TestTree tree;
  MakeSample(tree, "folder");
  EXPECT_TRUE(Copy(tree.WPath("folder"), tree.WPath("copy")));
  EXPECT_TRUE(ContentsAreEqual(tree.WPath("folder"), tree.WPath("copy")));
  struct stat status;
  ASSERT_EQ(lstat(tree.Path("copy/link").c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));

  short code = 0;
  std::wstring text;
  EXPECT_FALSE(Copy(tree.WPath("folder"), tree.WPath("copy"), &code, &text));
  EXPECT_EQ(code, EEXIST);
  EXPECT_FALSE(text.empty());
  EXPECT_FALSE(Move(tree.WPath("folder"), tree.WPath("copy"), &code, nullptr));
  EXPECT_EQ(code, EEXIST);
  code = 0;
  EXPECT_FALSE(Move(tree.WPath("missing"), tree.WPath("elsewhere"), &code, nullptr));
  EXPECT_EQ(code, ENOENT);

  EXPECT_TRUE(Move(tree.WPath("folder"), tree.WPath("moved")));
  EXPECT_FALSE(FileExists(tree.WPath("folder")));
  EXPECT_TRUE(ContentsAreEqual(tree.WPath("moved"), tree.WPath("copy")));
}

TEST(WholeItems, ContentComparisonAndWholeFileReads) {
  TestTree tree;
  MakeSample(tree, "one");
  MakeSample(tree, "two");
  tree.File("x", std::string(200000, 'x'));
  tree.File("y", std::string(200000, 'x'));
  tree.File("z", std::string(199999, 'x') + "z");
  EXPECT_TRUE(ContentsAreEqual(tree.WPath("missing"), tree.WPath("missing")));
  EXPECT_TRUE(ContentsAreEqual(tree.WPath("x"), tree.WPath("y")));
  EXPECT_FALSE(ContentsAreEqual(tree.WPath("x"), tree.WPath("z")));
  EXPECT_FALSE(ContentsAreEqual(tree.WPath("x"), tree.WPath("missing")));
  EXPECT_TRUE(ContentsAreEqual(tree.WPath("one"), tree.WPath("two")));
  tree.File("two/sub/b", "BETA");
  EXPECT_FALSE(ContentsAreEqual(tree.WPath("one"), tree.WPath("two")));
  EXPECT_FALSE(ContentsAreEqual(tree.WPath("one"), tree.WPath("x")));

  tree.File("bytes", std::string("a\0b", 3));
  EXPECT_EQ(ReadWholeFile(tree.WPath("bytes")), (std::vector<char>{'a', '\0', 'b'}));
  EXPECT_TRUE(ReadWholeFile(tree.WPath("missing")).empty());
  EXPECT_TRUE(ReadWholeFile(tree.WPath("one")).empty());
}

}  // namespace
}  // namespace MacFileOperations
