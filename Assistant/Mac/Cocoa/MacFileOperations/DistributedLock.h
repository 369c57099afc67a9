// A lock shared by all processes through a lock file: whoever creates the
// file holds the lock. Taking it is one atomic link(2) of a private file that
// records the taker's pid and date, so two processes can never both succeed,
// also on network file systems; breaking it is unlinking the file.
#pragma once

#include <memory>
#include <string>

namespace MacFileOperations {

class QXDistributedLock {
 public:
  // Null when the lock file's folder does not exist.
  static std::unique_ptr<QXDistributedLock> Make(const std::string& lockPath, int* error);

  // One attempt; false when another holder has the file or on failure.
  bool TryLock(int* error);
  // Removes the lock file only when this object took it and it is still
  // the same file.
  void Unlock();
  // Removes the lock file whoever holds it.
  void Break();

 private:
  explicit QXDistributedLock(std::string lockPath) : mPath(std::move(lockPath)) {}

  std::string mPath;
  bool mHeld = false;
  // What this object wrote into the lock file, to recognise it later.
  std::string mRecord;
};

}  // namespace MacFileOperations
