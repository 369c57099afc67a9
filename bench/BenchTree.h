// The tree the expansion benchmarks walk, and `find -L` timed on it for
// comparison: 200,120 files in 2,311 folders, about one name in sixteen
// with non-ASCII letters, a few links to files and one to a folder, two
// links that lead nowhere.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace bench_tree {

constexpr int kTopFolders = 10;
constexpr int kMiddleFolders = 10;
constexpr int kLeafFolders = 20;
constexpr int kFilesPerLeaf = 100;

// A name of 10 to 40 characters; one in sixteen carries non-ASCII letters.
inline std::string MakeName(std::mt19937& random, int serial) {
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

inline void WriteFile(const std::string& path, size_t size) {
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
inline long BuildTree(const std::string& root) {
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

inline double Seconds(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

inline double TimeFind(const std::string& root) {
  const std::string command = "find -L '" + root + "' -type f -printf '%p %s\\n' > /dev/null";
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0)
    std::fprintf(stderr, "find reported a problem\n");
  return Seconds(std::chrono::steady_clock::now() - start);
}

}  // namespace bench_tree
