#include "Assistant/Mac/Cocoa/MacFileOperations/Places.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "Assistant/Mac/Cocoa/MacFileOperations/FileURL.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/PosixBridge.h"
#include "mac/nsstring/NSStringWstring.h"

namespace MacFileOperations {
namespace {

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};

// Mount points escape blanks and backslashes as three octal digits.
std::string UnescapeMountPoint(const std::string& field) {
  std::string result;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (digits.size() == 3 && digits.find_first_not_of("01234567") == std::string::npos) {
        result += static_cast<char>(std::strtol(digits.c_str(), nullptr, 8));
        i += 3;
        continue;
      }
    }
    result += field[i];
  }
  return result;
}

}  // namespace

std::wstring GetHomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0')
    return WidePath(home);
  std::vector<char> buffer(4096);
  passwd entry;
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return WidePath(found->pw_dir);
  }
  return std::wstring();
}

std::wstring CurrentUserTempFolderPath() {
  const char* folder = std::getenv("TMPDIR");
  std::string path = folder != nullptr && folder[0] == '/' ? folder : "/tmp";
  return WidePath(FileURLFromPath(path, true));
}

std::wstring ProductRootPath() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE)
      return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
  return WidePath(buffer.data());
}

std::wstring MakePathRelativeTo(const std::wstring& path, const std::wstring& base) {
  auto nativePath = NSStringFromWstring(path);
  auto nativeBase = NSStringFromWstring(base);
  if (!nativePath || !nativeBase)
    return std::wstring();
  return WidePath(stringWithPathRelativeTo(*nativePath, *nativeBase));
}

std::vector<std::wstring> GetMountedVolumeStrings() {
  std::vector<std::wstring> volumes;
  std::unique_ptr<FILE, FileCloser> mounts(std::fopen("/proc/self/mounts", "re"));
  if (!mounts)
    return volumes;
  char* line = nullptr;
  size_t capacity = 0;
  while (getline(&line, &capacity, mounts.get()) > 0) {
    // Fields: device, mount point, type, options, ...
    std::string text(line);
    size_t first = text.find(' ');
    if (first == std::string::npos)
      continue;
    size_t second = text.find(' ', first + 1);
    if (second == std::string::npos)
      continue;
    const std::string mountPoint = UnescapeMountPoint(text.substr(first + 1, second - first - 1));
    volumes.push_back(WidePath(FileURLFromPath(mountPoint, true)));
  }
  std::free(line);
  return volumes;
}

}  // namespace MacFileOperations
