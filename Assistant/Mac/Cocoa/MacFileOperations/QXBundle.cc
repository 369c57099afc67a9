#include "Assistant/Mac/Cocoa/MacFileOperations/QXBundle.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "Assistant/Mac/Cocoa/MacFileOperations/FileURL.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/PosixBridge.h"
#include "Assistant/Mac/Cocoa/MacFileOperations/PosixPaths.h"

namespace MacFileOperations {
namespace {

constexpr char kResourceFolder[] = "../share/quorvex-webclient";

}  // namespace

QXBundle::QXBundle() {
  char executable[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", executable, sizeof executable - 1);
  if (length <= 0)
    return;
  std::string name;
  std::string folder;
  SplitPath(std::string(executable, static_cast<size_t>(length)), name, folder);
  if (!folder.empty())
    mPath = folder;
}

std::wstring QXBundle::ResourcePathAsString() const {
  if (!mPath)
    return std::wstring();
  return WidePath(NormalizePath(JoinPath(*mPath, kResourceFolder)));
}

std::wstring QXBundle::URLForResource(const std::wstring& name, const std::wstring& extension,
                                      std::wstring subdirectory) const {
  if (!mPath)
    return std::wstring();
  std::wstring file = name;
  if (!extension.empty())
    file += (extension[0] == L'.' ? L"" : L".") + extension;
  auto native = NativePath(ResourcePathAsString());
  auto nativeSubdirectory = NativePath(subdirectory);
  auto nativeFile = NativePath(file);
  if (!native || !nativeSubdirectory || !nativeFile)
    return std::wstring();
  const std::string path = JoinPath(JoinPath(*native, *nativeSubdirectory), *nativeFile);
  struct stat status;
  if (stat(path.c_str(), &status) != 0)
    return std::wstring();
  return WidePath(FileURLFromPath(path, S_ISDIR(status.st_mode)));
}

}  // namespace MacFileOperations
