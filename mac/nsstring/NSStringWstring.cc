#include "mac/nsstring/NSStringWstring.h"

#include <cstdlib>
#include <cwchar>
#include <vector>

#include "platform/core/TextConversion.h"

std::optional<std::string> NSStringFromWchar(const wchar_t* text) {
  if (text == nullptr)
    return std::nullopt;
  const size_t n = wcslen(text);
  if (!QXCanEncodeUTF8(text, n))
    return std::nullopt;
  return QXEncodeUTF8(text, n);
}

std::optional<std::string> NSStringFromWstring(const std::wstring& text) {
  return NSStringFromWchar(text.c_str());
}

std::unique_ptr<wchar_t[]> wcharFromNSString(const std::optional<std::string>& string) {
  if (!string)
    return nullptr;
  const size_t n = QXDecodedLength(string->data(), string->size());
  std::unique_ptr<wchar_t[]> result(new wchar_t[n + 1]);
  QXDecodeUTF8Into(string->data(), string->size(), result.get());
  result[n] = L'\0';
  return result;
}

std::wstring wstringFromNSString(const std::optional<std::string>& string) {
  const std::unique_ptr<wchar_t[]> chars = wcharFromNSString(string);
  return chars ? std::wstring(chars.get()) : std::wstring();
}

std::optional<std::string> NSStringFromWcharNoCopy(char* bytes, size_t length, bool freeWhenDone) {
  if (bytes == nullptr)
    return std::nullopt;
  std::string text(bytes, length);
  if (freeWhenDone)
    free(bytes);
  return text;
}

namespace {

// Components as the desktop frameworks split a path: an absolute path starts
// with the component "/", a trailing separator adds a final "/", and empty
// components between repeated separators vanish.
std::vector<std::string> PathComponents(const std::string& path) {
  std::vector<std::string> components;
  if (path.empty())
    return components;
  if (path[0] == '/')
    components.emplace_back("/");
  size_t start = 0;
  while (start < path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos)
      slash = path.size();
    if (slash > start)
      components.emplace_back(path, start, slash - start);
    start = slash + 1;
  }
  if (path.size() > 1 && path.back() == '/')
    components.emplace_back("/");
  return components;
}

std::string PathWithComponents(const std::vector<std::string>& components) {
  std::string path;
  for (const std::string& component : components) {
    if (component == "/") {
      if (path.empty() || path.back() != '/')
        path += '/';
      continue;
    }
    if (!path.empty() && path.back() != '/')
      path += '/';
    path += component;
  }
  return path;
}

}  // namespace

std::string stringWithPathRelativeTo(const std::string& path, const std::string& base) {
  const std::vector<std::string> own = PathComponents(path);
  const std::vector<std::string> baseComponents = PathComponents(base);
  size_t common = 0;
  while (common < own.size() && common < baseComponents.size() &&
         own[common] == baseComponents[common])
    ++common;
  std::vector<std::string> result(baseComponents.size() - common, "..");
  result.insert(result.end(), own.begin() + common, own.end());
  return PathWithComponents(result);
}
