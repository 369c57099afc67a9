// Expands the benchmark tree (bench/BenchTree.h) through the real host
// binary: a client on its pipes queues the tree's folder, confirms the alert
// on a private virtual display with the Return key and reads every frame
// until the last "FilesAddedToUploadList" one. That time, from the key to
// the last frame, is compared with `find -L DIR -type f -printf '%p %s\n'`
// measured right before it. Five runs, each with a fresh host; prints the
// smallest, median and largest of each figure beside its target, and the
// host's peak memory per file above an idle host's.
//
// Usage: host_expansion_bench [HOST-BINARY [PARENT-FOLDER]]
// (default: host/quorvex-webclient-host in the build tree beside bench/,
// the tree under $TMPDIR or /tmp).
#include <limits.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchDisplay.h"
#include "bench/BenchTree.h"
#include "bench/HostBench.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 5;
const std::string kStopWord(4, '\xFF');

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "host_expansion_bench: %s\n", what.c_str());
  std::exit(1);
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0)
      return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, char* into, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = read(fd, into + done, size - done);
    if (n <= 0)
      return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

size_t Occurrences(const std::string& text, const char* what) {
  size_t count = 0;
  const size_t length = std::strlen(what);
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + length))
    ++count;
  return count;
}

// The host on pipes, with the display and a scratch home; every frame it
// writes is read as it comes, so that it never waits on a full pipe.
class Host {
 public:
  Host(const std::string& binary, const std::string& display, const std::string& home,
       size_t expected)
      : mExpected(expected) {
    int input[2];
    int output[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0)
      Fail("pipe");
    mPid = fork();
    if (mPid == 0) {
      dup2(input[0], STDIN_FILENO);
      dup2(output[1], STDOUT_FILENO);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, STDERR_FILENO);
      unsetenv("WAYLAND_DISPLAY");
      setenv("DISPLAY", display.c_str(), 1);
      setenv("HOME", home.c_str(), 1);
      setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
      setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
      setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
      setenv("GSETTINGS_BACKEND", "memory", 1);
      setenv("NO_AT_BRIDGE", "1", 1);
      setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent-qx-bus", 1);
      execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(input[0]);
    close(output[1]);
    mInput = input[1];
    mOutput = output[0];
    mReader = std::thread([this] { Read(); });
  }

  ~Host() {
    if (mInput >= 0)
      close(mInput);
    if (mReader.joinable())
      mReader.join();
    close(mOutput);
  }

  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  void Send(const std::string& body) {
    if (!WriteAll(mInput, Frame(body)))
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

  // Ends the host with the stop word; its peak resident set in KiB.
  long Stop() {
    WriteAll(mInput, kStopWord);
    close(mInput);
    mInput = -1;
    int status = 0;
    rusage usage{};
    if (wait4(mPid, &status, 0, &usage) != mPid)
      Fail("the host did not end");
    return usage.ru_maxrss;
  }

 private:
  void Read() {
    std::string frame;
    for (;;) {
      unsigned char header[4];
      if (!ReadAll(mOutput, reinterpret_cast<char*>(header), sizeof header))
        return;
      const size_t length =
          header[0] | header[1] << 8 | header[2] << 16 | static_cast<size_t>(header[3]) << 24;
      frame.resize(length);
      if (!ReadAll(mOutput, frame.data(), length))
        return;
      if (frame.find("\"FilesAddedToUploadList\"") == std::string::npos)
        continue;
      mListed += Occurrences(frame, "\"file_path\":");
      if (mListed.load() >= mExpected && !mDone.load()) {
        mLastListed = Clock::now();
        mDone = true;
      }
    }
  }

  size_t mExpected;
  pid_t mPid = -1;
  int mInput = -1;
  int mOutput = -1;
  std::atomic<size_t> mListed{0};
  std::atomic<bool> mDone{false};
  Clock::time_point mLastListed;
  std::thread mReader;
};

// One expansion: the seconds from the confirming key to the last frame, and
// the host's peak resident set in KiB.
double Expand(const std::string& binary, const std::string& display, const std::string& home,
              const std::string& root, size_t files, long* peakKiB) {
  Host host(binary, display, home, files);
  host.Send(R"({"version":"8.2.0x431","type":"Request","code":"QueueFilesForUpload",)"
            R"("files_ul":[{"file_path":")" +
            root + R"("}]})");
  std::string windows;
  if (!bench_display::XDoTool(display,
                              {"search", "--sync", "--onlyvisible", "--name", "Quorvex Web Client"},
                              &windows) ||
      windows.empty()) {
    Fail("no alert");
  }
  const std::string alert = windows.substr(0, windows.find('\n'));
  if (!bench_display::XDoTool(display, {"windowfocus", "--sync", alert}))
    Fail("the alert takes no focus");
  const auto start = Clock::now();
  if (!bench_display::XDoTool(display, {"key", "--clearmodifiers", "Return"}))
    Fail("no key");
  const double seconds = bench_tree::Seconds(host.LastListed(600) - start);
  *peakKiB = host.Stop();
  return seconds;
}

std::string DefaultHost() {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  const std::string path = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
  return path.substr(0, path.find_last_of('/') + 1) + "../host/quorvex-webclient-host";
}

void PrintSpread(const char* what, std::vector<double> values, const char* unit,
                 const std::string& target) {
  std::sort(values.begin(), values.end());
  std::printf("  %-22s %8.3f %8.3f %8.3f %s %s\n", what, values.front(), values[values.size() / 2],
              values.back(), unit, target.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string binary = argc > 1 ? argv[1] : DefaultHost();
  const char* tmp = getenv("TMPDIR");
  const std::string parent = argc > 2 ? argv[2] : (tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp");
  std::string scratch = parent + "/qx-host-expansion-bench-XXXXXX";
  if (mkdtemp(scratch.data()) == nullptr)
    Fail("mkdtemp");
  const std::string root = scratch + "/tree";
  const std::string home = scratch + "/home";
  mkdir(root.c_str(), 0755);
  mkdir(home.c_str(), 0755);
  std::printf("host: %s\nbuilding the tree in %s ...\n", binary.c_str(), root.c_str());
  std::fflush(stdout);
  const long files = bench_tree::BuildTree(root);

  bench_display::VirtualDisplay display;
  if (display.Name().empty())
    Fail("Xvfb did not start");

  long idleKiB = 0;
  {
    Host idle(binary, display.Name(), home, 0);
    idleKiB = idle.Stop();
  }

  bench_tree::TimeFind(root);
  bench_tree::TimeFind(root);
  std::vector<double> finds;
  std::vector<double> expansions;
  std::vector<double> ratios;
  long peakKiB = 0;
  for (int run = 0; run < kRuns; ++run) {
    finds.push_back(bench_tree::TimeFind(root));
    long peak = 0;
    expansions.push_back(
        Expand(binary, display.Name(), home, root, static_cast<size_t>(files), &peak));
    ratios.push_back(expansions.back() / finds.back());
    peakKiB = std::max(peakKiB, peak);
  }

  const double bytesPerFile = (peakKiB - idleKiB) * 1024.0 / static_cast<double>(files);
  const auto [fastest, slowest] = std::minmax_element(ratios.begin(), ratios.end());
  std::printf("files in tree: %ld\n", files);
  std::printf("%d runs, each find -L then the host:    min      median   max\n", kRuns);
  PrintSpread("find -L", finds, "s", "");
  PrintSpread("key to last frame", expansions, "s", "");
  PrintSpread("ratio", ratios, "x", "(target <= 2.0x, stretch 1.3x)");
  std::printf("  slowest ratio / fastest  %.2f (target <= 1.3)\n", *slowest / *fastest);
  std::printf("host peak memory per file above idle: %.0f bytes = %.2f KiB (target <= 0.8 KiB)\n",
              bytesPerFile, bytesPerFile / 1024.0);

  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return 0;
}
