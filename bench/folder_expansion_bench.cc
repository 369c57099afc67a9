// Expands a tree of 200,120 files in 2,311 folders through
// AddFiles(json_xwstringset&), every "FilesAddedToUploadList" frame written to
// /dev/null, and compares it with `find -L DIR -type f -printf '%p %s\n'` on
// the same warm tree, five times, each expansion right after its find.
// Prints both times and their ratio (target at most 2.0) as the smallest,
// median and largest of the runs, and the peak memory per file of the first
// run (target at most 0.8 KiB).
//
// Usage: folder_expansion_bench [parent folder for the tree, default $TMPDIR or /tmp]
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchTree.h"
#include "host/FrameCodec.h"
#include "mac/QXWebClientBaseMac.h"

namespace {

constexpr int kRuns = 5;

using bench_tree::BuildTree;
using bench_tree::Seconds;
using bench_tree::TimeFind;

// Peak resident set of the process so far, in KiB.
long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0)
      return std::stol(line.substr(6));
  }
  return -1;
}

// Frames go to /dev/null through the same framing the host uses.
class NullBrowserClient : public CQXWebClientBaseMac {
 public:
  NullBrowserClient() : mFd(open("/dev/null", O_WRONLY | O_CLOEXEC)) {}
  ~NullBrowserClient() override { close(mFd); }
  bool NotifyBrowser(const char* text) override {
    const uint32_t length = static_cast<uint32_t>(std::strlen(text));
    const std::string header = EncodeLengthWord(length);
    ++frames;
    return write(mFd, header.data(), header.size()) == ssize_t(header.size()) &&
           write(mFd, text, length) == static_cast<ssize_t>(length);
  }
  void Log(const char*) override {}
  long frames = 0;

 private:
  int mFd;
};

// One expansion by a fresh client; returns seconds, fills the counts. The
// client (and the upload list it keeps) is released after the clock stops.
double TimeExpansion(const std::string& root, size_t* records, long* frames) {
  NullBrowserClient client;
  json_xwstringset items;
  items.insert(xwstring(root.c_str()));
  const auto start = std::chrono::steady_clock::now();
  client.AddFiles(items);
  const auto stop = std::chrono::steady_clock::now();
  *records = client.UploadList().size();
  *frames = client.frames;
  return Seconds(stop - start);
}

// Prints the smallest, the median and the largest of `values`.
void PrintSpread(const char* what, std::vector<double> values, const char* unit,
                 const char* target) {
  std::sort(values.begin(), values.end());
  std::printf("  %-12s %8.3f %8.3f %8.3f %s %s\n", what, values.front(), values[values.size() / 2],
              values.back(), unit, target);
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = getenv("TMPDIR");
  std::string parent = argc > 1 ? argv[1] : (tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp");
  std::string root = parent + "/qx-expansion-bench-XXXXXX";
  if (mkdtemp(root.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  std::printf("building the tree in %s ...\n", root.c_str());
  std::fflush(stdout);
  const long files = BuildTree(root);

  // Warm the caches for both sides.
  TimeFind(root);
  TimeFind(root);

  size_t records = 0;
  long frames = 0;
  const long peakBefore = PeakResidentKiB();
  double firstExpansion = TimeExpansion(root, &records, &frames);
  const long peakAfter = PeakResidentKiB();
  std::vector<double> finds;
  std::vector<double> expansions;
  std::vector<double> ratios;
  for (int round = 0; round < kRuns; ++round) {
    size_t again = 0;
    long moreFrames = 0;
    finds.push_back(TimeFind(root));
    expansions.push_back(round == 0 ? firstExpansion : TimeExpansion(root, &again, &moreFrames));
    ratios.push_back(expansions.back() / finds.back());
  }

  const double bytesPerFile = (peakAfter - peakBefore) * 1024.0 / static_cast<double>(records);
  std::printf("files in tree:            %ld\n", files);
  std::printf("records expanded:         %zu in %ld frames\n", records, frames);
  std::printf("%d runs, each find -L then the expansion:   min / median / max\n", kRuns);
  PrintSpread("find -L", finds, "s", "");
  PrintSpread("expansion", expansions, "s", "");
  PrintSpread("ratio", ratios, "x", "(target <= 2.0x, stretch 1.3x)");
  std::printf("peak memory per file:     %.0f bytes = %.2f KiB (target <= 0.8 KiB)\n", bytesPerFile,
              bytesPerFile / 1024.0);

  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  return records == static_cast<size_t>(files) ? 0 : 2;
}
