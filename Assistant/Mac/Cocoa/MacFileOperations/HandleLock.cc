#include <sched.h>
#include <sys/stat.h>

#include "Assistant/Mac/Cocoa/MacFileOperations/PosixBridge.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileHandle.h"

namespace MacFileOperations {

const wchar_t* const LOCK_PATH_EXT = L".lck";

bool QXFileHandle::GetDistributedLock() {
  auto native = NativePath(mPath + LOCK_PATH_EXT);
  int error = kFileNotFoundError;
  std::unique_ptr<QXDistributedLock> lock;
  if (native)
    lock = QXDistributedLock::Make(*native, &error);
  if (!lock) {
    if (error == kFileNotFoundError) {
      SetLastError(error, L"File not found");
    } else {
      SetLastPosixError(error);
    }
    return false;
  }
  mLock = std::move(lock);
  return true;
}

bool QXFileHandle::TryDistributedLock() {
  if (!mLock && !GetDistributedLock())
    return false;
  int error = 0;
  if (mLock->TryLock(&error))
    return true;
  // Someone else holding the lock is the expected outcome, not an error.
  if (error != EEXIST && error != 0)
    SetLastPosixError(error);
  return false;
}

void QXFileHandle::SpinDistributedLock() {
  while (!TryDistributedLock()) {
    // Without a lock object no attempt can ever succeed.
    if (!mLock)
      return;
    sched_yield();
  }
}

bool QXFileHandle::DistributedUnlock(bool breakLock) {
  if (!mLock)
    return false;
  if (breakLock) {
    mLock->Break();
  } else {
    mLock->Unlock();
  }
  mLock.reset();
  return true;
}

}  // namespace MacFileOperations
