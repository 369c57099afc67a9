#include "Common/MessageParser.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <memory>
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

enum class Scan { kDone, kInvalid, kUnfollowed };

// Parses the elements of the array at `p` into `list`; `p` ends up past it.
Scan ParseArray(const char*& p, CFileList& list) {
  const TokenerPtr tokener(json_tokener_new_ex(kElementDepth));
  if (tokener == nullptr)
    return Scan::kUnfollowed;
  p = SkipSpace(p + 1);
  while (p != nullptr && *p != ']') {
    const char* end = SkipValue(p);
    if (end == nullptr || !ParseElement(tokener.get(), p, end, list))
      return Scan::kInvalid;
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
