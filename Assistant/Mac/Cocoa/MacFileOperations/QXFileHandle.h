// One item on disk, named by its wide path, with its attribute record and
// what the content, file and lock operations keep between calls.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Assistant/Mac/Cocoa/MacFileOperations/DistributedLock.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/QXBuffer.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileSystemAttributes.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/UniqueFd.h"

namespace MacFileOperations {

// The lock of a handle is the file at its path plus this suffix.
extern const wchar_t* const LOCK_PATH_EXT;
extern const char* const NOT_ENOUGH_SPACE_ERROR_MESSAGE;
constexpr short kNotEnoughSpaceError = -41;

class QXFileHandle {
 public:
  QXFileHandle(const std::wstring& path, bool isDirectory, bool isAlias, bool isSymbolicLink,
               bool isHidden);
  QXFileHandle(QXFileHandle&& other) noexcept;
  QXFileHandle& operator=(QXFileHandle&& other) noexcept;
  QXFileHandle(const QXFileHandle&) = delete;
  QXFileHandle& operator=(const QXFileHandle&) = delete;
  ~QXFileHandle();

  operator std::wstring() const { return mPath; }
  const std::wstring& Path() const { return mPath; }
  void SetPath(const std::wstring& path) { mPath = path; }
  QXFileSystemAttributes& Attributes() { return mAttributes; }
  const QXFileSystemAttributes& Attributes() const { return mAttributes; }
  uint64_t ResourceForkSize() const { return mResourceForkSize; }
  uint64_t ReadLength() const { return mReadLength; }
  void SetReadLength(uint64_t length) { mReadLength = length; }
  uint64_t BytesRead() const { return mBytesRead; }
  uint64_t Offset() const { return mOffset; }
  void SetOffset(uint64_t offset) { mOffset = offset; }
  short LastErrorCode() const { return mLastErrorCode; }
  const std::wstring& LastErrorText() const { return mLastErrorText; }

  // Queries (HandleAttributes.cc).
  bool ExistsOnDisk() const;
  bool ReadAttributesFromDisk();
  bool WriteAttributesToDisk();
  bool SetCreationDateOnDisk();
  bool SetLastModifiedDateOnDisk();
  void UpdateLastModifiedToCurrentDate();
  bool AddSecondsToLastModified(double seconds);
  static std::chrono::system_clock::time_point SecondsToNSDate(double seconds);
  // Bits for others of the record's POSIX permissions.
  bool IsExecutablePOSIX() const;
  bool IsWritablePOSIX() const;
  bool IsReadablePOSIX() const;

  // Content (HandleContent.cc). A non-empty content buffer is the content;
  // otherwise the owned bytes are.
  QXBuffer GetContentBuffer();
  QXBuffer GetContentBuffer() const;
  std::string GetContentAsString() const;
  std::wstring GetContentAsWString() const;
  std::vector<char> GetContentAsVector() const;
  void SetContent(const std::string& content, unsigned long long length);
  void SetContentAsString(const std::string& content);
  void SetContentAsWString(const std::wstring& content);
  void SetContentAsVector(const std::vector<char>& content);
  void SetContent(QXBuffer buffer);
  void Reserve(long long size);
  bool AppendToBuffer(const char* bytes, unsigned long long length);
  bool OverrideBuffer(const char* bytes, unsigned long long length);

  // Files (HandleFiles.cc).
  bool OpenForReading();
  bool OpenForWriting();
  bool IsOpen() const { return static_cast<bool>(mFile); }
  void Close() { mFile.reset(); }
  bool ReadFromDisk(bool append);
  bool ReadToEndFromDisk(bool append);
  bool WriteContentToDisk();
  unsigned long long SeekToEndOfFile();
  void GetOffsetInFile(unsigned long long* offset);
  void SetOffsetInFile(unsigned long long* offset);
  bool TruncateAtOffset();
  bool RemoveFromDisk();
  bool CreateOnDisk() const;

  // Distributed lock (HandleLock.cc).
  bool GetDistributedLock();
  bool TryDistributedLock();
  void SpinDistributedLock();
  bool DistributedUnlock(bool breakLock);
  bool HasDistributedLock() const { return mLock != nullptr; }
  bool IsDistributedLocked() const;
  double DistributedLockDate() const;

 protected:
  void SetLastError(int code, const std::wstring& text) const;
  void SetLastPosixError(int error) const;
  void SetNotEnoughSpaceError();
  bool ReadBytes(uint64_t limit, bool append);
  bool OpenWithFlags(int flags);

  std::wstring mPath;
  QXFileSystemAttributes mAttributes;
  uint64_t mResourceForkSize = 0;
  uint64_t mReadLength = 0;
  uint64_t mBytesRead = 0;
  uint64_t mOffset = 0;
  // Written by const operations too: an error is not part of the item.
  mutable short mLastErrorCode = 0;
  mutable std::wstring mLastErrorText;
  QXBuffer mContentBuffer;
  std::vector<char> mContentBytes;
  UniqueFd mFile;
  std::unique_ptr<QXDistributedLock> mLock;
};

}  // namespace MacFileOperations
