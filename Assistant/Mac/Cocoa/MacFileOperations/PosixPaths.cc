#include "Assistant/Mac/Cocoa/MacFileOperations/PosixPaths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

#include "Assistant/Mac/Cocoa/MacFileOperations/PosixBridge.h"

namespace MacFileOperations {

namespace {

// Links the kernel follows while resolving one path before it gives up.
constexpr int kKernelLinkLimit = 40;

void DropLastComponent(std::string& path) {
  const size_t slash = path.rfind('/');
  path.resize(slash == 0 || slash == std::string::npos ? 1 : slash);
}

bool AppendResolved(std::string& result, const std::string& path, int& links, int* error);

// Replaces the link at the end of `path` (absolute, without "." or "..") by
// what its target names, read from the folder that holds the link.
bool FollowLink(std::string& path, int& links, int* error) {
  if (++links > kKernelLinkLimit) {
    *error = ELOOP;
    return false;
  }
  std::string target(PATH_MAX, '\0');
  const ssize_t length = readlink(path.c_str(), target.data(), target.size());
  if (length < 0) {
    *error = errno;
    return false;
  }
  target.resize(static_cast<size_t>(length));
  if (!target.empty() && target[0] == '/') {
    path = "/";
  } else {
    DropLastComponent(path);
  }
  return AppendResolved(path, target, links, error);
}

// Appends the components of `path` to `result`. ".." leaves the folder that
// the path so far names, so a link at its end is followed first: its parent
// is the parent of the link's target, not of the link.
bool AppendResolved(std::string& result, const std::string& path, int& links, int* error) {
  size_t position = 0;
  while (position < path.size()) {
    size_t slash = path.find('/', position);
    if (slash == std::string::npos)
      slash = path.size();
    const size_t length = slash - position;
    const char* part = path.data() + position;
    position = slash + 1;
    if (length == 0 || (length == 1 && part[0] == '.'))
      continue;
    if (length == 2 && part[0] == '.' && part[1] == '.') {
      for (;;) {
        struct stat status;
        if (lstat(result.c_str(), &status) != 0) {
          *error = errno;
          return false;
        }
        if (!S_ISLNK(status.st_mode)) {
          if (!S_ISDIR(status.st_mode)) {
            *error = ENOTDIR;
            return false;
          }
          break;
        }
        if (!FollowLink(result, links, error))
          return false;
      }
      DropLastComponent(result);
      continue;
    }
    if (result.back() != '/')
      result += '/';
    result.append(part, length);
  }
  return true;
}

}  // namespace

std::string JoinPath(const std::string& first, const std::string& second) {
  if (first.empty())
    return second;
  if (second.empty())
    return first;
  size_t end = first.find_last_not_of('/');
  std::string result = end == std::string::npos ? std::string() : first.substr(0, end + 1);
  size_t start = second.find_first_not_of('/');
  result += '/';
  if (start != std::string::npos)
    result.append(second, start, std::string::npos);
  return result;
}

void SplitPath(const std::string& path, std::string& name, std::string& parent) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) {
    // Only slashes (the root) or nothing at all.
    name = path.empty() ? std::string() : "/";
    parent = name;
    return;
  }
  size_t slash = path.rfind('/', end);
  if (slash == std::string::npos) {
    name = path.substr(0, end + 1);
    parent.clear();
    return;
  }
  name = path.substr(slash + 1, end - slash);
  size_t parentEnd = path.find_last_not_of('/', slash);
  parent = parentEnd == std::string::npos ? "/" : path.substr(0, parentEnd + 1);
}

std::string NormalizePath(const std::string& path) {
  const bool absolute = !path.empty() && path[0] == '/';
  std::vector<std::string> parts;
  size_t position = 0;
  while (position <= path.size()) {
    size_t slash = path.find('/', position);
    if (slash == std::string::npos)
      slash = path.size();
    std::string part = path.substr(position, slash - position);
    position = slash + 1;
    if (part.empty() || part == ".")
      continue;
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (!absolute) {
        parts.push_back(part);
      }
      continue;
    }
    parts.push_back(std::move(part));
  }
  std::string result = absolute ? "/" : "";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i != 0)
      result += '/';
    result += parts[i];
  }
  if (result.empty() && !absolute)
    result = ".";
  return result;
}

bool IsHiddenPath(const std::string& path) {
  std::string name;
  std::string parent;
  SplitPath(path, name, parent);
  return !name.empty() && name[0] == '.';
}

std::optional<std::string> ResolveDots(const std::string& path, int* error) {
  if (path.empty()) {
    *error = ENOENT;
    return std::nullopt;
  }
  std::string result = "/";
  if (path[0] != '/') {
    char folder[PATH_MAX];
    if (getcwd(folder, sizeof folder) == nullptr) {
      *error = errno;
      return std::nullopt;
    }
    result = folder;
  }
  int links = 0;
  if (!AppendResolved(result, path, links, error))
    return std::nullopt;
  return result;
}

std::optional<std::string> ResolveLinkChain(const std::string& path, int depth, int* error) {
  auto current = ResolveDots(path, error);
  if (!current)
    return std::nullopt;
  int links = 0;
  for (;; --depth) {
    if (depth < 1) {
      *error = kFileNotFoundError;
      return std::nullopt;
    }
    struct stat status;
    if (lstat(current->c_str(), &status) != 0) {
      *error = errno;
      return std::nullopt;
    }
    if (!S_ISLNK(status.st_mode))
      return current;
    if (!FollowLink(*current, links, error))
      return std::nullopt;
    // The last link's target must exist; a further link costs one more level.
    if (lstat(current->c_str(), &status) != 0) {
      *error = errno;
      return std::nullopt;
    }
    if (!S_ISLNK(status.st_mode))
      return current;
  }
}

}  // namespace MacFileOperations
