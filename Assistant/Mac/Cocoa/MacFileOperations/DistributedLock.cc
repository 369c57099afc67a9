#include "Assistant/Mac/Cocoa/MacFileOperations/DistributedLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "Assistant/Mac/Cocoa/MacFileOperations/PosixBridge.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/PosixPaths.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/UniqueFd.h"

namespace MacFileOperations {

std::unique_ptr<QXDistributedLock> QXDistributedLock::Make(const std::string& lockPath,
                                                           int* error) {
  std::string name;
  std::string parent;
  SplitPath(lockPath, name, parent);
  if (parent.empty())
    parent = ".";
  struct stat folder;
  if (lockPath.empty()) {
    *error = kFileNotFoundError;
    return nullptr;
  }
  if (stat(parent.c_str(), &folder) != 0) {
    *error = errno;
    return nullptr;
  }
  if (!S_ISDIR(folder.st_mode)) {
    *error = ENOTDIR;
    return nullptr;
  }
  return std::unique_ptr<QXDistributedLock>(new QXDistributedLock(lockPath));
}

bool QXDistributedLock::TryLock(int* error) {
  if (mHeld)
    return false;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  char record[96];
  std::snprintf(record, sizeof record, "%ld %ld.%09ld %p\n", static_cast<long>(getpid()),
                static_cast<long>(now.tv_sec), now.tv_nsec, static_cast<void*>(this));
  // A private file first, so the lock file appears whole (with its owner's
  // pid and date) in the one atomic step.
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".%ld.%p.tmp", static_cast<long>(getpid()),
                static_cast<void*>(this));
  const std::string privatePath = mPath + suffix;
  {
    UniqueFd file(open(privatePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file) {
      *error = errno;
      return false;
    }
    const ssize_t length = static_cast<ssize_t>(std::strlen(record));
    if (write(file.get(), record, static_cast<size_t>(length)) != length) {
      *error = errno != 0 ? errno : EIO;
      unlink(privatePath.c_str());
      return false;
    }
  }
  const bool linked = link(privatePath.c_str(), mPath.c_str()) == 0;
  const int linkError = errno;
  // link(2) may report a failure that happened after all on network file
  // systems; the private file's link count tells the truth.
  struct stat status;
  const bool taken = stat(privatePath.c_str(), &status) == 0 && status.st_nlink == 2;
  unlink(privatePath.c_str());
  if (!taken) {
    *error = linked ? EIO : linkError;
    return false;
  }
  mHeld = true;
  mRecord = record;
  return true;
}

void QXDistributedLock::Unlock() {
  if (!mHeld)
    return;
  mHeld = false;
  // After a break another process may own a new lock file: leave that one.
  char current[96] = {};
  UniqueFd file(open(mPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file)
    return;
  const ssize_t length = read(file.get(), current, sizeof current - 1);
  if (length > 0 && mRecord == std::string(current, static_cast<size_t>(length))) {
    unlink(mPath.c_str());
  }
}

void QXDistributedLock::Break() {
  unlink(mPath.c_str());
  mHeld = false;
}

}  // namespace MacFileOperations
