#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <vector>

#include "Assistant/Mac/Cocoa/MacFileOperations/Guards.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileHandle.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/TestTree.h"

namespace MacFileOperations {
namespace {

// A child process that takes the lock of `path`, reports on `ready`, and
// holds it until `release` is readable (or closed), then unlocks.
pid_t HoldLockInChild(const std::wstring& path, int ready, int release) {
  pid_t child = fork();
  if (child != 0)
    return child;
  QXFileHandle handle(path, false, false, false, false);
  const char taken = handle.TryDistributedLock() ? 'y' : 'n';
  if (write(ready, &taken, 1) != 1)
    _exit(2);
  char go;
  if (read(release, &go, 1) < 0)
    _exit(3);
  handle.DistributedUnlock(false);
  _exit(0);
}

struct Pipe {
  Pipe() {
    if (pipe(fds) != 0)
      throw std::runtime_error("pipe");
  }
  ~Pipe() {
    close(fds[0]);
    close(fds[1]);
  }
  int fds[2];
};

int WaitFor(pid_t child) {
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(DistributedLock, HeldByAnotherProcessThenBroken) {
  TestTree tree;
  const std::wstring path = tree.WPath("shared");
  Pipe ready, release;
  pid_t child = HoldLockInChild(path, ready.fds[1], release.fds[0]);
  char taken = 0;
  ASSERT_EQ(read(ready.fds[0], &taken, 1), 1);
  ASSERT_EQ(taken, 'y');

  QXFileHandle handle(path, false, false, false, false);
  EXPECT_TRUE(handle.IsDistributedLocked());
  EXPECT_FALSE(handle.HasDistributedLock());
  EXPECT_EQ(handle.DistributedLockDate(), -1.0);
  EXPECT_FALSE(handle.TryDistributedLock());
  EXPECT_TRUE(handle.HasDistributedLock());
  EXPECT_EQ(handle.LastErrorCode(), 0) << "a lock held elsewhere is not an error";
  EXPECT_NEAR(handle.DistributedLockDate(), static_cast<double>(std::time(nullptr)) - 978307200.0,
              60.0);

  EXPECT_TRUE(handle.DistributedUnlock(true));
  EXPECT_FALSE(handle.HasDistributedLock());
  EXPECT_FALSE(handle.IsDistributedLocked());
  EXPECT_TRUE(handle.TryDistributedLock());
  EXPECT_TRUE(handle.IsDistributedLocked());

  // The child's unlock must not remove the lock it no longer owns.
  ASSERT_EQ(write(release.fds[1], "g", 1), 1);
  EXPECT_EQ(WaitFor(child), 0);
  EXPECT_TRUE(handle.IsDistributedLocked());
  EXPECT_TRUE(handle.DistributedUnlock(false));
  EXPECT_FALSE(handle.IsDistributedLocked());
  EXPECT_FALSE(handle.DistributedUnlock(false)) << "no lock object any more";
}

TEST(DistributedLock, LockFileSitsBesideTheItem) {
  TestTree tree;
  QXFileHandle handle(tree.WPath("item"), false, false, false, false);
  ASSERT_TRUE(handle.GetDistributedLock());
  EXPECT_FALSE(handle.IsDistributedLocked()) << "making the object does not take the lock";
  ASSERT_TRUE(handle.TryDistributedLock());
  EXPECT_EQ(access(tree.Path("item.lck").c_str(), F_OK), 0);
  EXPECT_FALSE(handle.TryDistributedLock()) << "a held lock is not taken twice";
  handle.DistributedUnlock(false);
  EXPECT_NE(access(tree.Path("item.lck").c_str(), F_OK), 0);

  QXFileHandle nowhere(tree.WPath("missing-folder/item"), false, false, false, false);
  EXPECT_FALSE(nowhere.GetDistributedLock());
  EXPECT_NE(nowhere.LastErrorCode(), 0);
  EXPECT_FALSE(nowhere.TryDistributedLock());
  DistributedLockGuard guard(tree.WPath("missing-folder/item"), false, false, false, false);
  EXPECT_FALSE(guard.Succeeded()) << "returns at once instead of spinning";
}

// Several processes add to one counter under the lock guard: a guard that does
// not wait, or a lock that two could take at once, loses increments.
TEST(DistributedLock, ExcludesConcurrentProcesses) {
  TestTree tree;
  const std::string counter = tree.File("counter", "0");
  const std::wstring path = tree.Wide(counter);
  constexpr int kProcesses = 4;
  constexpr int kRounds = 40;
  std::vector<pid_t> children;
  for (int i = 0; i < kProcesses; ++i) {
    pid_t child = fork();
    if (child == 0) {
      for (int round = 0; round < kRounds; ++round) {
        QXFileHandle handle(path, false, false, false, false);
        DistributedLockGuard guard(handle);
        FILE* file = std::fopen(counter.c_str(), "r+");
        if (file == nullptr)
          _exit(2);
        int value = 0;
        if (std::fscanf(file, "%d", &value) != 1)
          _exit(3);
        usleep(100);
        std::rewind(file);
        std::fprintf(file, "%d", value + 1);
        std::fclose(file);
      }
      _exit(0);
    }
    children.push_back(child);
  }
  for (pid_t child : children)
    EXPECT_EQ(WaitFor(child), 0);
  FILE* file = std::fopen(counter.c_str(), "r");
  ASSERT_NE(file, nullptr);
  int value = 0;
  ASSERT_EQ(std::fscanf(file, "%d", &value), 1);
  std::fclose(file);
  EXPECT_EQ(value, kProcesses * kRounds);
  EXPECT_NE(access((counter + ".lck").c_str(), F_OK), 0);
}

}  // namespace
}  // namespace MacFileOperations
