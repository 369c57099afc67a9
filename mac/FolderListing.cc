#include "mac/FolderListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

FolderListing ReadFolder(const std::string& path, const std::function<bool()>& goOn) {
  FolderListing listing;
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    listing.openError = errno;
    return listing;
  }
  std::unique_ptr<DIR, DirCloser> dir(fdopendir(fd));
  if (!dir) {
    close(fd);
    return listing;
  }
  bool stopped = false;
  for (; dirent* entry = readdir(dir.get()); ++listing.listed) {
    if (!goOn()) {
      stopped = true;
      break;
    }
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
      continue;
    struct stat status;
    if (fstatat(dirfd(dir.get()), name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT)
        listing.failures.push_back({listing.listed, name, errno});
      continue;
    }
    const size_t offset = listing.names.size();
    const size_t nameLength = std::strlen(name);
    listing.names.append(name, nameLength);
    if (S_ISDIR(status.st_mode))
      listing.names += '/';
    listing.names += '\0';
    listing.entries.push_back({offset, nameLength, ItemStatus(status)});
  }
  listing.counted = listing.listed;
  if (stopped)
    return listing;
  listing.complete = true;
  // Sorted here rather than by the walk, so that a listing read ahead on
  // another thread also takes the sort off the walk.
  std::stable_sort(listing.entries.begin(), listing.entries.end(),
                   [&listing](const FolderListing::Entry& left, const FolderListing::Entry& right) {
                     return strcasecmp(listing.Key(left), listing.Key(right)) < 0;
                   });
  return listing;
}
