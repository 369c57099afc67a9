#include "Assistant/Mac/Cocoa/MacFileOperations/PosixPaths.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "Assistant/Mac/Cocoa/MacFileOperations/PosixBridge.h"
#include "Common/testing/TestTree.h"

namespace MacFileOperations {
namespace {

TEST(PosixPaths, TextualJoinSplitAndNormalize) {
  EXPECT_EQ(JoinPath("/a//", "//b"), "/a/b");
  EXPECT_EQ(JoinPath("/", "b"), "/b");
  struct Split {
    const char* path;
    const char* name;
    const char* parent;
  };
  for (const Split& c : {Split{"/a/b/", "b", "/a"}, Split{"/a", "a", "/"}, Split{"//", "/", "/"}}) {
    std::string name;
    std::string parent;
    SplitPath(c.path, name, parent);
    EXPECT_EQ(name, c.name) << c.path;
    EXPECT_EQ(parent, c.parent) << c.path;
  }
  EXPECT_EQ(NormalizePath("/a/./b/../../../c//d/"), "/c/d");
  EXPECT_EQ(NormalizePath("../a/.."), "..");
  EXPECT_TRUE(IsHiddenPath("/a/.b/"));
  EXPECT_FALSE(IsHiddenPath("/.a/b"));
}

// The expansion of picked items resolves links the way the kernel reads
// them; each row is a path under the tree, the depth, and the item it must
// lead to ("" for none, with the error).
TEST(PosixPaths, LinkChainsAndDotsResolveAsTheKernelReadsThem) {
  TestTree tree;
  tree.Folder("real/inner");
  tree.File("real/inner/file");
  tree.Link("one", "real/inner/file");
  tree.Link("two", "one");
  tree.Link("three", tree.Path("two"));
  tree.Link("real/up", "../one");
  tree.Link("inner-link", "real/inner");
  tree.Link("real/inner/back", "../up");
  tree.Link("broken", "missing");
  tree.Link("loop-a", "loop-b");
  tree.Link("loop-b", "loop-a");
  // Each "self/.." costs one link; the kernel allows 40 in one path.
  tree.Link("real/self", ".");
  std::string fortyLinks;
  for (int i = 0; i < 40; ++i)
    fortyLinks += "real/self/../";
  struct Row {
    std::string path;
    int depth;
    const char* leadsTo;
    int error;
  };
  const Row rows[] = {
      {"real/inner/file", 1, "real/inner/file", 0},
      {"one", 1, "real/inner/file", 0},
      {"three", 3, "real/inner/file", 0},
      {"three", 2, "", kFileNotFoundError},
      {"real/up", 2, "real/inner/file", 0},
      // ".." after a link leaves the link's target, not the link's folder.
      {"inner-link/back", 3, "real/inner/file", 0},
      {"inner-link/../up", 2, "real/inner/file", 0},
      {"./real//inner/./file", 1, "real/inner/file", 0},
      {"inner-link", 1, "real/inner", 0},
      {"broken", 10, "", ENOENT},
      {"loop-a", 10, "", kFileNotFoundError},
      {"loop-a", 50, "", ELOOP},
      {"missing/..", 1, "", ENOENT},
      {fortyLinks + "real/inner/file", 1, "real/inner/file", 0},
      {fortyLinks + "real/self/../real/inner/file", 1, "", ELOOP},
  };
  for (const Row& row : rows) {
    int error = 0;
    auto resolved = ResolveLinkChain(tree.Path(row.path), row.depth, &error);
    EXPECT_EQ(resolved.value_or(""), *row.leadsTo ? tree.Path(row.leadsTo) : "") << row.path;
    EXPECT_EQ(error, row.error) << row.path;
  }
}

}  // namespace
}  // namespace MacFileOperations
