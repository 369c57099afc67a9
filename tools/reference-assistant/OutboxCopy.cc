#include "tools/reference-assistant/OutboxCopy.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "Assistant/Mac/Cocoa/MacFileOperations/FileQueries.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/Guards.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/UniqueFd.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/WholeItems.h"
#include "platform/core/TextConversion.h"

namespace fs = std::filesystem;
namespace mfo = MacFileOperations;

namespace {

// Large enough that a big file costs few system calls, small enough that
// the copy never holds much of it in memory.
constexpr uint64_t kChunk = 1 << 20;

std::wstring Wide(const std::string& bytes) {
  return QXDecodeUTF8(bytes.data(), bytes.size());
}

std::string Narrow(const std::wstring& text) {
  return QXEncodeUTF8(text.data(), text.size());
}

bool Failed(const std::wstring& text, std::string* failure) {
  *failure = Narrow(text);
  return false;
}

bool Failed(const mfo::QXFileHandle& handle, std::string* failure) {
  return Failed(handle.LastErrorText(), failure);
}

bool IsFolder(const std::wstring& path) {
  bool isDirectory = false;
  mfo::AttributesForPath(path.c_str(), &isDirectory, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr);
  return isDirectory;
}

// The hidden file a copy is written to; removed unless it was published.
class PartialFile {
 public:
  explicit PartialFile(const std::wstring& destination) {
    std::wstring name;
    std::wstring parent;
    mfo::NameAndParentFromPath(destination, name, parent);
    mPath = mfo::PathFromPaths(parent, L"." + name + L".part");
  }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;
  ~PartialFile() {
    if (!mPublished && mfo::FileExists(mPath))
      mfo::Remove(mPath);
  }

  const std::wstring& Path() const { return mPath; }
  // Moves it under `destination`, in place of what was there.
  bool Publish(const std::wstring& destination, std::string* failure) {
    short error = 0;
    std::wstring text;
    // A folder of that name stays: a file never replaces a folder.
    if (!mfo::Move(mPath, destination, &error, &text) && error == EEXIST &&
        !IsFolder(destination) && mfo::Remove(destination, &error, &text)) {
      mfo::Move(mPath, destination, &error, &text);
    }
    mPublished = !mfo::FileExists(mPath);
    return mPublished || Failed(text, failure);
  }

 private:
  std::wstring mPath;
  bool mPublished = false;
};

bool MakeFolder(const std::wstring& folder, std::string* failure) {
  if (folder.empty() || mfo::FileExists(folder))
    return true;
  const bool isDirectory = true;
  std::wstring text;
  return mfo::CreateFile(folder, &isDirectory, nullptr, nullptr, nullptr, nullptr, 0, nullptr,
                         nullptr, &text) ||
         Failed(text, failure);
}

bool CopyContent(mfo::QXFileHandle& source, mfo::QXFileHandle& target, std::string* failure) {
  mfo::ReadingGuard reading(source);
  if (!reading.Succeeded())
    return Failed(source, failure);
  if (!source.ReadAttributesFromDisk())
    return Failed(source, failure);
  if (!target.CreateOnDisk())
    return Failed(target, failure);
  mfo::WritingGuard writing(target);
  if (!writing.Succeeded())
    return Failed(target, failure);
  source.SetReadLength(kChunk);
  for (;;) {
    if (!source.ReadFromDisk(false))
      return Failed(source, failure);
    if (source.BytesRead() == 0)
      break;
    target.SetContent(source.GetContentBuffer());
    if (!target.WriteContentToDisk())
      return Failed(target, failure);
  }
  target.Attributes().mPosixPermissions = source.Attributes().mPosixPermissions;
  return target.WriteAttributesToDisk() || Failed(target, failure);
}

}  // namespace

std::string OutboxPath(const std::string& outbox, const char* relative, const char* filePath) {
  fs::path folder = relative != nullptr ? fs::path(relative).lexically_normal() : fs::path();
  fs::path name = fs::path(filePath).filename();
  bool escapes = folder.is_absolute() || (!folder.empty() && *folder.begin() == "..");
  return (fs::path(outbox) / (escapes || folder.empty() || folder == "." ? name : folder / name))
      .string();
}

bool CopyWhole(const std::string& source, const std::string& destination, std::string* failure) {
  const std::wstring wideDestination = Wide(destination);
  std::wstring name;
  std::wstring folder;
  mfo::NameAndParentFromPath(wideDestination, name, folder);
  if (!MakeFolder(folder, failure))
    return false;
  PartialFile partial(wideDestination);
  mfo::QXFileHandle from(Wide(source), false, false, false, false);
  mfo::QXFileHandle to(partial.Path(), false, false, false, false);
  return CopyContent(from, to, failure) && partial.Publish(wideDestination, failure);
}

// Whether `pid` has ended. A killed Assistant stays a zombie until its
// parent (the bus, which started it) reaps it: that holds nothing either.
bool HasEnded(long pid) {
  if (kill(static_cast<pid_t>(pid), 0) != 0)
    return errno == ESRCH;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto end = line.rfind(')');
  return end != std::string::npos && line.compare(end, 3, ") Z") == 0;
}

// An Assistant killed mid-copy leaves its lock file behind, and every later
// one would wait on it for good. The file starts with its taker's pid; a
// taker that has ended holds nothing. Breakers take turns under flock(2) on
// the lock's folder, so the file cannot change between the read and the
// unlink: a live taker's link(2) fails while it exists, and only its ended
// taker could have removed it.
void BreakLockOfEndedTaker(const std::string& outbox) {
  const fs::path lockPath = outbox + ".lck";
  const fs::path folderPath = lockPath.has_parent_path() ? lockPath.parent_path() : ".";
  mfo::UniqueFd folder(open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder || flock(folder.get(), LOCK_EX) != 0)
    return;
  long pid = 0;
  if (std::ifstream(lockPath) >> pid && pid > 0 && HasEnded(pid))
    unlink(lockPath.c_str());
}

bool CopyIntoOutbox(const std::string& outbox, const std::string& source,
                    const std::string& destination, std::string* failure) {
  BreakLockOfEndedTaker(outbox);
  mfo::DistributedLockGuard lock(Wide(outbox), true, false, false, false);
  if (!lock.Succeeded())
    return Failed(L"The outbox cannot be locked: " + lock.LastErrorText(), failure);
  return CopyWhole(source, destination, failure);
}
