// Scoped guards: the file guards act on a given handle, the lock guard on
// itself (made from a path and the four flags), for their lifetime.
#pragma once

#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileHandle.h"

namespace MacFileOperations {

// Opens the file for reading; closes it on destruction.
class ReadingGuard : public QXFileHandle {
 public:
  explicit ReadingGuard(QXFileHandle& handle);
  ReadingGuard(const ReadingGuard&) = delete;
  ReadingGuard& operator=(const ReadingGuard&) = delete;
  ~ReadingGuard();
  bool Succeeded() const { return mSuccess; }

 private:
  QXFileHandle* mHandle;
  bool mSuccess;
};

// Opens the file for writing; closes it on destruction.
class WritingGuard : public QXFileHandle {
 public:
  explicit WritingGuard(QXFileHandle& handle);
  WritingGuard(const WritingGuard&) = delete;
  WritingGuard& operator=(const WritingGuard&) = delete;
  ~WritingGuard();
  bool Succeeded() const { return mSuccess; }

 private:
  QXFileHandle* mHandle;
  bool mSuccess;
};

// Waits (without limit) until the distributed lock is taken; releases it,
// never breaks it, on destruction. Does not wait when no lock object can be
// made.
class DistributedLockGuard : public QXFileHandle {
 public:
  DistributedLockGuard(const std::wstring& path, bool isDirectory, bool isAlias,
                       bool isSymbolicLink, bool isHidden);
  DistributedLockGuard(const DistributedLockGuard&) = delete;
  DistributedLockGuard& operator=(const DistributedLockGuard&) = delete;
  ~DistributedLockGuard();
  bool Succeeded() const { return mSuccess; }

 private:
  QXFileHandle* mHandle;
  bool mSuccess;
};

}  // namespace MacFileOperations
