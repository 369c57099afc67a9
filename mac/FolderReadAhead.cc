#include "mac/FolderReadAhead.h"

#include <algorithm>
#include <system_error>

FolderReadAhead::~FolderReadAhead() {
  {
    std::lock_guard<std::mutex> lock(mLock);
    mStopping = true;
  }
  mChanged.notify_all();
  if (mReader.joinable())
    mReader.join();
}

FolderReadAhead::Group FolderReadAhead::Expect(std::vector<std::string> paths) {
  // Made whole before it is added, so that running out of memory on the
  // way leaves no group that nothing will take away.
  Items group;
  for (std::string& path : paths)
    group.push_back(std::make_shared<Item>(std::move(path)));
  std::lock_guard<std::mutex> lock(mLock);
  const bool any = !group.empty();
  mGroups.push_back(std::move(group));
  if (any && !mReaderTried) {
    mReaderTried = true;
    try {
      mReader = std::thread(&FolderReadAhead::ReadQueued, this);
    } catch (const std::system_error&) {
      // Read by the walk itself, as without a second core.
    }
  }
  mChanged.notify_all();
  return Group(*this);
}

FolderListing FolderReadAhead::Take(const std::string& path, const std::function<bool()>& goOn) {
  std::unique_lock<std::mutex> lock(mLock);
  if (!mGroups.empty()) {
    Items& group = mGroups.back();
    const auto found = std::find_if(group.begin(), group.end(),
                                    [&path](const auto& item) { return item->path == path; });
    if (found != group.end()) {
      const std::shared_ptr<Item> item = *found;
      Forget(group.begin(), std::next(found));
      mChanged.notify_all();
      mChanged.wait(lock, [&item] { return item->state != Item::kReading; });
      if (item->state == Item::kRead)
        return std::move(item->listing);
    }
  }
  lock.unlock();
  return ReadFolder(path, goOn);
}

void FolderReadAhead::Forget(Items::iterator first, Items::iterator last) {
  for (auto item = first; item != last; ++item) {
    (*item)->queued = false;
    if ((*item)->state == Item::kRead)
      mEntriesRead -= (*item)->listing.entries.size();
  }
  mGroups.back().erase(first, last);
}

std::shared_ptr<FolderReadAhead::Item> FolderReadAhead::NextToRead() {
  if (mEntriesRead >= kEntriesAhead)
    return nullptr;
  for (auto group = mGroups.rbegin(); group != mGroups.rend(); ++group)
    for (const auto& item : *group)
      if (item->state == Item::kQueued)
        return item;
  return nullptr;
}

void FolderReadAhead::ReadQueued() {
  std::unique_lock<std::mutex> lock(mLock);
  for (;;) {
    std::shared_ptr<Item> item;
    mChanged.wait(lock, [this, &item] { return mStopping || (item = NextToRead()) != nullptr; });
    if (mStopping)
      return;
    item->state = Item::kReading;
    lock.unlock();
    FolderListing listing;
    bool read = true;
    try {
      listing = ReadFolder(item->path, [this] { return !mStopping.load(); });
      listing.counted = 0;
    } catch (const std::bad_alloc&) {
      read = false;
    }
    lock.lock();
    if (read) {
      item->listing = std::move(listing);
      item->state = Item::kRead;
      if (item->queued)
        mEntriesRead += item->listing.entries.size();
    } else {
      // The walk reads it, and those after it, itself.
      item->state = Item::kQueued;
    }
    mChanged.notify_all();
    if (!read)
      return;
  }
}

FolderReadAhead::Group::~Group() {
  {
    std::lock_guard<std::mutex> lock(mOwner.mLock);
    Items& group = mOwner.mGroups.back();
    mOwner.Forget(group.begin(), group.end());
    mOwner.mGroups.pop_back();
  }
  mOwner.mChanged.notify_all();
}
