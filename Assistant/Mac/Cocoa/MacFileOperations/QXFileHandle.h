// One item on disk, named by its wide path, with its attribute record and
// what the content, file and lock operations keep between calls.
#pragma once

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
  QXFileHandle(const QXFileHandle&) = delete;
  QXFileHandle& operator=(const QXFileHandle&) = delete;
  ~QXFileHandle();

  operator std::wstring() const { return mPath; }
  const std::wstring& Path() const { return mPath; }
  void SetPath(const std::wstring& path) { mPath = path; }
  QXFileSystemAttributes& Attributes() { return mAttributes; }
  const QXFileSystemAttributes& Attributes() const { return mAttributes; }
  void SetReadLength(uint64_t length) { mReadLength = length; }
  uint64_t BytesRead() const { return mBytesRead; }
  const std::wstring& LastErrorText() const { return mLastErrorText; }

  // Queries (HandleAttributes.cc).
  bool ReadAttributesFromDisk();
  bool WriteAttributesToDisk();
  bool SetCreationDateOnDisk();
  bool SetLastModifiedDateOnDisk();

  // Content (HandleContent.cc). A non-empty content buffer is the content;
  // otherwise the owned bytes are.
  QXBuffer GetContentBuffer() const;
  void SetContent(QXBuffer buffer);
  bool AppendToBuffer(const char* bytes, unsigned long long length);
  bool OverrideBuffer(const char* bytes, unsigned long long length);

  // Files (HandleFiles.cc).
  bool OpenForReading();
  bool OpenForWriting();
  bool IsOpen() const { return static_cast<bool>(mFile); }
  void Close() { mFile.reset(); }
  bool ReadFromDisk(bool append);
  bool WriteContentToDisk();
  bool CreateOnDisk() const;

  // Distributed lock (HandleLock.cc).
  bool GetDistributedLock();
  bool TryDistributedLock();
  void SpinDistributedLock();
  bool DistributedUnlock(bool breakLock);
  bool HasDistributedLock() const { return mLock != nullptr; }

 protected:
  void SetLastError(int code, const std::wstring& text) const;
  void SetLastPosixError(int error) const;
  // False, with the not-enough-space error, when the content buffer did not
  // take the bytes.
  bool BufferTook(bool took);
  bool ReadBytes(uint64_t limit, bool append);
  bool OpenWithFlags(int flags);

  std::wstring mPath;
  QXFileSystemAttributes mAttributes;
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
