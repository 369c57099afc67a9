#include "Assistant/Mac/Cocoa/MacFileOperations/FileURL.h"

#include <strings.h>
#include <cstring>

namespace MacFileOperations {
namespace {

bool IsPathCharacter(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::strchr("-._~!$&'()*+,;=:@/", c) != nullptr;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string FileURLFromPath(const std::string& path, bool isDirectory) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    if (c != '\0' && IsPathCharacter(c)) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  if (isDirectory && (url.empty() || url.back() != '/'))
    url += '/';
  return url;
}

std::optional<std::string> PathFromFileURL(const std::string& url) {
  static const char kScheme[] = "file:";
  if (url.size() < 5 || strncasecmp(url.c_str(), kScheme, 5) != 0)
    return std::nullopt;
  std::string rest = url.substr(5);
  if (rest.compare(0, 2, "//") == 0) {
    size_t slash = rest.find('/', 2);
    std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
    if (!host.empty() && strcasecmp(host.c_str(), "localhost") != 0)
      return std::nullopt;
    rest = slash == std::string::npos ? std::string() : rest.substr(slash);
  }
  // A query or fragment is not part of the path.
  size_t end = rest.find_first_of("?#");
  if (end != std::string::npos)
    rest.erase(end);
  if (rest.empty() || rest[0] != '/')
    return std::nullopt;
  std::string path;
  for (size_t i = 0; i < rest.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(rest[i]);
    if (c == '%') {
      if (i + 2 >= rest.size())
        return std::nullopt;
      int high = HexValue(rest[i + 1]);
      int low = HexValue(rest[i + 2]);
      // A NUL byte cannot be part of a path.
      if (high < 0 || low < 0 || high + low == 0)
        return std::nullopt;
      path += static_cast<char>(high * 16 + low);
      i += 2;
    } else if (c <= ' ' || c >= 0x7f) {
      return std::nullopt;
    } else {
      path += static_cast<char>(c);
    }
  }
  return path;
}

}  // namespace MacFileOperations
