// Expands the benchmark tree (bench/BenchTree.h) through the real host
// binary: a client on its pipes queues the tree's folder, confirms the alert
// on a private desktop with the Return key and reads every frame until the
// last "FilesAddedToUploadList" one. That time, from the key to the last
// frame, is compared with `find -L DIR -type f -printf '%p %s\n'` measured
// right before it, the best of three so that one slow `find` neither
// flatters the ratio nor widens its spread. Five runs, each with a fresh
// host; prints the smallest, median and largest of each figure beside its
// target, and the host's peak memory per file above an idle host's.
//
// Usage: host_expansion_bench [HOST-BINARY [PARENT-FOLDER]]
// (default: host/quorvex-webclient-host in the build tree beside bench/,
// the tree under $TMPDIR or /tmp).

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchTree.h"
#include "tools/desktop/Desktop.h"
#include "tools/desktop/DialogDriver.h"
#include "tools/hostsession/HostEnvironment.h"
#include "tools/hostsession/HostSession.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 5;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "host_expansion_bench: %s\n", what.c_str());
  std::exit(1);
}

size_t Occurrences(const std::string& text, const char* what) {
  size_t count = 0;
  const size_t length = std::strlen(what);
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + length))
    ++count;
  return count;
}

// The host on pipes, on the private desktop; every frame it
// writes is read as it comes, so that it never waits on a full pipe.
class Host {
 public:
  Host(const std::string& binary, const Variables& desktop, size_t expected) : mExpected(expected) {
    HostSession::Options options;
    options.command = {binary};
    EnvironmentChanges changes = {{"WAYLAND_DISPLAY", std::nullopt}};
    changes.insert(desktop.begin(), desktop.end());
    options.environment = ChangedEnvironment(changes);
    options.stderrPath = "/dev/null";
    options.onFrame = [this](const std::string& frame) { Count(frame); };
    mSession = std::make_unique<HostSession>(std::move(options));
    // Its greeting says it is up, so an idle host is measured after its start.
    if (!mSession->started() || !mSession->ReadFrame(std::chrono::seconds(30)))
      Fail("the host did not start");
  }

  void Send(const std::string& body) {
    if (!mSession->SendFrame(body))
      Fail("the host does not read");
  }

  // Waits until every expected entry was listed; the time of the last one.
  Clock::time_point LastListed(int timeoutSeconds) {
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    while (!mDone.load() && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (!mDone.load())
      Fail("only " + std::to_string(mListed.load()) + " files listed");
    return mLastListed;
  }

  // Ends the host with the stop word; its peak resident set in KiB, read
  // while it still runs.
  long Stop() {
    const long peakKiB = PeakResidentKiB(mSession->pid());
    mSession->SendStopWord();
    mSession->CloseInput();
    if (!mSession->WaitForExit(std::chrono::seconds(60)))
      Fail("the host did not end");
    return peakKiB;
  }

 private:
  static long PeakResidentKiB(pid_t pid) {
    std::FILE* status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (status == nullptr)
      Fail("no status of the host");
    long kiB = 0;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr)
      std::sscanf(line, "VmHWM: %ld kB", &kiB);
    std::fclose(status);
    return kiB;
  }

  void Count(const std::string& frame) {
    if (frame.find("\"FilesAddedToUploadList\"") == std::string::npos)
      return;
    mListed += Occurrences(frame, "\"file_path\":");
    if (mListed.load() >= mExpected && !mDone.load()) {
      mLastListed = Clock::now();
      mDone = true;
    }
  }

  size_t mExpected;
  std::atomic<size_t> mListed{0};
  std::atomic<bool> mDone{false};
  Clock::time_point mLastListed;
  std::unique_ptr<HostSession> mSession;
};

// One expansion: the seconds from the confirming key to the last frame, and
// the host's peak resident set in KiB.
double Expand(const std::string& binary, const Variables& desktop, DialogDriver& user,
              const std::string& root, size_t files, long* peakKiB) {
  Host host(binary, desktop, files);
  host.Send(R"({"version":"8.2.0x431","type":"Request","code":"QueueFilesForUpload",)"
            R"("files_ul":[{"file_path":")" +
            root + R"("}]})");
  const auto alert = user.WaitForWindow("Quorvex Web Client", 60000);
  if (!alert || !user.Focus(*alert))
    Fail("no alert to answer: " + user.LastError());
  // One bare key press: the driver's own pacing of keys would be timed too.
  const auto start = Clock::now();
  if (RunChild({"xdotool", "key", "Return"}, desktop, 10000).exitCode != 0)
    Fail("no key");
  const double seconds = bench_tree::Seconds(host.LastListed(600) - start);
  *peakKiB = host.Stop();
  return seconds;
}

void PrintSpread(const char* what, std::vector<double> values, const char* unit,
                 const std::string& target) {
  std::sort(values.begin(), values.end());
  std::printf("  %-22s %8.3f %8.3f %8.3f %s %s\n", what, values.front(), values[values.size() / 2],
              values.back(), unit, target.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string binary = argc > 1 ? argv[1] : HostBesideThisProgram();
  const char* tmp = getenv("TMPDIR");
  const std::string parent = argc > 2 ? argv[2] : (tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp");
  std::string scratch = parent + "/qx-host-expansion-bench-XXXXXX";
  if (mkdtemp(scratch.data()) == nullptr)
    Fail("mkdtemp");
  const std::string root = scratch + "/tree";
  mkdir(root.c_str(), 0755);
  std::printf("host: %s\nbuilding the tree in %s ...\n", binary.c_str(), root.c_str());
  std::fflush(stdout);
  const long files = bench_tree::BuildTree(root);

  Desktop desktop;
  if (!desktop.Ok())
    Fail("the private desktop did not start");
  DialogDriver user(desktop.Environment());

  long idleKiB = 0;
  {
    Host idle(binary, desktop.Environment(), 0);
    idleKiB = idle.Stop();
  }

  bench_tree::TimeFind(root);
  bench_tree::TimeFind(root);
  std::vector<double> finds;
  std::vector<double> expansions;
  std::vector<double> ratios;
  long peakKiB = 0;
  for (int run = 0; run < kRuns; ++run) {
    finds.push_back(std::min(
        {bench_tree::TimeFind(root), bench_tree::TimeFind(root), bench_tree::TimeFind(root)}));
    long peak = 0;
    expansions.push_back(
        Expand(binary, desktop.Environment(), user, root, static_cast<size_t>(files), &peak));
    ratios.push_back(expansions.back() / finds.back());
    peakKiB = std::max(peakKiB, peak);
  }

  const double bytesPerFile = (peakKiB - idleKiB) * 1024.0 / static_cast<double>(files);
  const auto [fastest, slowest] = std::minmax_element(ratios.begin(), ratios.end());
  std::printf("files in tree: %ld\n", files);
  std::printf("%d runs, each find -L then the host:    min      median   max\n", kRuns);
  PrintSpread("find -L, best of 3", finds, "s", "");
  PrintSpread("key to last frame", expansions, "s", "");
  PrintSpread("ratio", ratios, "x", "(target <= 2.0x, stretch 1.3x)");
  std::printf("  slowest ratio / fastest  %.2f (target <= 1.3)\n", *slowest / *fastest);
  std::printf("host peak memory per file above idle: %.0f bytes = %.2f KiB (target <= 0.8 KiB)\n",
              bytesPerFile, bytesPerFile / 1024.0);

  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return 0;
}
