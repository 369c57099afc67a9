#include "Assistant/Mac/Cocoa/MacFileOperations/Places.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>

#include "Assistant/Mac/Cocoa/MacFileOperations/FileURL.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/QXBundle.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/TestTree.h"

namespace MacFileOperations {
namespace {

TEST(FileURLs, EncodeAndDecodeEveryByte) {
  const std::string path = std::string("/tmp/a b/%#?/caf\xc3\xa9/\xff", 20);
  const std::string url = FileURLFromPath(path, false);
  EXPECT_EQ(url, "file:///tmp/a%20b/%25%23%3F/caf%C3%A9/%FF");
  EXPECT_EQ(PathFromFileURL(url), path);
  EXPECT_EQ(FileURLFromPath("/tmp", true), "file:///tmp/");
  EXPECT_EQ(PathFromFileURL("file://localhost/etc/hosts"), "/etc/hosts");
  EXPECT_EQ(PathFromFileURL("FILE:/etc"), "/etc");
  EXPECT_EQ(PathFromFileURL("file:///a%2fb?query#part"), "/a/b");
  EXPECT_EQ(PathFromFileURL("http://host/etc"), std::nullopt);
  EXPECT_EQ(PathFromFileURL("file://server/share"), std::nullopt);
  EXPECT_EQ(PathFromFileURL("file:///bad%2"), std::nullopt);
  EXPECT_EQ(PathFromFileURL("file:///nul%00byte"), std::nullopt);
  EXPECT_EQ(PathFromFileURL("file:///with space"), std::nullopt);
}

TEST(Places, UserAndProcessFolders) {
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] != '\0') {
    EXPECT_EQ(GetHomeDirectory(), TestTree::Wide(home));
  } else {
    EXPECT_FALSE(GetHomeDirectory().empty());
  }
  const std::wstring temp = CurrentUserTempFolderPath();
  EXPECT_EQ(temp.rfind(L"file:///", 0), 0u) << "a URL, not a plain path";
  EXPECT_EQ(temp.back(), L'/');

  TestTree tree;
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(tree.Root().c_str()), 0);
  const std::wstring current = ProductRootPath();
  ASSERT_EQ(chdir(previous), 0);
  EXPECT_EQ(current, tree.WPath(""));
}

TEST(Places, RelativePaths) {
  EXPECT_EQ(MakePathRelativeTo(L"/a/b/c/d.txt", L"/a/b/x"), L"../c/d.txt");
  EXPECT_EQ(MakePathRelativeTo(L"/a/b", L"/a/b"), L"");
  EXPECT_EQ(MakePathRelativeTo(L"/x/y", L"/a"), L"../x/y");
}

TEST(Places, MountedVolumesIncludeTheRoot) {
  const auto volumes = GetMountedVolumeStrings();
  ASSERT_FALSE(volumes.empty());
  EXPECT_NE(std::find(volumes.begin(), volumes.end(), L"file:///"), volumes.end());
  for (const auto& volume : volumes)
    EXPECT_EQ(volume.rfind(L"file:///", 0), 0u) << volume.size();
}

TEST(Bundles, ResourcesBesideTheProgramFolder) {
  TestTree tree;
  tree.Folder("prefix/bin");
  tree.Folder("prefix/share/quorvex-webclient/icons");
  tree.File("prefix/share/quorvex-webclient/icons/app.png", "png");
  tree.File("prefix/share/quorvex-webclient/README", "r");
  QXBundle bundle(tree.WPath("prefix/bin"));
  ASSERT_TRUE(bundle.HasBundle());
  EXPECT_EQ(bundle.ResourcePathAsString(), tree.WPath("prefix/share/quorvex-webclient"));
  EXPECT_EQ(bundle.URLForResource(L"app", L"png", L"icons"),
            L"file://" + tree.WPath("prefix/share/quorvex-webclient/icons/app.png"));
  EXPECT_EQ(bundle.URLForResource(L"README", L"", L""),
            L"file://" + tree.WPath("prefix/share/quorvex-webclient/README"));
  EXPECT_EQ(bundle.URLForResource(L"missing", L"png", L"icons"), L"");

  QXBundle none(tree.WPath("no-such-folder"));
  EXPECT_FALSE(none.HasBundle());
  EXPECT_EQ(none.ResourcePathAsString(), L"");
  EXPECT_EQ(none.URLForResource(L"app", L"png", L"icons"), L"");

  QXBundle main;
  ASSERT_TRUE(main.HasBundle());
  const std::wstring resources = main.ResourcePathAsString();
  EXPECT_EQ(resources.substr(resources.size() - 23), L"share/quorvex-webclient");
}

}  // namespace
}  // namespace MacFileOperations
