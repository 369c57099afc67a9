#include "Assistant/Mac/Cocoa/MacFileOperations/FileQueries.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "Assistant/Mac/Cocoa/MacFileOperations/PosixBridge.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileHandle.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/TestTree.h"

namespace MacFileOperations {
namespace {

double NowSinceReferenceDate() {
  return static_cast<double>(std::time(nullptr)) - 978307200.0;
}

TEST(FileAttributes, RegularFileReadsSizeOwnerDatesAndNoResourceFork) {
  TestTree tree;
  const std::string path = tree.File("data.bin", std::string(1000, 'x'));
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  QXFileHandle handle(tree.Wide(path), true, true, true, true);
  EXPECT_EQ(handle.Attributes().mFileSize, 0u);
  ASSERT_TRUE(handle.ReadAttributesFromDisk());

  const auto& attributes = handle.Attributes();
  struct stat status;
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(attributes.mFileSize, 1000u);
  EXPECT_EQ(handle.ResourceForkSize(), 0u);
  EXPECT_EQ(handle.LastErrorCode(), 0);
  EXPECT_FALSE(attributes.mIsDirectory);
  EXPECT_FALSE(attributes.mIsAlias);
  EXPECT_FALSE(attributes.mIsSymbolicLink);
  EXPECT_FALSE(attributes.mIsHidden);
  EXPECT_EQ(attributes.mPosixPermissions, 0640);
  EXPECT_EQ(attributes.mReferenceCount, 1u);
  EXPECT_EQ(attributes.mFileSystemFileNumber, status.st_ino);
  EXPECT_EQ(attributes.mFileSystemNumber, status.st_dev);
  EXPECT_EQ(attributes.mOwnerAccountID, getuid());
  EXPECT_EQ(attributes.mOwnerAccountName, tree.Wide(getpwuid(getuid())->pw_name));
  EXPECT_FALSE(attributes.mGroupOwnerAccountName.empty());
  EXPECT_GT(attributes.mVolumeSize, 0u);
  EXPECT_GT(attributes.mVolumeNodes, 0u);
  EXPECT_NEAR(attributes.mModificationDate, NowSinceReferenceDate(), 60.0);
  // Birth times exist only where the file system keeps them.
  if (attributes.mCreationDate != kNoDate) {
    EXPECT_NEAR(attributes.mCreationDate, NowSinceReferenceDate(), 60.0);
  }
}

TEST(FileAttributes, FolderHiddenAndLinkFlags) {
  TestTree tree;
  tree.Folder("folder");
  tree.File(".hidden");
  tree.Link("link", tree.Path("folder"));

  QXFileHandle folder(tree.WPath("folder"), false, false, false, false);
  ASSERT_TRUE(folder.ReadAttributesFromDisk());
  EXPECT_TRUE(folder.Attributes().mIsDirectory);

  QXFileHandle hidden(tree.WPath(".hidden"), false, false, false, false);
  ASSERT_TRUE(hidden.ReadAttributesFromDisk());
  EXPECT_TRUE(hidden.Attributes().mIsHidden);

  bool isDirectory = true, isAlias = false, isSymbolicLink = true, isHidden = true;
  unsigned long long size = 99;
  AttributesForPath(tree.WPath("link").c_str(), &isDirectory, &isAlias, &isSymbolicLink, &isHidden,
                    &size, nullptr, nullptr, nullptr);
  EXPECT_FALSE(isDirectory) << "a link reads as itself, not as its target";
  EXPECT_TRUE(isAlias);
  EXPECT_FALSE(isSymbolicLink);
  EXPECT_FALSE(isHidden);
  EXPECT_EQ(size, tree.Path("folder").size());
}

TEST(FileAttributes, MissingPathReadsAsZeroRecordWithError) {
  TestTree tree;
  QXFileHandle handle(tree.WPath("missing"), true, false, false, false);
  EXPECT_FALSE(FileExists(handle.Path()));
  EXPECT_FALSE(handle.ReadAttributesFromDisk());
  EXPECT_EQ(handle.LastErrorCode(), ENOENT);
  EXPECT_FALSE(handle.LastErrorText().empty());
  const auto& attributes = handle.Attributes();
  EXPECT_EQ(attributes.mFileSize, 0u);
  EXPECT_EQ(attributes.mVolumeSize, 0u);
  EXPECT_FALSE(attributes.mIsDirectory);
  EXPECT_EQ(attributes.mModificationDate, -1.0);
  EXPECT_EQ(attributes.mCreationDate, -1.0);

  short code = 0;
  std::wstring text;
  QXFileSystemAttributes record = AttributesOfFileSystemForPath(handle.Path(), &code, &text);
  EXPECT_EQ(code, ENOENT);
  EXPECT_EQ(record.mOwnerAccountName, L"");

  bool untouched = true;
  code = 0;
  AttributesForPath(handle.Path().c_str(), &untouched, nullptr, nullptr, nullptr, nullptr, nullptr,
                    nullptr, nullptr, &code, nullptr);
  EXPECT_TRUE(untouched);
  EXPECT_EQ(code, ENOENT);
  code = 0;
  AttributesForPath(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                    &code, nullptr);
  EXPECT_EQ(code, -43);
}

TEST(AliasResolution, ExistenceDepthChainsCyclesAndBrokenLinks) {
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
  std::string previous = "real/inner/file";
  for (int i = 1; i <= 11; ++i) {
    const std::string name = "chain" + std::to_string(i);
    tree.Link(name, previous);
    previous = name;
  }
  const std::wstring file = tree.WPath("real/inner/file");
  // Existence follows links.
  EXPECT_TRUE(FileExists(file));
  EXPECT_TRUE(FileExists(tree.WPath("three")));
  EXPECT_FALSE(FileExists(tree.WPath("broken")));
  EXPECT_FALSE(FileExists(L""));

  short code = 0;
  std::wstring text;
  EXPECT_EQ(PathFromResolvedAliasPath(tree.WPath("one"), &code, &text, 0), L"");
  EXPECT_EQ(code, -43);
  EXPECT_FALSE(text.empty());

  EXPECT_EQ(PathFromResolvedAliasPath(file, nullptr, nullptr, 1), file);
  EXPECT_EQ(PathFromResolvedAliasPath(tree.WPath("one"), nullptr, nullptr, 1), file);
  EXPECT_EQ(PathFromResolvedAliasPath(tree.WPath("three"), nullptr, nullptr, 3), file);
  EXPECT_EQ(PathFromResolvedAliasPath(tree.WPath("three"), nullptr, nullptr, 2), L"");
  EXPECT_EQ(PathFromResolvedAliasPath(tree.WPath("chain10"), nullptr, nullptr, 10), file);
  code = 0;
  EXPECT_EQ(PathFromResolvedAliasPath(tree.WPath("chain11"), &code, nullptr, 10), L"");
  EXPECT_EQ(code, -43);
  EXPECT_EQ(PathFromResolvedAliasPath(tree.WPath("real/up"), nullptr, nullptr, 10), file);
  // A target is read from the folder that holds its link, and ".." after a
  // link leaves the link's target, as the kernel reads them.
  EXPECT_EQ(PathFromResolvedAliasPath(tree.WPath("inner-link/back"), nullptr, nullptr, 10), file);
  EXPECT_EQ(PathFromResolvedAliasPath(tree.WPath("inner-link/../up"), nullptr, nullptr, 10), file);
  EXPECT_EQ(PathFromResolvedAliasPath(tree.WPath("real/inner"), nullptr, nullptr, 10),
            tree.WPath("real/inner"));

  code = 0;
  EXPECT_EQ(PathFromResolvedAliasPath(tree.WPath("broken"), &code, nullptr, 10), L"");
  EXPECT_EQ(code, ENOENT);
  code = 0;
  EXPECT_EQ(PathFromResolvedAliasPath(tree.WPath("loop-a"), &code, nullptr, 10), L"");
  EXPECT_NE(code, 0);
  code = 0;
  EXPECT_EQ(PathFromResolvedAliasPath(tree.WPath("missing"), &code, nullptr, 10), L"");
  EXPECT_EQ(code, ENOENT);
}

TEST(FolderListing, NamesInListingOrderWithHiddenEntries) {
  TestTree tree;
  tree.Folder("folder/sub");
  tree.File("folder/a");
  tree.File("folder/.hidden");
  tree.Link("folder/link", "a");
  auto names = GetChildrenForPath(tree.WPath("folder"));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L".hidden", L"a", L"link", L"sub"}));

  short code = 0;
  std::wstring text;
  EXPECT_TRUE(GetChildrenForPath(tree.WPath("missing"), &code, &text).empty());
  EXPECT_EQ(code, ENOENT);
  EXPECT_FALSE(text.empty());
  code = 0;
  EXPECT_TRUE(GetChildrenForPath(tree.WPath("folder/a"), &code, nullptr).empty());
  EXPECT_EQ(code, ENOTDIR);
}

TEST(FolderListing, NamesWithInvalidUTF8SurviveTheRoundTrip) {
  TestTree tree;
  const std::string badName = std::string("caf\xe9-\xff\xfe", 7);
  tree.Folder("folder");
  tree.File("folder/" + badName, "12345");
  auto names = GetChildrenForPath(tree.WPath("folder"));
  ASSERT_EQ(names.size(), 1u);
  const std::wstring path = PathFromPaths(tree.WPath("folder"), names[0]);
  EXPECT_EQ(*NativePath(path), tree.Path("folder/" + badName));
  EXPECT_TRUE(FileExists(path));
  QXFileHandle handle(path, false, false, false, false);
  ASSERT_TRUE(handle.ReadAttributesFromDisk());
  EXPECT_EQ(handle.Attributes().mFileSize, 5u);
}

TEST(FolderListing, LongestNameIsAcceptedAndOneMoreByteIsNot) {
  TestTree tree;
  const std::wstring longest = tree.WPath(std::string(255, 'n'));
  const std::wstring tooLong = tree.WPath(std::string(256, 'n'));
  const bool file = false;
  short code = 0;
  EXPECT_TRUE(
      CreateFile(longest, &file, nullptr, nullptr, nullptr, "x", 1, nullptr, &code, nullptr));
  EXPECT_TRUE(FileExists(longest));
  EXPECT_FALSE(
      CreateFile(tooLong, &file, nullptr, nullptr, nullptr, "x", 1, nullptr, &code, nullptr));
  EXPECT_EQ(code, ENAMETOOLONG);
  EXPECT_EQ(GetChildrenForPath(tree.WPath("")).size(), 1u);
}

TEST(PathText, JoiningAndSplitting) {
  const struct {
    const wchar_t *parent, *name, *joined;
  } joins[] = {{L"", L"", L""},
               {L"a", L"", L"a"},
               {L"", L"Photos", L"Photos"},
               {L"Photos", L"Trip", L"Photos/Trip"},
               {L"/Users/ann/Photos/", L"a.jpg", L"/Users/ann/Photos/a.jpg"},
               {L"/", L"etc", L"/etc"}};
  for (const auto& row : joins)
    EXPECT_EQ(PathFromPaths(row.parent, row.name), row.joined) << row.joined;

  const struct {
    const wchar_t *path, *name, *parent;
  } splits[] = {{L"/Users/ann/Photos", L"Photos", L"/Users/ann"},
                {L"/Users/ann/Photos/", L"Photos", L"/Users/ann"},
                {L"/top", L"top", L"/"},
                {L"plain", L"plain", L""},
                {L"/", L"/", L"/"}};
  for (const auto& row : splits) {
    std::wstring name, parent;
    NameAndParentFromPath(row.path, name, parent);
    EXPECT_EQ(name, row.name) << row.path;
    EXPECT_EQ(parent, row.parent) << row.path;
  }
}

TEST(ItemCreation, FoldersFilesAndOverwriting) {
  TestTree tree;
  const bool folder = true;
  const bool file = false;
  const bool keep = true;
  short code = 0;
  std::wstring text;

  tree.Folder("existing-folder");
  tree.File("existing-folder/marker", "");
  EXPECT_FALSE(CreateFile(tree.WPath("existing-folder"), &folder, nullptr, nullptr, nullptr,
                          nullptr, 0, nullptr, &code, &text));
  EXPECT_EQ(code, 0) << "a refusal writes no error";
  EXPECT_TRUE(FileExists(tree.WPath("existing-folder/marker")));

  EXPECT_TRUE(CreateFile(tree.WPath("new/two/levels"), &folder, nullptr, nullptr, nullptr, nullptr,
                         0, nullptr, &code, &text));
  struct stat status;
  ASSERT_EQ(stat(tree.Path("new/two/levels").c_str(), &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));

  EXPECT_TRUE(CreateFile(tree.WPath("note.txt"), &file, nullptr, nullptr, nullptr, "hello", 5,
                         nullptr, &code, &text));
  EXPECT_EQ(stat(tree.Path("note.txt").c_str(), &status), 0);
  EXPECT_EQ(status.st_size, 5);

  EXPECT_FALSE(CreateFile(tree.WPath("note.txt"), &file, nullptr, nullptr, nullptr, "bye", 3, &keep,
                          &code, &text));
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(CreateFile(tree.WPath("note.txt"), &file, nullptr, nullptr, nullptr, "bye", 3,
                         nullptr, &code, &text));
  EXPECT_EQ(stat(tree.Path("note.txt").c_str(), &status), 0);
  EXPECT_EQ(status.st_size, 3);

  // Without the directory flag the no-overwrite write itself refuses.
  EXPECT_FALSE(CreateFile(tree.WPath("note.txt"), nullptr, nullptr, nullptr, nullptr, "x", 1, &keep,
                          &code, &text));
  EXPECT_EQ(code, EEXIST);
  EXPECT_TRUE(CreateFile(tree.WPath("empty"), nullptr, nullptr, nullptr, nullptr, nullptr, 7,
                         nullptr, nullptr, nullptr));
  EXPECT_EQ(stat(tree.Path("empty").c_str(), &status), 0);
  EXPECT_EQ(status.st_size, 0);

  code = 0;
  EXPECT_FALSE(CreateFile(tree.WPath("missing/file"), &file, nullptr, nullptr, nullptr, "x", 1,
                          nullptr, &code, &text));
  EXPECT_EQ(code, ENOENT);
}

TEST(Permissions, AccessQueriesAndOthersBits) {
  TestTree tree;
  const std::string path = tree.File("script", "#!/bin/sh\n");
  ASSERT_EQ(chmod(path.c_str(), 0755), 0);
  EXPECT_TRUE(IsReadable(tree.Wide(path)));
  EXPECT_TRUE(IsWritable(tree.Wide(path)));
  EXPECT_TRUE(IsExecutable(tree.Wide(path)));
  EXPECT_TRUE(IsDeletable(tree.Wide(path)));
  EXPECT_FALSE(IsReadable(tree.WPath("missing")));
  EXPECT_FALSE(IsDeletable(tree.WPath("missing")));

  QXFileHandle handle(tree.Wide(path), false, false, false, false);
  ASSERT_TRUE(handle.ReadAttributesFromDisk());
  EXPECT_TRUE(handle.IsReadablePOSIX());
  EXPECT_TRUE(handle.IsExecutablePOSIX());
  EXPECT_FALSE(handle.IsWritablePOSIX());
}

}  // namespace
}  // namespace MacFileOperations
