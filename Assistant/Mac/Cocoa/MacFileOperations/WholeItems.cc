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

}  // namespace MacFileOperations
