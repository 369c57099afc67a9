// One folder's entries as a walk reads them: each with its own status, in
// the order the walk visits them.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// What a walk needs of an item's status.
struct ItemStatus {
  explicit ItemStatus(const struct stat& status)
      : mode(status.st_mode), size(status.st_size), device(status.st_dev), inode(status.st_ino) {}
  mode_t mode;
  off_t size;
  dev_t device;
  ino_t inode;
};

struct FolderListing {
  // An entry's sort key, its name (with "/" after a folder's) and a NUL,
  // is kept in `names`: one buffer for the folder rather than a string for
  // each entry.
  struct Entry {
    size_t offset;
    size_t nameLength;
    ItemStatus status;
  };
  // An entry that was listed but could not be looked at.
  struct Failure {
    size_t at;  // its place among the `listed` ones
    std::string name;
    int error;
  };

  const char* Key(const Entry& entry) const { return names.data() + entry.offset; }

  // The errno of opening the folder; 0 when it was opened.
  int openError = 0;
  // Whether it was read to the end.
  bool complete = false;
  // How many entries were read, "." and ".." and failures included, and
  // how many of those the walk counted as they were read: all when `goOn`
  // counted them, none when the folder was read ahead.
  size_t listed = 0;
  size_t counted = 0;
  std::vector<Failure> failures;
  // Names compared ignoring case, a folder's followed by "/" as its files'
  // paths are; names equal but for case keep their listing order.
  std::vector<Entry> entries;
  std::string names;
};

// Reads the folder at `path` with the status of each entry (links not
// followed); entries that vanish meanwhile are left out. `goOn` is asked
// before each entry is read, so that a long read can show its progress and
// be stopped. The folder is closed again before this returns, so the depth
// of a walk is not bound by open descriptors.
FolderListing ReadFolder(const std::string& path, const std::function<bool()>& goOn);
