#include "Assistant/Mac/Cocoa/MacFileOperations/WholeItems.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <system_error>

#include "Assistant/Mac/Cocoa/MacFileOperations/PlatformLog.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/PosixBridge.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/PosixPaths.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/UniqueFd.h"

namespace fs = std::filesystem;

namespace MacFileOperations {
namespace {

// Both paths as bytes, or the -43 error when one cannot be encoded.
bool ExistsAsItem(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

// The native paths of a move or a copy: the source must be there and the
// destination must not.
bool TransferPaths(const std::wstring& from, const std::wstring& to, std::string& nativeFrom,
                   std::string& nativeTo, short* error, std::wstring* errorText) {
  auto first = NativePath(from);
  auto second = NativePath(to);
  if (!first || !second || first->empty() || second->empty()) {
    SetFileNotFoundError(error, errorText);
    return false;
  }
  nativeFrom = *first;
  nativeTo = *second;
  if (!ExistsAsItem(nativeFrom)) {
    SetPosixError(errno, error, errorText);
    return false;
  }
  if (ExistsAsItem(nativeTo)) {
    SetPosixError(EEXIST, error, errorText);
    return false;
  }
  return true;
}

bool CopyItem(const std::string& from, const std::string& to, std::error_code& failure) {
  fs::copy(fs::path(from), fs::path(to),
           fs::copy_options::recursive | fs::copy_options::copy_symlinks, failure);
  return !failure;
}

bool ReadAll(int fd, std::vector<char>& bytes) {
  char chunk[64 * 1024];
  for (;;) {
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return false;
    if (got == 0)
      return true;
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
}

std::optional<std::string> LinkTarget(const std::string& path) {
  std::string target(PATH_MAX, '\0');
  ssize_t length = readlink(path.c_str(), target.data(), target.size());
  if (length < 0)
    return std::nullopt;
  target.resize(static_cast<size_t>(length));
  return target;
}

bool FilesEqual(const std::string& first, const std::string& second) {
  UniqueFd a(open(first.c_str(), O_RDONLY | O_CLOEXEC));
  UniqueFd b(open(second.c_str(), O_RDONLY | O_CLOEXEC));
  if (!a || !b)
    return false;
  char left[64 * 1024];
  char right[64 * 1024];
  for (;;) {
    ssize_t gotLeft = read(a.get(), left, sizeof left);
    if (gotLeft < 0)
      return false;
    size_t filled = 0;
    while (filled < static_cast<size_t>(gotLeft)) {
      ssize_t got = read(b.get(), right + filled, static_cast<size_t>(gotLeft) - filled);
      if (got <= 0)
        return false;
      filled += static_cast<size_t>(got);
    }
    if (std::memcmp(left, right, filled) != 0)
      return false;
    if (gotLeft == 0) {
      char extra;
      return read(b.get(), &extra, 1) == 0;
    }
  }
}

std::set<std::string> EntryNames(const std::string& folder, bool* ok) {
  std::set<std::string> names;
  std::error_code failure;
  for (fs::directory_iterator it(fs::path(folder), failure), end; !failure && it != end;
       it.increment(failure)) {
    names.insert(it->path().filename().string());
  }
  *ok = !failure;
  return names;
}

bool ItemsEqual(const std::string& first, const std::string& second) {
  struct stat a;
  struct stat b;
  if (lstat(first.c_str(), &a) != 0 || lstat(second.c_str(), &b) != 0)
    return false;
  if ((a.st_mode & S_IFMT) != (b.st_mode & S_IFMT))
    return false;
  if (S_ISREG(a.st_mode))
    return a.st_size == b.st_size && FilesEqual(first, second);
  if (S_ISLNK(a.st_mode)) {
    auto targetA = LinkTarget(first);
    return targetA && targetA == LinkTarget(second);
  }
  if (S_ISDIR(a.st_mode)) {
    bool okA = false;
    bool okB = false;
    const auto namesA = EntryNames(first, &okA);
    const auto namesB = EntryNames(second, &okB);
    if (!okA || !okB || namesA != namesB)
      return false;
    for (const auto& name : namesA) {
      if (!ItemsEqual(JoinPath(first, name), JoinPath(second, name)))
        return false;
    }
    return true;
  }
  // Devices, sockets and pipes have no content to compare.
  return a.st_rdev == b.st_rdev;
}

}  // namespace

bool Remove(const std::wstring& path, short* error, std::wstring* errorText) {
  auto native = NativePath(path);
  bool removed = false;
  if (!native || native->empty()) {
    SetFileNotFoundError(error, errorText);
  } else if (!ExistsAsItem(*native)) {
    SetPosixError(errno, error, errorText);
  } else {
    std::error_code failure;
    fs::remove_all(fs::path(*native), failure);
    removed = !failure;
    if (failure)
      SetPosixError(failure.value(), error, errorText);
  }
  PlatformLog(removed ? "Remove successful" : "Remove failed");
  return removed;
}

bool Move(const std::wstring& from, const std::wstring& to, short* error, std::wstring* errorText) {
  std::string source;
  std::string destination;
  if (!TransferPaths(from, to, source, destination, error, errorText))
    return false;
  if (rename(source.c_str(), destination.c_str()) == 0)
    return true;
  if (errno != EXDEV) {
    SetPosixError(errno, error, errorText);
    return false;
  }
  std::error_code failure;
  if (!CopyItem(source, destination, failure)) {
    std::error_code ignored;
    fs::remove_all(fs::path(destination), ignored);
    SetPosixError(failure.value(), error, errorText);
    return false;
  }
  fs::remove_all(fs::path(source), failure);
  if (failure) {
    SetPosixError(failure.value(), error, errorText);
    return false;
  }
  return true;
}

bool Copy(const std::wstring& from, const std::wstring& to, short* error, std::wstring* errorText) {
  std::string source;
  std::string destination;
  if (!TransferPaths(from, to, source, destination, error, errorText))
    return false;
  std::error_code failure;
  if (!CopyItem(source, destination, failure)) {
    SetPosixError(failure.value(), error, errorText);
    return false;
  }
  return true;
}

bool ContentsAreEqual(const std::wstring& first, const std::wstring& second) {
  if (first == second)
    return true;
  auto a = NativePath(first);
  auto b = NativePath(second);
  return a && b && ItemsEqual(*a, *b);
}

std::vector<char> ReadWholeFile(const std::wstring& path) {
  std::vector<char> bytes;
  auto native = NativePath(path);
  if (!native)
    return bytes;
  UniqueFd file(open(native->c_str(), O_RDONLY | O_CLOEXEC));
  if (!file || !ReadAll(file.get(), bytes))
    bytes.clear();
  return bytes;
}

}  // namespace MacFileOperations
