#include "Common/MessageParser.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/core/TextConversion.h"

namespace {

// Elements sit inside the message and the array: json-c's depth limit is
// counted from there.
constexpr int kElementDepth = JSON_TOKENER_DEFAULT_DEPTH - 2;

struct TokenerFree {
  void operator()(json_tokener* tokener) const { json_tokener_free(tokener); }
};
using TokenerPtr = std::unique_ptr<json_tokener, TokenerFree>;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// White space and comments, where json-c allows them; null at an
// unterminated block comment.
const char* SkipSpace(const char* p) {
  for (;;) {
    if (IsSpace(*p)) {
      ++p;
    } else if (p[0] == '/' && p[1] == '*') {
      const char* end = strstr(p + 2, "*/");
      if (end == nullptr)
        return nullptr;
      p = end + 2;
    } else if (p[0] == '/' && p[1] == '/') {
      p = strchrnul(p + 2, '\n');
    } else {
      return p;
    }
  }
}

// Past a string in either quote; null when it does not end.
const char* SkipString(const char* p) {
  const char quote = *p++;
  for (; *p != '\0' && *p != quote; ++p)
    if (*p == '\\' && p[1] != '\0')
      ++p;
  return *p == quote ? p + 1 : nullptr;
}

// Past one value, finding only where it ends: json-c judges it. Null where
// no value can end.
const char* SkipValue(const char* p) {
  if (*p == '"' || *p == '\'')
    return SkipString(p);
  if (*p == '{' || *p == '[') {
    int depth = 0;
    do {
      if (*p == '"' || *p == '\'') {
        p = SkipString(p);
      } else if (*p == '/') {
        const char* after = SkipSpace(p);
        p = after != p ? after : nullptr;
      } else if (*p == '\0') {
        p = nullptr;
      } else {
        depth += (*p == '{' || *p == '[') ? 1 : (*p == '}' || *p == ']') ? -1 : 0;
        ++p;
      }
    } while (p != nullptr && depth > 0);
    return p;
  }
  const char* start = p;
  while (isalnum(static_cast<unsigned char>(*p)) || *p == '+' || *p == '-' || *p == '.')
    ++p;
  return p != start ? p : nullptr;
}

// One array element, [begin, end), parsed by json-c on its own into `list`.
bool ParseElement(json_tokener* tokener, const char* begin, const char* end, CFileList& list) {
  if (end - begin > INT_MAX)
    return false;
  const int length = static_cast<int>(end - begin);
  json_tokener_reset(tokener);
  JsonObjectPtr element(json_tokener_parse_ex(tokener, begin, length));
  if (json_tokener_get_error(tokener) == json_tokener_continue) {
    // A number or a word waits for what follows it.
    element.reset(json_tokener_parse_ex(tokener, " ", 1));
  } else if (json_tokener_get_parse_end(tokener) != static_cast<size_t>(length)) {
    return false;
  }
  if (json_tokener_get_error(tokener) != json_tokener_success)
    return false;
  list.InsertFromJSON(element.get());
  return true;
}

// Past spaces between tokens; a comment ends the quick reading there.
const char* SkipPlainSpace(const char* p) {
  while (IsSpace(*p))
    ++p;
  return p;
}

// Past a string in double quotes whose escapes are all of one letter, its
// text in `value`: where it stands in the message, or unescaped into
// `scratch` when it has escapes. Null for a \u escape, a letter json-c
// refuses and an unterminated string.
const char* ReadQuickString(const char* p, std::string& scratch, std::string_view& value) {
  const char* begin = ++p;
  bool escaped = false;
  for (; *p != '"'; ++p) {
    if (*p == '\0')
      return nullptr;
    if (*p == '\\') {
      escaped = true;
      if (*++p == '\0')
        return nullptr;
    }
  }
  if (!escaped) {
    value = std::string_view(begin, size_t(p - begin));
    return p + 1;
  }
  // Paths carry an escaped "/" in every component: the text is written
  // byte by byte into room made once, not appended piece by piece.
  scratch.resize(size_t(p - begin));
  char* out = &scratch[0];
  for (const char* in = begin; in != p; ++in) {
    if (*in != '\\') {
      *out++ = *in;
      continue;
    }
    switch (*++in) {
      case '"':
      case '\\':
      case '/':
        *out++ = *in;
        break;
      case 'b':
        *out++ = '\b';
        break;
      case 'f':
        *out++ = '\f';
        break;
      case 'n':
        *out++ = '\n';
        break;
      case 'r':
        *out++ = '\r';
        break;
      case 't':
        *out++ = '\t';
        break;
      default:
        return nullptr;
    }
  }
  value = std::string_view(scratch.data(), size_t(out - scratch.data()));
  return p + 1;
}

const char* SkipDigits(const char* p) {
  const char* start = p;
  while (*p >= '0' && *p <= '9')
    ++p;
  return p != start ? p : nullptr;
}

// Past a number written the strict way; `isDouble` says whether json-c
// makes it a double, `value` is then its value. Null for anything else,
// and for a double beyond range, whose value json-c takes from strtod.
const char* ReadQuickNumber(const char* p, bool& isDouble, double& value) {
  const char* start = p;
  if (*p == '-')
    ++p;
  p = SkipDigits(p);
  if (p != nullptr && *p == '.')
    p = SkipDigits(p + 1);
  if (p != nullptr && (*p == 'e' || *p == 'E')) {
    ++p;
    if (*p == '+' || *p == '-')
      ++p;
    p = SkipDigits(p);
  }
  if (p == nullptr)
    return nullptr;
  isDouble = std::find_if(start, p, [](char c) { return c == '.' || c == 'e' || c == 'E'; }) != p;
  if (isDouble) {
    const std::from_chars_result read = std::from_chars(start, p, value);
    if (read.ec != std::errc() || read.ptr != p)
      return nullptr;
  }
  return p;
}

bool IsName(const char* name, size_t length, const char* wanted) {
  return strlen(wanted) == length && memcmp(name, wanted, length) == 0;
}

// Entries of one folder come together, so the relative path is mostly the
// one before: its text is shared, not copied again.
xwstring RelativePathOf(std::string_view value, const CFileList& list) {
  if (!list.empty()) {
    const xwstring& last = list.rbegin()->first.second;
    if (value == TextOf(last))
      return last;
  }
  return xwstring(value.data(), static_cast<int>(value.size()));
}

}  // namespace

// Most elements are flat objects of plain strings and numbers: read
// straight, they cost no json-c tree of four objects and a hash table each.
const char* QuickListReader::Read(const char* p, CFileList& list) {
  if (*p != '{')
    return nullptr;
  std::string_view filePath = "", relativePath = "", other = "";
  double size = 0;
  p = SkipPlainSpace(p + 1);
  while (*p != '}') {
    if (*p != '"')
      return nullptr;
    const char* name = p + 1;
    for (p = name; *p != '"'; ++p)
      if (*p == '\\' || *p == '\0')
        return nullptr;
    const size_t nameLength = size_t(p - name);
    p = SkipPlainSpace(p + 1);
    if (*p != ':')
      return nullptr;
    p = SkipPlainSpace(p + 1);
    // The last member of a name counts; a mistyped one reads as the default.
    const bool isFilePath = IsName(name, nameLength, "file_path");
    const bool isRelativePath = !isFilePath && IsName(name, nameLength, "relative_path");
    std::string_view& target = isFilePath ? filePath : isRelativePath ? relativePath : other;
    std::string& scratch = isFilePath ? mFilePath : isRelativePath ? mRelativePath : mOther;
    bool isDouble = false;
    double number = 0;
    if (*p == '"') {
      p = ReadQuickString(p, scratch, target);
    } else if (*p == '-' || (*p >= '0' && *p <= '9')) {
      p = ReadQuickNumber(p, isDouble, number);
      target = "";
    } else {
      return nullptr;
    }
    if (p == nullptr)
      return nullptr;
    if (IsName(name, nameLength, "size"))
      size = isDouble ? number : 0.0;
    p = SkipPlainSpace(p);
    if (*p == ',') {
      p = SkipPlainSpace(p + 1);
      if (*p != '"')
        return nullptr;
    } else if (*p != '}') {
      return nullptr;
    }
  }
  list.Append(xwstring_pair(xwstring(filePath.data(), static_cast<int>(filePath.size())),
                            RelativePathOf(relativePath, list)),
              size);
  return p + 1;
}

namespace {

enum class Scan { kDone, kInvalid, kUnfollowed };

// Parses the elements of the array at `p` into `list`; `p` ends up past it.
Scan ParseArray(const char*& p, CFileList& list) {
  const TokenerPtr tokener(json_tokener_new_ex(kElementDepth));
  if (tokener == nullptr)
    return Scan::kUnfollowed;
  QuickListReader reader;
  p = SkipSpace(p + 1);
  while (p != nullptr && *p != ']') {
    const char* end = reader.Read(p, list);
    if (end == nullptr) {
      end = SkipValue(p);
      if (end == nullptr || !ParseElement(tokener.get(), p, end, list))
        return Scan::kInvalid;
    }
    p = SkipSpace(end);
    if (p != nullptr && *p == ',')
      p = SkipSpace(p + 1);
    else if (p != nullptr && *p != ']')
      return Scan::kInvalid;
  }
  if (p == nullptr)
    return Scan::kInvalid;
  ++p;
  return Scan::kDone;
}

struct ListSpan {
  const char* begin;
  const char* end;
};

// Walks the top-level object: every "files_ul" array is parsed into `files`
// (json-c keeps the last member of a name, so the last one counts) and its
// span recorded. kUnfollowed for anything the walk does not follow, such as
// a member name written with escapes.
Scan ScanMessage(const char* p, std::vector<ListSpan>& spans, std::unique_ptr<CFileList>& files) {
  p = SkipSpace(p);
  if (p == nullptr || *p != '{')
    return Scan::kUnfollowed;
  p = SkipSpace(p + 1);
  while (p != nullptr && *p != '}') {
    if (*p != '"' && *p != '\'')
      return Scan::kUnfollowed;
    const char* nameEnd = SkipString(p);
    if (nameEnd == nullptr || memchr(p, '\\', size_t(nameEnd - p)) != nullptr)
      return Scan::kUnfollowed;
    const bool isList = nameEnd - p == 10 && memcmp(p + 1, "files_ul", 8) == 0;
    p = SkipSpace(nameEnd);
    if (p == nullptr || *p != ':')
      return Scan::kUnfollowed;
    p = SkipSpace(p + 1);
    if (p == nullptr)
      return Scan::kUnfollowed;
    if (isList && *p == '[') {
      auto list = std::make_unique<CFileList>();
      const char* begin = p;
      const Scan scan = ParseArray(p, *list);
      if (scan != Scan::kDone)
        return scan;
      spans.push_back({begin, p});
      files = std::move(list);
    } else {
      if (isList)
        files.reset();
      p = SkipValue(p);
    }
    p = p != nullptr ? SkipSpace(p) : nullptr;
    if (p != nullptr && *p == ',')
      p = SkipSpace(p + 1);
    else if (p == nullptr || *p != '}')
      return Scan::kUnfollowed;
  }
  return p != nullptr ? Scan::kDone : Scan::kUnfollowed;
}

void DeleteFileList(json_object*, void* files) {
  delete static_cast<CFileList*>(files);
}

// The text with every span read as an empty array, parsed piece by piece so
// that nothing is copied.
JsonObjectPtr ParseAround(const char* text, const std::vector<ListSpan>& spans) {
  const TokenerPtr tokener(json_tokener_new());
  if (tokener == nullptr)
    return nullptr;
  const auto feed = [&tokener](const char* piece, size_t length) {
    json_tokener_parse_ex(tokener.get(), piece, static_cast<int>(length));
    return json_tokener_get_error(tokener.get()) == json_tokener_continue;
  };
  for (const ListSpan& span : spans) {
    if (!feed(text, size_t(span.begin - text)) || !feed("[]", 2))
      return nullptr;
    text = span.end;
  }
  JsonObjectPtr message(json_tokener_parse_ex(tokener.get(), text, -1));
  if (json_tokener_get_error(tokener.get()) != json_tokener_success)
    return nullptr;
  return message;
}

}  // namespace

JsonObjectPtr ParseMessage(const char* text) {
  if (text == nullptr)
    return nullptr;
  const size_t length = strlen(text);
  if (length > INT_MAX || !QXIsValidUTF8(text, length))
    return nullptr;

  std::vector<ListSpan> spans;
  std::unique_ptr<CFileList> files;
  switch (ScanMessage(text, spans, files)) {
    case Scan::kInvalid:
      return nullptr;
    case Scan::kUnfollowed:
      return JsonObjectPtr(json_tokener_parse(text));
    case Scan::kDone:
      break;
  }
  if (spans.empty())
    return JsonObjectPtr(json_tokener_parse(text));
  JsonObjectPtr message = ParseAround(text, spans);
  if (message != nullptr && files != nullptr)
    json_object_set_userdata(message.get(), files.release(), DeleteFileList);
  return message;
}

bool TakeFileList(json_object* message, CFileList& list) {
  if (!json_msg_is_usable(message))
    return false;
  if (auto* files = static_cast<CFileList*>(json_object_get_userdata(message))) {
    if (files->empty())
      return false;
    list.clear();
    list.swap(*files);
    return true;
  }
  const json_msg_param_array array(message, "files_ul");
  return array.length() >= 1 && list.FromJSON(array);
}
