#include "tools/reference-assistant/OutboxCopy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <vector>

#include "Common/testing/TestTree.h"

namespace fs = std::filesystem;
using MacFileOperations::TestTree;

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(OutboxCopy, CopiesEveryByteAcrossChunksAndReplacesLongerContent) {
  TestTree tree;
  std::string bytes;
  for (size_t i = 0; i < (3u << 20) + 17; ++i)
    bytes += static_cast<char>((i * 7 + i / 251) & 0xff);
  tree.File("source", bytes);
  chmod(tree.Path("source").c_str(), 0640);
  tree.Folder("out");
  tree.File("out/copy", std::string(4 << 20, 'x'));
  for (const char* destination : {"out/copy", "made/for/it"}) {
    std::string failure;
    ASSERT_TRUE(CopyWhole(tree.Path("source"), tree.Path(destination), &failure)) << failure;
    EXPECT_TRUE(Read(tree.Path(destination)) == bytes) << destination;
    EXPECT_EQ(fs::status(tree.Path(destination)).permissions(), fs::perms(0640)) << destination;
  }
  EXPECT_EQ(Names(tree.Path("out")), std::vector<std::string>{"copy"});
}

// A copy that fails part way leaves no half-written file under the final
// name, and what was there before stays.
TEST(OutboxCopy, FailureLeavesTheDestinationAsItWas) {
  TestTree tree;
  tree.Folder("unreadable-as-file");
  tree.File("source", "new");
  tree.Folder("out/folder/inside");
  tree.File("out/kept", "old");
  struct Case {
    const char* source;
    const char* destination;
    const char* failure;
  };
  for (const Case& c : {Case{"unreadable-as-file", "out/kept", "Is a directory"},
                        Case{"source", "out/folder", "File exists"}}) {
    std::string failure;
    EXPECT_FALSE(CopyWhole(tree.Path(c.source), tree.Path(c.destination), &failure));
    EXPECT_EQ(failure, c.failure) << c.source << " -> " << c.destination;
    EXPECT_EQ(Read(tree.Path("out/kept")), "old");
    EXPECT_EQ(Names(tree.Path("out")), (std::vector<std::string>{"folder", "kept"}));
  }
}

// An Assistant killed mid-copy holds nothing, also while it is a zombie not
// yet reaped: its lock file does not stop the next one.
TEST(OutboxCopy, ALockLeftByAWriterThatDiedIsBroken) {
  TestTree tree;
  tree.File("source", "content");
  tree.Folder("outbox");
  const pid_t dead = fork();
  if (dead == 0)
    _exit(0);
  siginfo_t ended{};
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(dead), &ended, WEXITED | WNOWAIT), 0);
  std::ofstream(tree.Path("outbox.lck")) << dead << " 0.000000000 0x1\n";
  std::string failure;
  auto copy = std::async(std::launch::async, [&] {
    return CopyIntoOutbox(tree.Path("outbox"), tree.Path("source"), tree.Path("outbox/file"),
                          &failure);
  });
  if (copy.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "the copy still waits on the dead writer's lock";
    std::_Exit(1);
  }
  EXPECT_TRUE(copy.get()) << failure;
  EXPECT_FALSE(fs::exists(tree.Path("outbox.lck")));
  waitpid(dead, nullptr, 0);
}

TEST(OutboxCopy, UploadsLandUnderTheirFolderButNeverOutside) {
  struct Case {
    const char* relative;
    const char* landsAt;
  };
  for (const Case& c : {Case{"photos/2026", "/o/photos/2026/a.txt"}, Case{nullptr, "/o/a.txt"},
                        Case{"x/../..", "/o/a.txt"}, Case{"/etc", "/o/a.txt"},
                        Case{"p/./q/../r", "/o/p/r/a.txt"}}) {
    EXPECT_EQ(OutboxPath("/o", c.relative, "/home/u/photos/a.txt"), c.landsAt)
        << (c.relative ? c.relative : "null");
  }
}

}  // namespace
