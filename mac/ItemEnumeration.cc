#include "mac/ItemEnumeration.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

#include "Assistant/Mac/Cocoa/MacFileOperations/FileQueries.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/FileURL.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/PosixBridge.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/PosixPaths.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileHandle.h"
#include "mac/QXWebClientBaseMac.h"

using MacFileOperations::QXFileHandle;

namespace {

// Links followed from one item before giving up, as in the alias resolution
// of a picked item.
constexpr int kAliasResolutionDepth = 10;
// Links followed when resolving a URL's item: the system's own limit.
constexpr int kURLLinkChainDepth = 40;

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// One walk of one picked item. It reads each entry's status once, relative
// to its open folder, and follows links by path only where there is one: the
// same records as reading the full attribute record of every item, at the
// cost of one stat per entry.
class Walk {
 public:
  Walk(EnumerationCallbackProc callback, void* context)
      : mCallback(callback), mList(static_cast<CFileList*>(context)) {}

  // An item known only by its path: it must exist (links count by their
  // targets), and a link stands for the item its chain ends at, under that
  // item's own path and name.
  int VisitPath(const std::string& path, const std::wstring& relativePath) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0)
      return 0;
    if (lstat(path.c_str(), &status) != 0)
      return 0;
    std::string itemPath = path;
    if (S_ISLNK(status.st_mode)) {
      int error = 0;
      auto resolved = MacFileOperations::ResolveLinkChain(path, kAliasResolutionDepth, &error);
      if (!resolved || lstat(resolved->c_str(), &status) != 0)
        return 0;
      itemPath = std::move(*resolved);
    }
    if (S_ISDIR(status.st_mode)) {
      WalkFolder(itemPath, status, relativePath);
      return 0;
    }
    return VisitFile(itemPath, status, MacFileOperations::IsHiddenPath(itemPath), relativePath);
  }

 private:
  int VisitFile(const std::string& path, const struct stat& status, bool hidden,
                const std::wstring& relativePath) {
    mHandle.SetPath(MacFileOperations::WidePath(path));
    auto& attributes = mHandle.Attributes();
    attributes.mIsDirectory = false;
    attributes.mIsAlias = false;
    attributes.mIsHidden = hidden;
    attributes.mFileSize = static_cast<uint64_t>(status.st_size);
    return mCallback(mHandle, relativePath, mList) ? 0 : kEnumerationFileNotAdded;
  }

  bool OnCurrentWalk(const struct stat& status) const {
    for (const auto& folder : mFolders) {
      if (folder.device == status.st_dev && folder.inode == status.st_ino)
        return true;
    }
    return false;
  }

  void WalkFolder(const std::string& path, const struct stat& status,
                  const std::wstring& relativePath) {
    // A link back to a folder being walked would never end.
    if (OnCurrentWalk(status))
      return;
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
      return;
    std::unique_ptr<DIR, DirCloser> dir(fdopendir(fd));
    if (!dir) {
      close(fd);
      return;
    }
    std::string name;
    std::string parent;
    MacFileOperations::SplitPath(path, name, parent);
    const std::wstring childRelativePath =
        MacFileOperations::PathFromPaths(relativePath, MacFileOperations::WidePath(name));

    mFolders.push_back({status.st_dev, status.st_ino});
    std::string childPath = MacFileOperations::JoinPath(path, "x");
    const size_t prefixLength = childPath.size() - 1;
    while (dirent* entry = readdir(dir.get())) {
      const char* entryName = entry->d_name;
      if (entryName[0] == '.' &&
          (entryName[1] == '\0' || (entryName[1] == '.' && entryName[2] == '\0'))) {
        continue;
      }
      childPath.resize(prefixLength);
      childPath += entryName;
      struct stat child;
      if (fstatat(dirfd(dir.get()), entryName, &child, AT_SYMLINK_NOFOLLOW) != 0)
        continue;
      if (S_ISLNK(child.st_mode)) {
        VisitPath(childPath, childRelativePath);
      } else if (S_ISDIR(child.st_mode)) {
        WalkFolder(childPath, child, childRelativePath);
      } else {
        VisitFile(childPath, child, entryName[0] == '.', childRelativePath);
      }
    }
    mFolders.pop_back();
  }

  struct FolderId {
    dev_t device;
    ino_t inode;
  };

  EnumerationCallbackProc mCallback;
  CFileList* mList;
  QXFileHandle mHandle{std::wstring(), false, false, false, false};
  std::vector<FolderId> mFolders;
};

// The records of one folder share one relative path text rather than each
// holding a copy.
const xwstring& SharedRelativePath(const std::wstring& relativePath) {
  thread_local std::wstring lastPath;
  thread_local xwstring lastText;
  if (lastText.length() < 0 || lastPath != relativePath) {
    lastPath = relativePath;
    lastText = relativePath;
  }
  return lastText;
}

// Whether the text can be read as a URL at all: printable ASCII without
// blanks, every "%" starting an escape.
bool IsURLText(const char* text) {
  for (const char* c = text; *c != '\0'; ++c) {
    const unsigned char byte = static_cast<unsigned char>(*c);
    if (byte <= ' ' || byte >= 0x7f)
      return false;
    if (byte == '%' && !(std::isxdigit(static_cast<unsigned char>(c[1])) &&
                         std::isxdigit(static_cast<unsigned char>(c[2])))) {
      return false;
    }
  }
  return true;
}

// The item's path with its parent folders resolved; empty when no item is
// there.
std::string PathOfExistingItem(const std::string& path) {
  struct stat status;
  if (path.empty() || lstat(path.c_str(), &status) != 0)
    return std::string();
  std::string name;
  std::string parent;
  MacFileOperations::SplitPath(path, name, parent);
  if (name == "/")
    return name;
  char resolved[PATH_MAX];
  if (realpath(parent.empty() ? "." : parent.c_str(), resolved) == nullptr)
    return std::string();
  return MacFileOperations::JoinPath(resolved, name);
}

}  // namespace

int EnumerateFiles(const xwstring& path, const std::wstring& relativePath,
                   EnumerationCallbackProc callback, void* context) {
  const char* bytes = path;
  if (bytes == nullptr || bytes[0] == '\0')
    return 0;
  Walk walk(callback, context);
  return walk.VisitPath(bytes, relativePath);
}

CFStringRef GetPathFromCFURL(const std::string& url) {
  auto path = MacFileOperations::PathFromFileURL(url);
  return CFStringCreateWithUTF8(path ? PathOfExistingItem(*path) : std::string());
}

bool CQXWebClientBaseMac::EnumerationCallback(const QXFileHandle& file,
                                              const std::wstring& relativePath, CFileList* list) {
  xwstring_pair key(xwstring(file.Path()), SharedRelativePath(relativePath));
  const double size = static_cast<double>(file.Attributes().mFileSize);
  return list->emplace(std::move(key), size).second;
}

bool CQXWebClientBaseMac::AddFiles(json_xwstringset& items) {
  CFileList files;
  for (const xwstring& item : items) {
    const int status = EnumerateFiles(item, std::wstring(), EnumerationCallback, &files);
    if (status != 0)
      ReportError(kErrAddFileOSError, static_cast<const char*>(item), status);
  }
  return CQXWebClientBase::AddFiles(files);
}

void CQXWebClientBaseMac::GetFSItemFullPosixPathFromURLString(const char* url, CFStringRef* path) {
  if (path == nullptr)
    return;
  *path = nullptr;
  if (url == nullptr || !IsURLText(url))
    return;
  try {
    auto native = MacFileOperations::PathFromFileURL(url);
    struct stat status;
    if (native && lstat(native->c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
      int error = 0;
      auto resolved = MacFileOperations::ResolveLinkChain(*native, kURLLinkChainDepth, &error);
      if (resolved)
        *path = CFStringCreateWithUTF8(PathOfExistingItem(*resolved));
    }
    if (*path == nullptr)
      *path = GetPathFromCFURL(url);
  } catch (...) {
    // Nothing of a failed conversion reaches the caller.
  }
}
