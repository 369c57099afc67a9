// Guards against a helper that would hang a whole suite.
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long MillisecondsSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Gone, or a zombie waiting for its new parent to reap it.
bool HasEnded(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line))
    return true;
  const auto afterName = line.rfind(')');
  return afterName != std::string::npos && afterName + 2 < line.size() &&
         line[afterName + 2] == 'Z';
}

TEST(ChildProcessTest, RunChildKillsAProgramThatOutlivesItsTime) {
  const auto start = Clock::now();
  EXPECT_EQ(RunChild({"sleep", "30"}, {}, 300).exitCode, -1);
  EXPECT_LT(MillisecondsSince(start), 5000);
}

TEST(ChildProcessTest, StopChildEndsAProgramThatIgnoresTermAndWhatItStarted) {
  char pattern[] = "/tmp/qx-child-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string folder = pattern;
  const pid_t pid = SpawnChild(
      {"sh", "-c", "trap '' TERM; sleep 30 & echo $! > \"$0/grandchild\"; wait", folder}, {});
  ASSERT_GT(pid, 0);
  pid_t grandchild = 0;
  for (int i = 0; i < 500 && grandchild == 0; ++i) {
    std::ifstream(folder + "/grandchild") >> grandchild;
    if (grandchild == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_GT(grandchild, 0);

  const auto start = Clock::now();
  StopChild(pid, 300);
  EXPECT_GE(MillisecondsSince(start), 300);
  EXPECT_LT(MillisecondsSince(start), 5000);
  EXPECT_NE(kill(pid, 0), 0);
  bool ended = false;
  for (int i = 0; i < 500 && !(ended = HasEnded(grandchild)); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(ended);
  std::filesystem::remove_all(folder);
}

}  // namespace
