#include "Assistant/Mac/Cocoa/MacFileOperations/FileQueries.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "Assistant/Mac/Cocoa/MacFileOperations/PosixBridge.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/PosixPaths.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/UniqueFd.h"

namespace MacFileOperations {
namespace {

// The item's own status (a link is not followed), with its birth time where
// the file system keeps one.
bool StatItem(const std::string& path, struct statx& status, int* error) {
  if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME,
            &status) != 0) {
    *error = errno;
    return false;
  }
  return true;
}

double ToReferenceSeconds(const statx_timestamp& time) {
  timespec converted{};
  converted.tv_sec = static_cast<time_t>(time.tv_sec);
  converted.tv_nsec = static_cast<long>(time.tv_nsec);
  return SecondsSinceReferenceDate(converted);
}

double CreationDate(const struct statx& status) {
  return (status.stx_mask & STATX_BTIME) != 0 ? ToReferenceSeconds(status.stx_btime) : kNoDate;
}

// The name in a user or group database entry, its buffer grown until the
// entry fits; empty when there is none.
template <typename Entry, typename Id>
std::wstring EntryName(Id id, int (*lookup)(Id, Entry*, char*, size_t, Entry**),
                       char* Entry::*name) {
  std::vector<char> buffer(1024);
  Entry entry;
  Entry* found = nullptr;
  while (lookup(id, &entry, buffer.data(), buffer.size(), &found) == ERANGE)
    buffer.resize(buffer.size() * 2);
  return found != nullptr ? WidePath(found->*name) : std::wstring();
}

std::wstring UserName(uid_t uid) {
  return EntryName(uid, getpwuid_r, &passwd::pw_name);
}

std::wstring GroupName(gid_t gid) {
  return EntryName(gid, getgrgid_r, &group::gr_name);
}

bool MakeFolders(const std::string& path, int* error) {
  if (mkdir(path.c_str(), 0777) == 0)
    return true;
  if (errno == EEXIST) {
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
      return true;
    *error = EEXIST;
    return false;
  }
  if (errno != ENOENT) {
    *error = errno;
    return false;
  }
  std::string name;
  std::string parent;
  SplitPath(path, name, parent);
  if (parent.empty() || parent == path || !MakeFolders(parent, error)) {
    if (parent.empty() || parent == path)
      *error = ENOENT;
    return false;
  }
  if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST)
    return true;
  *error = errno;
  return false;
}

bool WriteNewFile(const std::string& path, const char* content, unsigned long long length,
                  bool noOverwrite, int* error) {
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (noOverwrite ? O_EXCL : O_TRUNC);
  UniqueFd file(open(path.c_str(), flags, 0666));
  if (!file) {
    *error = errno;
    return false;
  }
  while (length > 0) {
    ssize_t written = write(file.get(), content, length);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      *error = errno;
      return false;
    }
    content += written;
    length -= static_cast<unsigned long long>(written);
  }
  return true;
}

}  // namespace

bool FileExists(const std::wstring& path) {
  auto native = NativePath(path);
  struct stat status;
  return native && !native->empty() && stat(native->c_str(), &status) == 0;
}

QXFileSystemAttributes AttributesOfFileSystemForPath(const std::wstring& path, short* error,
                                                     std::wstring* errorText) {
  QXFileSystemAttributes attributes;
  auto native = NativePath(path);
  if (!native || native->empty()) {
    SetFileNotFoundError(error, errorText);
    return attributes;
  }
  struct statvfs volume;
  if (statvfs(native->c_str(), &volume) != 0) {
    SetPosixError(errno, error, errorText);
    return attributes;
  }
  struct statx item;
  int failure = 0;
  if (!StatItem(*native, item, &failure)) {
    SetPosixError(failure, error, errorText);
    return attributes;
  }
  attributes.mFileSize = item.stx_size;
  attributes.mReferenceCount = item.stx_nlink;
  if (S_ISBLK(item.stx_mode) || S_ISCHR(item.stx_mode)) {
    attributes.mDeviceIdentifier = makedev(item.stx_rdev_major, item.stx_rdev_minor);
  }
  attributes.mOwnerAccountName = UserName(item.stx_uid);
  attributes.mGroupOwnerAccountName = GroupName(item.stx_gid);
  attributes.mPosixPermissions = static_cast<uint16_t>(item.stx_mode & 07777);
  attributes.mFileSystemNumber = makedev(item.stx_dev_major, item.stx_dev_minor);
  attributes.mFileSystemFileNumber = item.stx_ino;
  attributes.mImmutable = (item.stx_attributes & STATX_ATTR_IMMUTABLE) != 0;
  attributes.mAppendOnly = (item.stx_attributes & STATX_ATTR_APPEND) != 0;
  attributes.mOwnerAccountID = item.stx_uid;
  attributes.mGroupOwnerAccountID = item.stx_gid;
  attributes.mVolumeSize = static_cast<uint64_t>(volume.f_blocks) * volume.f_frsize;
  attributes.mVolumeFreeSize = static_cast<uint64_t>(volume.f_bavail) * volume.f_frsize;
  attributes.mVolumeNodes = volume.f_files;
  attributes.mVolumeFreeNodes = volume.f_ffree;
  return attributes;
}

void AttributesForPath(const wchar_t* path, bool* isDirectory, bool* isAlias, bool* isSymbolicLink,
                       bool* isHidden, unsigned long long* size, double* modificationDate,
                       double* creationDate, std::wstring* typeIdentifier, short* error,
                       std::wstring* errorText) {
  std::optional<std::string> native;
  if (path != nullptr)
    native = NativePath(path);
  if (!native || native->empty()) {
    SetFileNotFoundError(error, errorText);
    return;
  }
  struct statx item;
  int failure = 0;
  if (!StatItem(*native, item, &failure)) {
    SetPosixError(failure, error, errorText);
    return;
  }
  const bool link = S_ISLNK(item.stx_mode);
  const bool directory = S_ISDIR(item.stx_mode);
  if (isDirectory != nullptr)
    *isDirectory = directory;
  if (isAlias != nullptr)
    *isAlias = link;
  // A link already reads as alias, which is what the callers follow.
  if (isSymbolicLink != nullptr)
    *isSymbolicLink = false;
  if (isHidden != nullptr)
    *isHidden = IsHiddenPath(*native);
  if (size != nullptr)
    *size = directory ? 0 : item.stx_size;
  if (modificationDate != nullptr)
    *modificationDate = ToReferenceSeconds(item.stx_mtime);
  if (creationDate != nullptr)
    *creationDate = CreationDate(item);
  if (typeIdentifier != nullptr)
    typeIdentifier->clear();
}

std::wstring PathFromPaths(std::wstring first, std::wstring second) {
  if (first.empty())
    return second;
  if (second.empty())
    return first;
  size_t end = first.find_last_not_of(L'/');
  first.erase(end == std::wstring::npos ? 0 : end + 1);
  size_t start = second.find_first_not_of(L'/');
  first += L'/';
  if (start != std::wstring::npos)
    first.append(second, start, std::wstring::npos);
  return first;
}

void NameAndParentFromPath(std::wstring path, std::wstring& name, std::wstring& parent) {
  size_t end = path.find_last_not_of(L'/');
  if (end == std::wstring::npos) {
    name = path.empty() ? std::wstring() : L"/";
    parent = name;
    return;
  }
  size_t slash = path.rfind(L'/', end);
  if (slash == std::wstring::npos) {
    name = path.substr(0, end + 1);
    parent.clear();
    return;
  }
  name = path.substr(slash + 1, end - slash);
  size_t parentEnd = path.find_last_not_of(L'/', slash);
  parent = parentEnd == std::wstring::npos ? L"/" : path.substr(0, parentEnd + 1);
}

bool CreateFile(const std::wstring& path, const bool* isDirectory, const bool* /*isAlias*/,
                const bool* /*isSymbolicLink*/, const bool* /*isHidden*/, const char* content,
                unsigned long long contentLength, const bool* noOverwrite, short* error,
                std::wstring* errorText) {
  const bool exists = FileExists(path);
  const bool folder = isDirectory != nullptr && *isDirectory;
  const bool keepExisting = noOverwrite != nullptr && *noOverwrite;
  if (exists && isDirectory != nullptr && (folder || keepExisting))
    return false;
  auto native = NativePath(path);
  if (!native || native->empty()) {
    SetFileNotFoundError(error, errorText);
    return false;
  }
  int failure = 0;
  const bool made = folder ? MakeFolders(*native, &failure)
                           : WriteNewFile(*native, content, content != nullptr ? contentLength : 0,
                                          keepExisting, &failure);
  if (!made)
    SetPosixError(failure, error, errorText);
  return made;
}

}  // namespace MacFileOperations
