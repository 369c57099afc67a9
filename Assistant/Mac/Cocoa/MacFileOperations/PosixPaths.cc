#include "Assistant/Mac/Cocoa/MacFileOperations/PosixPaths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <vector>

#include "Assistant/Mac/Cocoa/MacFileOperations/PosixBridge.h"

namespace MacFileOperations {

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

std::optional<std::string> ResolveLinkChain(const std::string& path, int depth, int* error) {
  std::string current = path;
  for (;; --depth) {
    if (depth < 1) {
      *error = kFileNotFoundError;
      return std::nullopt;
    }
    struct stat status;
    if (lstat(current.c_str(), &status) != 0) {
      *error = errno;
      return std::nullopt;
    }
    if (!S_ISLNK(status.st_mode))
      return current;
    std::string target(PATH_MAX, '\0');
    ssize_t length = readlink(current.c_str(), target.data(), target.size());
    if (length < 0) {
      *error = errno;
      return std::nullopt;
    }
    target.resize(static_cast<size_t>(length));
    if (target.empty() || target[0] != '/') {
      std::string name;
      std::string parent;
      SplitPath(current, name, parent);
      target = JoinPath(parent, target);
    }
    current = NormalizePath(target);
    // The last link's target must exist; a further link costs one more level.
    if (lstat(current.c_str(), &status) != 0) {
      *error = errno;
      return std::nullopt;
    }
    if (!S_ISLNK(status.st_mode))
      return current;
  }
}

}  // namespace MacFileOperations
