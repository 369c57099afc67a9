#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/VirtualDisplay.h"

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

TEST(ChildProcessTest, RunChildGivesOutputAndExitCodeWithTheEnvironmentApplied) {
  ChildResult result =
      RunChild({"sh", "-c", "printf '%s' \"$QX_PROBE\"; exit 3"}, {{"QX_PROBE", "value"}}, 5000);
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.output, "value");
}

TEST(ChildProcessTest, RunChildKillsAProgramThatOutlivesItsTime) {
  const auto start = Clock::now();
  ChildResult result = RunChild({"sleep", "30"}, {}, 300);
  EXPECT_EQ(result.exitCode, -1);
  EXPECT_LT(MillisecondsSince(start), 5000);
}

TEST(ChildProcessTest, StopChildEndsAProgramThatIgnoresTermAndWhatItStarted) {
  char pattern[] = "/tmp/qx-child-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string folder = pattern;
  // It ignores TERM, starts a child of its own and says so through a file.
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
  // Reaped: the pid is no longer there to signal. The grandchild has ended
  // too, though whoever inherited it may not have reaped it yet.
  EXPECT_NE(kill(pid, 0), 0);
  bool ended = false;
  for (int i = 0; i < 500 && !ended; ++i) {
    ended = HasEnded(grandchild);
    if (!ended)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(ended);
  std::filesystem::remove_all(folder);
}

TEST(VirtualDisplayTest, TwoDisplaysRunSideBySideAndEndWithTheirOwners) {
  std::string first;
  {
    VirtualDisplay one;
    VirtualDisplay two;
    ASSERT_TRUE(one.Ok());
    ASSERT_TRUE(two.Ok());
    EXPECT_NE(one.Name(), two.Name());
    first = one.Name();
    EXPECT_EQ(RunChild({"xdpyinfo"}, {{"DISPLAY", first}}, 10000).exitCode, 0);
  }
  EXPECT_NE(RunChild({"xdpyinfo"}, {{"DISPLAY", first}}, 10000).exitCode, 0);
}

}  // namespace
