#include "mac/ItemEnumeration.h"

#include <glib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "Assistant/Mac/Cocoa/MacFileOperations/FileQueries.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/FileURL.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/PosixBridge.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/PosixPaths.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileHandle.h"
#include "mac/FolderListing.h"
#include "mac/FolderReadAhead.h"
#include "mac/QXWebClientBaseMac.h"
#include "mac/SkippedItems.h"
#include "platform/core/TextConversion.h"
#include "platform/dialogs/ProgressWindow.h"

using MacFileOperations::QXFileHandle;

namespace {

// Links followed from one item before giving up, as in the alias resolution
// of a picked item.
constexpr int kAliasResolutionDepth = 10;
// Links followed when resolving a URL's item: the system's own limit.
constexpr int kURLLinkChainDepth = 40;

// Errors that mean there is no item to leave out: it is missing or gone, or
// it is a link that leads nowhere (broken, looping or too long a chain).
bool LeadsNowhere(int error) {
  return error == ENOENT || error == ENOTDIR || error == ELOOP ||
         error == MacFileOperations::kFileNotFoundError;
}

std::string ErrorText(int error) {
  char buffer[256];
  // The GNU strerror_r may return a static text instead of filling the buffer.
  return strerror_r(error, buffer, sizeof buffer);
}

bool IsUTF8(const char* text, size_t length) {
  return g_utf8_validate(text, static_cast<gssize>(length), nullptr);
}

constexpr char kNotUTF8[] = "its path is not valid UTF-8";

// The system takes no path of PATH_MAX bytes or more.
std::string TooLong(size_t length) {
  return "its path of " + std::to_string(length) + " bytes is longer than the system allows (" +
         std::to_string(PATH_MAX - 1) + ")";
}

// One walk of one picked item. It reads each entry's status once, relative
// to its open folder, and follows links by path only where there is one: the
// same records as reading the full attribute record of every item, at the
// cost of one stat per entry.
class Walk {
 public:
  Walk(EnumerationCallbackProc callback, void* context, CSkippedItems* skipped,
       CWalkProgress* progress)
      : mCallback(callback),
        mList(static_cast<CFileList*>(context)),
        mSkipped(skipped),
        mProgress(progress) {}

  // An item known only by its path: it must exist (links count by their
  // targets), and a link stands for the item its chain ends at, under that
  // item's own path and name.
  int VisitPath(const std::string& path, const std::wstring& relativePath) {
    int error = 0;
    auto item = MacFileOperations::ResolveLinkChain(path, kAliasResolutionDepth, &error);
    struct stat status;
    if (item && lstat(item->c_str(), &status) != 0)
      error = errno;
    if (error != 0) {
      if (!LeadsNowhere(error))
        Skip(path, false, ErrorText(error));
      return 0;
    }
    if (!IsUTF8(item->data(), item->size())) {
      Skip(*item, S_ISDIR(status.st_mode), kNotUTF8);
      return 0;
    }
    if (S_ISDIR(status.st_mode)) {
      WalkFolder(*item, ItemStatus(status), relativePath, false);
      return 0;
    }
    return VisitFile(*item, ItemStatus(status), MacFileOperations::IsHiddenPath(*item),
                     relativePath);
  }

 private:
  struct FolderId {
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId& other) const {
      return device == other.device && inode == other.inode;
    }
    bool operator<(const FolderId& other) const {
      return device != other.device ? device < other.device : inode < other.inode;
    }
  };

  // Counts one entry read or visited; false once the walk is to stop.
  bool Counted() {
    if (--mUntilReport != 0)
      return !mStopped;
    mUntilReport = CWalkProgress::kEntriesPerReport;
    if (mProgress != nullptr && !mStopped)
      mStopped = !mProgress->Report();
    return !mStopped;
  }

  void Skip(const std::string& path, bool folder, const std::string& reason) {
    if (mSkipped != nullptr)
      mSkipped->Add(path, folder, reason);
  }

  int VisitFile(const std::string& path, const ItemStatus& status, bool hidden,
                const std::wstring& relativePath) {
    mWidePath.resize(QXDecodedLength(path.data(), path.size()));
    QXDecodeUTF8Into(path.data(), path.size(), mWidePath.data());
    mHandle.SetPath(mWidePath);
    auto& attributes = mHandle.Attributes();
    attributes.mIsDirectory = false;
    attributes.mIsAlias = false;
    attributes.mIsHidden = hidden;
    attributes.mFileSize = static_cast<uint64_t>(status.size);
    return mCallback(mHandle, relativePath, mList) ? 0 : kEnumerationFileNotAdded;
  }

  bool OnCurrentWalk(const FolderId& id) const {
    return std::find(mFolders.begin(), mFolders.end(), id) != mFolders.end();
  }

  // A folder reached again under the same relative path (through links
  // there can be exponentially many ways to it) gives the same records
  // again, so it is walked once. Only links back to folders above it can
  // make a difference: they were not followed, so the repeat is skipped only
  // when those folders are above it again. A folder `queued` was met in its
  // parent's listing, so the read-ahead may have read it.
  void WalkFolder(const std::string& path, const ItemStatus& status,
                  const std::wstring& relativePath, bool queued) {
    const FolderId id{status.device, status.inode};
    // A link back to a folder being walked would never end.
    if (OnCurrentWalk(id)) {
      mLedBack.push_back(id);
      return;
    }
    std::string key = path;
    key += '\0';
    key += QXEncodeUTF8(relativePath.data(), relativePath.size());
    const auto walked = mWalked.find(key);
    if (walked != mWalked.end() &&
        std::all_of(walked->second.begin(), walked->second.end(),
                    [this](const FolderId& above) { return OnCurrentWalk(above); })) {
      mLedBack.insert(mLedBack.end(), walked->second.begin(), walked->second.end());
      return;
    }

    const size_t ledBackMark = mLedBack.size();
    mFolders.push_back(id);
    const auto counted = [this] { return Counted(); };
    const FolderListing listing =
        queued ? mReadAhead.Take(path, counted) : ReadFolder(path, counted);
    if (Listed(path, listing))
      VisitEntries(path, relativePath, listing);
    mFolders.pop_back();

    // What is left of the links back is what lies above this folder.
    const auto first = mLedBack.begin() + static_cast<std::ptrdiff_t>(ledBackMark);
    mLedBack.erase(std::remove(first, mLedBack.end(), id), mLedBack.end());
    std::sort(first, mLedBack.end());
    mLedBack.erase(std::unique(first, mLedBack.end()), mLedBack.end());
    mWalked[std::move(key)].assign(first, mLedBack.end());
  }

  // Counts the entries of a folder read ahead as if they were read now and
  // tells those that could not be looked at, as far as the walk goes on;
  // false when there is nothing to visit.
  bool Listed(const std::string& path, const FolderListing& listing) {
    if (listing.openError != 0 && !LeadsNowhere(listing.openError))
      Skip(path, true, ErrorText(listing.openError));
    auto failure = listing.failures.begin();
    for (size_t index = 0; index < listing.listed; ++index) {
      if (index >= listing.counted && !Counted())
        return false;
      for (; failure != listing.failures.end() && failure->at == index; ++failure)
        Skip(MacFileOperations::JoinPath(path, failure->name), false, ErrorText(failure->error));
    }
    return listing.complete;
  }

  enum class EntryKind { kTooLong, kLink, kNameNotUTF8, kFolder, kFile };

  static EntryKind Kind(const FolderListing& listing, const FolderListing::Entry& entry,
                        size_t pathLength) {
    if (pathLength >= PATH_MAX)
      return EntryKind::kTooLong;
    if (S_ISLNK(entry.status.mode))
      return EntryKind::kLink;
    if (!IsUTF8(listing.Key(entry), entry.nameLength))
      return EntryKind::kNameNotUTF8;
    return S_ISDIR(entry.status.mode) ? EntryKind::kFolder : EntryKind::kFile;
  }

  // Entries are visited in the list's own order (the listing's), so that
  // each record goes in along the list's hot right edge rather than at a
  // random place. The subfolders met on the way are read ahead meanwhile.
  void VisitEntries(const std::string& path, const std::wstring& relativePath,
                    const FolderListing& listing) {
    std::string name;
    std::string parent;
    MacFileOperations::SplitPath(path, name, parent);
    const std::wstring childRelativePath =
        MacFileOperations::PathFromPaths(relativePath, MacFileOperations::WidePath(name));

    std::string childPath = MacFileOperations::JoinPath(path, "x");
    const size_t prefixLength = childPath.size() - 1;
    std::vector<std::string> subfolders;
    for (const FolderListing::Entry& entry : listing.entries) {
      // The status first: it rules out files and large folders without a look
      // at their names.
      if (S_ISDIR(entry.status.mode) && entry.status.size <= FolderReadAhead::kLargestFolder &&
          Kind(listing, entry, prefixLength + entry.nameLength) == EntryKind::kFolder)
        subfolders.push_back(
            childPath.substr(0, prefixLength).append(listing.Key(entry), entry.nameLength));
    }
    const auto readAhead = mReadAhead.Expect(std::move(subfolders));

    for (const FolderListing::Entry& entry : listing.entries) {
      if (!Counted())
        return;
      const char* key = listing.Key(entry);
      childPath.resize(prefixLength);
      childPath.append(key, entry.nameLength);
      switch (Kind(listing, entry, childPath.size())) {
        case EntryKind::kTooLong:
          Skip(childPath, S_ISDIR(entry.status.mode), TooLong(childPath.size()));
          break;
        case EntryKind::kLink:
          VisitPath(childPath, childRelativePath);
          break;
        case EntryKind::kNameNotUTF8:
          Skip(childPath, S_ISDIR(entry.status.mode), kNotUTF8);
          break;
        case EntryKind::kFolder:
          WalkFolder(childPath, entry.status, childRelativePath, true);
          break;
        case EntryKind::kFile:
          VisitFile(childPath, entry.status, key[0] == '.', childRelativePath);
          break;
      }
    }
  }

  EnumerationCallbackProc mCallback;
  CFileList* mList;
  CSkippedItems* mSkipped;
  CWalkProgress* mProgress;
  unsigned mUntilReport = CWalkProgress::kEntriesPerReport;
  bool mStopped = false;
  QXFileHandle mHandle{std::wstring(), false, false, false, false};
  std::wstring mWidePath;
  // The folders on the current walk, from the picked one down.
  std::vector<FolderId> mFolders;
  // Folders on the current walk that links led back to, not yet accounted
  // to a folder walked below them.
  std::vector<FolderId> mLedBack;
  // Each folder walked, by path and relative path, with the folders above
  // it that links inside it led back to.
  std::unordered_map<std::string, std::vector<FolderId>> mWalked;
  FolderReadAhead mReadAhead;
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

// The window of a long expansion, with the files found so far. It goes
// before the files are added: only the walk can be cancelled.
class ExpansionProgress final : public CWalkProgress {
 public:
  explicit ExpansionProgress(const CFileList& files) : mFiles(files) {}
  bool Report() override { return mWindow.update(mFiles.size()); }
  bool Cancelled() const { return mWindow.cancelled(); }

 private:
  const CFileList& mFiles;
  QXProgressWindow mWindow{"Adding files\u2026", "files found"};
};

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
                   EnumerationCallbackProc callback, void* context, CSkippedItems* skipped,
                   CWalkProgress* progress) {
  const char* bytes = path;
  if (bytes == nullptr || bytes[0] == '\0')
    return 0;
  Walk walk(callback, context, skipped, progress);
  return walk.VisitPath(bytes, relativePath);
}

CFStringRef GetPathFromCFURL(const std::string& url) {
  auto path = MacFileOperations::PathFromFileURL(url);
  return CFStringCreateWithUTF8(path ? PathOfExistingItem(*path) : std::string());
}

bool CQXWebClientBaseMac::EnumerationCallback(const QXFileHandle& file,
                                              const std::wstring& relativePath, CFileList* list) {
  // Only the UTF-8 form is kept: the wide one, four times its size, is made
  // again when asked for, and an upload list's paths are read as UTF-8.
  thread_local std::string path;
  const std::wstring& wide = file.Path();
  path.resize(QXEncodedLength(wide.data(), wide.size()));
  QXEncodeUTF8Into(wide.data(), wide.size(), path.data());
  xwstring_pair key(xwstring(path.c_str(), static_cast<int>(path.size())),
                    SharedRelativePath(relativePath));
  const double size = static_cast<double>(file.Attributes().mFileSize);
  // A walk comes in the list's order, so a record mostly goes in at the end.
  const size_t before = list->size();
  list->emplace_hint(list->end(), std::move(key), size);
  return list->size() != before;
}

bool CQXWebClientBaseMac::AddFiles(json_xwstringset& items) {
  CFileList files;
  CSkippedItems skipped(mLogger);
  {
    ExpansionProgress progress(files);
    for (const xwstring& item : items) {
      const int status =
          EnumerateFiles(item, std::wstring(), EnumerationCallback, &files, &skipped, &progress);
      if (progress.Cancelled()) {
        if (mLogger != nullptr)
          mLogger->Info("Adding files cancelled by the user");
        return false;
      }
      if (status != 0)
        ReportError(kErrAddFileOSError, static_cast<const char*>(item), status);
    }
  }
  skipped.Finish();
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
