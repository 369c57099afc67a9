// The attribute record of one item on disk, copied by value.
#pragma once

#include <cstdint>
#include <string>

namespace MacFileOperations {

// Dates in the record count seconds from 1 January 2001 00:00:00 UTC.
constexpr double kReferenceDateUnixSeconds = 978307200.0;
constexpr double kNoDate = -1.0;

struct QXFileSystemAttributes {
  uint64_t mFileSize = 0;
  uint64_t mReferenceCount = 0;
  uint64_t mDeviceIdentifier = 0;
  std::wstring mOwnerAccountName;
  std::wstring mGroupOwnerAccountName;
  uint16_t mPosixPermissions = 0;
  uint64_t mFileSystemNumber = 0;
  uint64_t mFileSystemFileNumber = 0;
  // Finder-only facts: they have no counterpart here and stay false or 0.
  bool mExtensionHidden = false;
  uint32_t mHFSCreatorCode = 0;
  uint32_t mHFSTypeCode = 0;
  bool mImmutable = false;
  bool mAppendOnly = false;
  uint64_t mOwnerAccountID = 0;
  uint64_t mGroupOwnerAccountID = 0;
  bool mBusy = false;
  uint64_t mVolumeSize = 0;
  uint64_t mVolumeFreeSize = 0;
  uint64_t mVolumeNodes = 0;
  uint64_t mVolumeFreeNodes = 0;
  bool mIsDirectory = false;
  // A symbolic link is the platform's alias: it reads as alias, not as link.
  bool mIsAlias = false;
  bool mIsSymbolicLink = false;
  bool mIsHidden = false;
  std::wstring mTypeIdentifier;
  double mModificationDate = kNoDate;
  double mCreationDate = kNoDate;
};

}  // namespace MacFileOperations
