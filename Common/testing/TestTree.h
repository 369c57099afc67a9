// A temporary folder for tests, removed with everything in it when the
// object goes away. Paths are byte strings, as the system sees them.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace MacFileOperations {

class TestTree {
 public:
  TestTree() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/qx-tree-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("mkdtemp failed");
    mRoot = pattern;
  }
  TestTree(const TestTree&) = delete;
  TestTree& operator=(const TestTree&) = delete;
  ~TestTree() {
    std::error_code ignored;
    std::filesystem::remove_all(mRoot, ignored);
  }

  std::string Path(const std::string& relative) const {
    return relative.empty() ? mRoot : mRoot + "/" + relative;
  }

  std::string File(const std::string& relative, const std::string& content = std::string()) const {
    const std::string path = Path(relative);
    if (!(std::ofstream(path, std::ios::binary) << content))
      throw std::runtime_error("cannot write " + path);
    return path;
  }
  std::string Folder(const std::string& relative) const {
    const std::string path = Path(relative);
    std::filesystem::create_directories(path);
    return path;
  }
  std::string Link(const std::string& relative, const std::string& target) const {
    const std::string path = Path(relative);
    if (symlink(target.c_str(), path.c_str()) != 0)
      throw std::runtime_error("cannot link " + path);
    return path;
  }

 private:
  std::string mRoot;
};

}  // namespace MacFileOperations
