// The folder walk of the real host when the file system does not hold
// still or holds a lot: items vanishing while they are walked, a folder of
// 100,000 entries, folders the host may not read. Items reach the walk the
// way the browser queues them, confirmed in the alert on a virtual display.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/DesktopHostTest.h"
#include "tests/support/Frames.h"
#include "tests/support/UploadListView.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTimeoutMs = 60000;
constexpr char kAlertTitle[] = "Quorvex Web Client";
constexpr char kMark[] = "Invalid plug-in parameter: walk-done";

long StatusKiB(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field + ":", 0) == 0)
      return std::stol(line.substr(field.size() + 1));
  return -1;
}

void MakeFile(const fs::path& path, off_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path;
  EXPECT_EQ(ftruncate(fd, size), 0);
  close(fd);
}

class WalkFaultsTest : public DesktopHostTest {
 protected:
  // `wrapper` runs the host through another program (argv before the host).
  void StartHostUnder(std::vector<std::string> wrapper) {
    HostProcess::Options options = HostOptions();
    if (!wrapper.empty()) {
      options.binary = wrapper.front();
      options.args.assign(wrapper.begin() + 1, wrapper.end());
      options.args.push_back(HostProcess::DefaultBinary());
    }
    StartHost(std::move(options));
  }

  // Queues `paths`, confirms the alert and returns every frame up to the
  // end of the request.
  std::vector<std::string> QueueAndConfirm(const std::vector<std::string>& paths,
                                           const std::function<void()>& onConfirm = {}) {
    EXPECT_TRUE(mHost->SendFrame(Request("QueueFilesForUpload", FilesMember(paths))));
    EXPECT_TRUE(mHost->SendFrame(Request("SetParameter", R"("name":"walk-done")")));
    auto alert = mDriver->WaitForWindow(kAlertTitle, kTimeoutMs);
    EXPECT_TRUE(alert) << mDriver->LastError();
    if (!alert)
      return {};
    EXPECT_TRUE(mDriver->Focus(*alert) && mDriver->Key("Return")) << mDriver->LastError();
    if (onConfirm)
      onConfirm();
    auto frames = mHost->ReadFramesUntil(
        [](const std::string& f) { return IsLogRecordWithText(f, kMark); }, kTimeoutMs);
    EXPECT_TRUE(frames) << "the queue request never ended";
    return frames.value_or(std::vector<std::string>{});
  }

  static std::vector<UploadEntry> Added(const std::vector<std::string>& frames) {
    std::vector<UploadEntry> added;
    for (const auto& frame : frames)
      for (auto& entry : NotifiedEntries(frame, "FilesAddedToUploadList"))
        added.push_back(std::move(entry));
    return added;
  }
};

}  // namespace

TEST_F(WalkFaultsTest, ItemsVanishingDuringTheWalkAreLeftOutAndTheRestIsExact) {
  // Each time the host opens an even folder to list it, the odd folder after
  // it is deleted, so deletions run while the walk is under way.
  constexpr int kFolders = 30, kFiles = 400;
  std::map<std::string, UploadEntry> original;
  int watches[kFolders];
  const int notify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  ASSERT_GE(notify, 0);
  for (int folder = 0; folder < kFolders; ++folder) {
    const std::string name = "d" + std::to_string(folder);
    const fs::path dir = mRoot / "Vanishing" / name;
    fs::create_directories(dir);
    for (int file = 0; file < kFiles; ++file) {
      const fs::path path = dir / ("f" + std::to_string(file));
      MakeFile(path, folder * kFiles + file);
      original[path.string()] = {path.string(), "Vanishing/" + name,
                                 double(folder * kFiles + file)};
    }
    watches[folder] = inotify_add_watch(notify, dir.c_str(), IN_OPEN | IN_ONLYDIR);
    ASSERT_GE(watches[folder], 0);
  }
  StartHost();

  std::set<int> opened, deleted;
  // Reads the folder openings; the first opening of an even folder deletes
  // the odd folder after it.
  auto consume = [&](int waitMs) {
    alignas(inotify_event) char buffer[4096];
    pollfd ready{notify, POLLIN, 0};
    const ssize_t n = poll(&ready, 1, waitMs) > 0 ? read(notify, buffer, sizeof buffer) : 0;
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      for (int folder = 0; folder < kFolders; ++folder) {
        if (event->wd != watches[folder] || !(event->mask & IN_OPEN) ||
            !opened.insert(folder).second || folder % 2 != 0 || folder + 1 == kFolders)
          continue;
        deleted.insert(folder + 1);
        std::error_code ignored;
        fs::remove_all(mRoot / "Vanishing" / ("d" + std::to_string(folder + 1)), ignored);
      }
    }
  };
  std::atomic<bool> done{false};
  std::thread deleter([&] {
    while (!done)
      consume(50);
  });
  auto frames = QueueAndConfirm({(mRoot / "Vanishing").string()});
  done = true;
  deleter.join();
  close(notify);

  // Everything notified existed, under its own folder and with its size,
  // and once only; every folder that was never deleted is there in full.
  std::set<std::string> seen;
  std::map<std::string, int> perFolder;
  for (const auto& entry : Added(frames)) {
    ASSERT_EQ(original.count(entry.path), 1u) << "never existed: " << entry.path;
    EXPECT_EQ(entry.relative, original[entry.path].relative);
    EXPECT_EQ(entry.size, original[entry.path].size) << entry.path;
    EXPECT_TRUE(seen.insert(entry.path).second) << "twice: " << entry.path;
    ++perFolder[entry.relative];
  }
  EXPECT_FALSE(deleted.empty()) << "the walk never opened a folder";
  for (int folder = 0; folder < kFolders; ++folder) {
    const std::string relative = "Vanishing/d" + std::to_string(folder);
    if (!deleted.count(folder)) {
      EXPECT_EQ(perFolder[relative], kFiles) << relative;
    }
  }
  EXPECT_GE(NonLogFrames(frames).size(), 1u);
  for (const auto& frame : NonLogFrames(frames))
    EXPECT_TRUE(IsMessageWithCode(frame, "FilesAddedToUploadList")) << frame;
  std::cout << "walk: " << deleted.size() << " folders deleted during the walk, " << seen.size()
            << " of " << original.size() << " files notified\n";

  // The host goes on as before.
  mHost->CloseStdin();
  EXPECT_EQ(mHost->WaitForExit(kTimeoutMs), 0);
  EXPECT_TRUE(mHost->WaitForSyslogLine("Removed instance of plugin", kTimeoutMs));
}

TEST_F(WalkFaultsTest, AFolderOfHundredThousandEntriesExpandsCompletely) {
  constexpr int kEntries = 100000;
  const fs::path big = mRoot / "Big";
  fs::create_directories(big);
  for (int i = 0; i < kEntries; ++i)
    MakeFile(big / ("entry-" + std::to_string(i)), i % 4099);
  MakeFile(mRoot / "warm-up", 1);
  StartHost();
  // The first alert loads the toolkit; the walk's cost is measured after it.
  EXPECT_EQ(Added(QueueAndConfirm({(mRoot / "warm-up").string()})).size(), 1u);
  const long startKiB = StatusKiB(mHost->Pid(), "VmRSS");

  auto frames = QueueAndConfirm({big.string()});
  const long peakKiB = StatusKiB(mHost->Pid(), "VmHWM");
  const auto added = Added(frames);
  ASSERT_EQ(added.size(), size_t{kEntries});
  std::set<std::string> names;
  for (const auto& entry : added) {
    const std::string name = fs::path(entry.path).filename().string();
    EXPECT_EQ(entry.relative, "Big");
    EXPECT_EQ(entry.size, std::stoi(name.substr(6)) % 4099) << name;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), size_t{kEntries});
  EXPECT_EQ(NonLogFrames(frames).size(), size_t{kEntries / 1000});

  // What a walk may cost: well under 4 KiB per entry on top of the start
  // (the sanitizer build included).
  std::cout << "walk: host VmRSS " << startKiB << " KiB at the start, peak " << peakKiB
            << " KiB for " << kEntries << " entries (" << (peakKiB - startKiB) * 1024 / kEntries
            << " bytes per entry)\n";
  EXPECT_LT(peakKiB - startKiB, kEntries * 4);
}

TEST_F(WalkFaultsTest, FoldersTheHostMayNotReadContributeNothing) {
  // Root reads everything, so the host then runs without the capabilities
  // that bypass file permissions.
  std::vector<std::string> wrapper;
  if (geteuid() == 0) {
    if (access("/usr/bin/setpriv", X_OK) != 0)
      GTEST_SKIP() << "running as root without setpriv: permissions cannot be tested";
    wrapper = {"/usr/bin/setpriv", "--inh-caps=-all", "--bounding-set=-all", "--"};
  }
  const fs::path locked = mRoot / "Locked";
  fs::create_directories(locked / "open");
  fs::create_directories(locked / "sealed");
  fs::create_directories(locked / "listonly");
  MakeFile(locked / "open" / "a.txt", 11);
  MakeFile(locked / "sealed" / "x.txt", 12);
  MakeFile(locked / "listonly" / "y.txt", 13);
  MakeFile(locked / "secret.txt", 14);
  fs::permissions(locked / "sealed", fs::perms::none);
  fs::permissions(locked / "listonly", fs::perms::owner_read);
  fs::permissions(locked / "secret.txt", fs::perms::none);
  StartHostUnder(wrapper);

  // The queued folder and a file queued inside a folder that cannot be
  // entered: only what can be looked at is added, a file that cannot be
  // read included (reading it is the Assistant's business); what is left
  // out is told in log lines, not as an error.
  auto frames = QueueAndConfirm({locked.string(), (locked / "sealed" / "x.txt").string(),
                                 (locked / "listonly" / "y.txt").string()});
  std::vector<std::string> added;
  for (const auto& entry : Added(frames))
    added.push_back(entry.path + " | " + entry.relative + " | " + std::to_string(entry.size));
  EXPECT_EQ(added, (std::vector<std::string>{
                       (locked / "open" / "a.txt").string() + " | Locked/open | 11.000000",
                       (locked / "secret.txt").string() + " | Locked | 14.000000"}));
  EXPECT_EQ(NonLogFrames(frames).size(), 1u);
}
