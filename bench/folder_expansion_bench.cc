// Expands a tree of 200,120 files in 2,311 folders through
// AddFiles(json_xwstringset&), every "FilesAddedToUploadList" frame written to
// /dev/null, and compares it with `find -L DIR -type f -printf '%p %s\n'` on
// the same warm tree. Prints both times, their ratio (target at most 2.5) and
// the peak memory per file (target at most 1.5 KiB).
//
// Usage: folder_expansion_bench [parent folder for the tree, default $TMPDIR or /tmp]
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "host/FrameCodec.h"
#include "mac/QXWebClientBaseMac.h"

namespace {

constexpr int kTopFolders = 10;
constexpr int kMiddleFolders = 10;
constexpr int kLeafFolders = 20;
constexpr int kFilesPerLeaf = 100;

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

// A name of 10 to 40 characters; one in sixteen carries non-ASCII letters.
std::string MakeName(std::mt19937& random, int serial) {
  static const char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 _-";
  static const char* const kForeign[] = {"\xC3\xA9t\xC3\xA9",
                                         "\xC3\xBC"
                                         "ber",
                                         "\xE6\x97\xA5\xE6\x9C\xAC",
                                         "ma\xC3\xB1"
                                         "ana"};
  const int length = 10 + static_cast<int>(random() % 31);
  std::string name = std::to_string(serial) + "-";
  if (random() % 16 == 0)
    name += kForeign[random() % 4];
  while (static_cast<int>(name.size()) < length)
    name += kLetters[random() % (sizeof kLetters - 1)];
  return name;
}

void WriteFile(const std::string& path, size_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
  if (size > 0) {
    std::string bytes(size, 'q');
    if (write(fd, bytes.data(), size) != static_cast<ssize_t>(size))
      std::exit(1);
  }
  close(fd);
}

// Three levels of folders; one leaf in ten has a fourth level holding half
// of its files. A few links to files and one to a small folder, two that
// lead nowhere. Returns the number of files find and the expansion report.
long BuildTree(const std::string& root) {
  std::mt19937 random(20260101);
  int serial = 0;
  long files = 0;
  std::vector<std::string> someFiles;
  for (int top = 0; top < kTopFolders; ++top) {
    const std::string topPath = root + "/" + MakeName(random, serial++);
    mkdir(topPath.c_str(), 0755);
    for (int middle = 0; middle < kMiddleFolders; ++middle) {
      const std::string middlePath = topPath + "/" + MakeName(random, serial++);
      mkdir(middlePath.c_str(), 0755);
      for (int leaf = 0; leaf < kLeafFolders; ++leaf) {
        const std::string leafPath = middlePath + "/" + MakeName(random, serial++);
        mkdir(leafPath.c_str(), 0755);
        std::string deeper;
        if (leaf % 10 == 0) {
          deeper = leafPath + "/" + MakeName(random, serial++);
          mkdir(deeper.c_str(), 0755);
        }
        for (int file = 0; file < kFilesPerLeaf; ++file) {
          const std::string& folder = !deeper.empty() && file % 2 == 0 ? deeper : leafPath;
          const std::string path = folder + "/" + MakeName(random, serial++);
          WriteFile(path, random() % 4 == 0 ? random() % 5000 : 0);
          ++files;
          if (file == 0 && leaf == 0)
            someFiles.push_back(path);
        }
      }
    }
  }
  const std::string linked = root + "/linked-folder";
  mkdir(linked.c_str(), 0755);
  for (int i = 0; i < 10; ++i)
    WriteFile(linked + "/inner-file-" + std::to_string(i), 10);
  files += 10;
  for (size_t i = 0; i < someFiles.size(); ++i) {
    const std::string link = root + "/file-link-" + std::to_string(i);
    if (symlink(someFiles[i].c_str(), link.c_str()) != 0)
      std::exit(1);
    ++files;
  }
  const std::string folderLink =
      someFiles.front().substr(0, someFiles.front().rfind('/')) + "/link-to-linked-folder";
  if (symlink(linked.c_str(), folderLink.c_str()) != 0)
    std::exit(1);
  files += 10;
  if (symlink("missing-1", (root + "/dangling-1").c_str()) != 0 ||
      symlink("/nonexistent/missing-2", (linked + "/dangling-2").c_str()) != 0) {
    std::exit(1);
  }
  return files;
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

double Seconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

double TimeFind(const std::string& root) {
  const std::string command = "find -L '" + root + "' -type f -printf '%p %s\\n' > /dev/null";
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0)
    std::fprintf(stderr, "find reported a problem\n");
  return Seconds(std::chrono::steady_clock::now() - start);
}

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
  double expansion = TimeExpansion(root, &records, &frames);
  const long peakAfter = PeakResidentKiB();
  double find = TimeFind(root);
  for (int round = 0; round < 2; ++round) {
    size_t again = 0;
    long moreFrames = 0;
    expansion = std::min(expansion, TimeExpansion(root, &again, &moreFrames));
    find = std::min(find, TimeFind(root));
  }

  const double bytesPerFile = (peakAfter - peakBefore) * 1024.0 / static_cast<double>(records);
  std::printf("files in tree:            %ld\n", files);
  std::printf("records expanded:         %zu in %ld frames\n", records, frames);
  std::printf("find -L (best of 3):      %.3f s\n", find);
  std::printf("expansion (best of 3):    %.3f s\n", expansion);
  std::printf("ratio:                    %.2fx (target <= 2.5x)\n", expansion / find);
  std::printf("peak memory per file:     %.0f bytes = %.2f KiB (target <= 1.5 KiB)\n", bytesPerFile,
              bytesPerFile / 1024.0);

  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
  return records == static_cast<size_t>(files) ? 0 : 2;
}
