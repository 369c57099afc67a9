#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "Assistant/Mac/Cocoa/MacFileOperations/FileQueries.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/PosixBridge.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileHandle.h"

namespace MacFileOperations {

QXFileHandle::QXFileHandle(const std::wstring& path, bool isDirectory, bool isAlias,
                           bool isSymbolicLink, bool isHidden)
    : mPath(path) {
  mAttributes.mIsDirectory = isDirectory;
  mAttributes.mIsAlias = isAlias;
  mAttributes.mIsSymbolicLink = isSymbolicLink;
  mAttributes.mIsHidden = isHidden;
}

QXFileHandle::~QXFileHandle() = default;

void QXFileHandle::SetLastError(int code, const std::wstring& text) const {
  mLastErrorCode = static_cast<short>(code);
  mLastErrorText = text;
}

void QXFileHandle::SetLastPosixError(int error) const {
  SetLastError(error, PosixErrorText(error));
}

bool QXFileHandle::ReadAttributesFromDisk() {
  mAttributes = AttributesOfFileSystemForPath(mPath);
  AttributesForPath(mPath.c_str(), &mAttributes.mIsDirectory, &mAttributes.mIsAlias,
                    &mAttributes.mIsSymbolicLink, &mAttributes.mIsHidden, nullptr,
                    &mAttributes.mModificationDate, &mAttributes.mCreationDate,
                    &mAttributes.mTypeIdentifier, &mLastErrorCode, &mLastErrorText);
  return mLastErrorCode == 0;
}

bool QXFileHandle::WriteAttributesToDisk() {
  // The four flags and the size describe the item as it is: a kind, a name
  // and a length cannot be changed by setting an attribute here.
  auto native = NativePath(mPath);
  if (!native || native->empty()) {
    SetLastError(kFileNotFoundError, L"File not found");
    return false;
  }
  const bool changed = chmod(native->c_str(), mAttributes.mPosixPermissions) == 0;
  if (!changed)
    SetLastPosixError(errno);
  if (mAttributes.mCreationDate != kNoDate)
    SetCreationDateOnDisk();
  if (mAttributes.mModificationDate != kNoDate)
    SetLastModifiedDateOnDisk();
  return changed;
}

bool QXFileHandle::SetCreationDateOnDisk() {
  // Linux keeps the birth time to itself: no call can set it.
  SetLastError(ENOTSUP,
               L"The creation date cannot be set on this system: " + PosixErrorText(ENOTSUP));
  return false;
}

bool QXFileHandle::SetLastModifiedDateOnDisk() {
  auto native = NativePath(mPath);
  if (!native || native->empty()) {
    SetLastError(kFileNotFoundError, L"File not found");
    return false;
  }
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = TimespecFromReferenceSeconds(mAttributes.mModificationDate);
  if (utimensat(AT_FDCWD, native->c_str(), times, 0) != 0) {
    SetLastPosixError(errno);
    return false;
  }
  return true;
}

}  // namespace MacFileOperations
