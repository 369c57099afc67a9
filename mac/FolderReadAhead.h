// Reads the folders a walk is about to enter on a second thread, so that
// their system calls overlap the walk's own work on the entries before them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mac/FolderListing.h"

class FolderReadAhead {
 public:
  // Listings read but not yet taken hold at most about this many entries.
  static constexpr size_t kEntriesAhead = 4096;
  // Larger folders (by the size of their listing) are left to the walk: it
  // shows its progress while it reads them, and it should not wait long for
  // a read it cannot show.
  static constexpr off_t kLargestFolder = 256 * 1024;

  class Group;

  FolderReadAhead() = default;
  FolderReadAhead(const FolderReadAhead&) = delete;
  FolderReadAhead& operator=(const FolderReadAhead&) = delete;
  // Waits for the folder being read, if any; the rest is not read.
  ~FolderReadAhead();

  // Queues the subfolders of the folder being walked, in the order the walk
  // enters them. A walk is depth-first, so they are read before the folders
  // queued earlier; those not taken are forgotten with the group.
  Group Expect(std::vector<std::string> paths);

  // The listing of the folder at `path`: the one read ahead when it is
  // queued in the newest group, else read now with `goOn` (see ReadFolder).
  // Folders queued before it in that group are forgotten: the walk has
  // passed them.
  FolderListing Take(const std::string& path, const std::function<bool()>& goOn);

 private:
  struct Item {
    explicit Item(std::string itemPath) : path(std::move(itemPath)) {}
    enum State { kQueued, kReading, kRead } state = kQueued;
    // Whether a group still holds it; its listing counts as read ahead only
    // then.
    bool queued = true;
    std::string path;
    FolderListing listing;
  };
  using Items = std::list<std::shared_ptr<Item>>;

  void Forget(Items::iterator first, Items::iterator last);
  std::shared_ptr<Item> NextToRead();
  void ReadQueued();

  std::mutex mLock;
  std::condition_variable mChanged;
  // The groups, the newest last.
  std::vector<Items> mGroups;
  // Entries of the listings read and not yet taken.
  size_t mEntriesRead = 0;
  // Also read without the lock, to cut a read short.
  std::atomic<bool> mStopping{false};
  // Started with the first folder queued: most walks are of single files.
  // Without it (no thread could be had, or it ran out of memory) the walk
  // reads every folder itself.
  bool mReaderTried = false;
  std::thread mReader;
};

// The subfolders queued together; they are forgotten when it goes.
class FolderReadAhead::Group {
 public:
  Group(const Group&) = delete;
  Group& operator=(const Group&) = delete;
  ~Group();

 private:
  friend class FolderReadAhead;
  explicit Group(FolderReadAhead& owner) : mOwner(owner) {}
  FolderReadAhead& mOwner;
};
