#include "Assistant/Mac/Cocoa/MacFileOperations/Guards.h"

namespace MacFileOperations {

ReadingGuard::ReadingGuard(QXFileHandle& handle)
    : QXFileHandle(handle.Path(), false, false, false, false),
      mHandle(&handle),
      mSuccess(handle.OpenForReading()) {}

ReadingGuard::~ReadingGuard() {
  if (mHandle->IsOpen())
    mHandle->Close();
}

WritingGuard::WritingGuard(QXFileHandle& handle)
    : QXFileHandle(handle.Path(), false, false, false, false),
      mHandle(&handle),
      mSuccess(handle.OpenForWriting()) {}

WritingGuard::~WritingGuard() {
  if (mHandle->IsOpen())
    mHandle->Close();
}

namespace {

bool TakeLock(QXFileHandle& handle) {
  if (!handle.GetDistributedLock())
    return false;
  handle.SpinDistributedLock();
  return true;
}

}  // namespace

DistributedLockGuard::DistributedLockGuard(const std::wstring& path, bool isDirectory, bool isAlias,
                                           bool isSymbolicLink, bool isHidden)
    : QXFileHandle(path, isDirectory, isAlias, isSymbolicLink, isHidden),
      mHandle(this),
      mSuccess(TakeLock(*this)) {}

DistributedLockGuard::~DistributedLockGuard() {
  if (mHandle->HasDistributedLock())
    mHandle->DistributedUnlock(false);
}

}  // namespace MacFileOperations
