#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "Assistant/Mac/Cocoa/MacFileOperations/FileQueries.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/PosixBridge.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileHandle.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/WholeItems.h"

namespace MacFileOperations {
namespace {

constexpr size_t kReadChunk = 64 * 1024;

bool OpenFile(const std::wstring& path, int flags, UniqueFd& file, int* error) {
  auto native = NativePath(path);
  if (!native || native->empty()) {
    *error = kFileNotFoundError;
    return false;
  }
  int fd = open(native->c_str(), flags | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return false;
  }
  file.reset(fd);
  return true;
}

}  // namespace

bool QXFileHandle::OpenForReading() {
  return OpenWithFlags(O_RDONLY);
}

bool QXFileHandle::OpenForWriting() {
  return OpenWithFlags(O_WRONLY);
}

bool QXFileHandle::OpenWithFlags(int flags) {
  int error = 0;
  if (OpenFile(mPath, flags, mFile, &error))
    return true;
  if (error == kFileNotFoundError) {
    SetLastError(error, L"File not found");
  } else {
    SetLastPosixError(error);
  }
  return false;
}

// Reads from the offset up to `limit` bytes (or to the end), then hands the
// bytes to the content. Only a failed read makes the result false; a content
// buffer too small for the bytes leaves its -41 error behind.
bool QXFileHandle::ReadBytes(uint64_t limit, bool append) {
  if (!mFile) {
    SetLastPosixError(EBADF);
    return false;
  }
  bool readFailed = false;
  std::vector<char> bytes;
  if (lseek(mFile.get(), static_cast<off_t>(mOffset), SEEK_SET) < 0) {
    SetLastPosixError(errno);
    readFailed = true;
  }
  while (!readFailed && bytes.size() < limit) {
    const size_t before = bytes.size();
    const size_t want = static_cast<size_t>(std::min<uint64_t>(limit - before, kReadChunk));
    bytes.resize(before + want);
    ssize_t got = read(mFile.get(), bytes.data() + before, want);
    if (got < 0 && errno == EINTR) {
      bytes.resize(before);
      continue;
    }
    if (got < 0) {
      SetLastPosixError(errno);
      readFailed = true;
    }
    bytes.resize(before + static_cast<size_t>(got > 0 ? got : 0));
    if (got <= 0)
      break;
  }
  off_t position = lseek(mFile.get(), 0, SEEK_CUR);
  if (position >= 0)
    mOffset = static_cast<uint64_t>(position);
  if (readFailed)
    return false;
  mBytesRead = bytes.size();
  if (append) {
    AppendToBuffer(bytes.data(), bytes.size());
  } else {
    OverrideBuffer(bytes.data(), bytes.size());
  }
  return true;
}

bool QXFileHandle::ReadFromDisk(bool append) {
  return ReadBytes(mReadLength, append);
}

bool QXFileHandle::WriteContentToDisk() {
  if (!mFile) {
    SetLastPosixError(EBADF);
    return false;
  }
  if (lseek(mFile.get(), static_cast<off_t>(mOffset), SEEK_SET) < 0) {
    SetLastPosixError(errno);
    return false;
  }
  QXBuffer content = GetContentBuffer();
  const char* bytes = content.data();
  unsigned long long left = content.size();
  bool written = true;
  while (left > 0) {
    ssize_t count = write(mFile.get(), bytes, left);
    if (count < 0 && errno == EINTR)
      continue;
    if (count < 0) {
      SetLastPosixError(errno);
      written = false;
      break;
    }
    bytes += count;
    left -= static_cast<unsigned long long>(count);
  }
  off_t position = lseek(mFile.get(), 0, SEEK_CUR);
  if (position >= 0)
    mOffset = static_cast<uint64_t>(position);
  return written;
}

bool QXFileHandle::CreateOnDisk() const {
  QXBuffer content = GetContentBuffer();
  const bool noOverwrite = false;
  return CreateFile(mPath, &mAttributes.mIsDirectory, &mAttributes.mIsAlias,
                    &mAttributes.mIsSymbolicLink, &mAttributes.mIsHidden, content.data(),
                    content.size(), &noOverwrite, &mLastErrorCode, &mLastErrorText);
}

}  // namespace MacFileOperations
