#include "Common/EntryText.h"

#include <json-c/json.h>

#include <cmath>
#include <cstring>
#include <utility>

#include "Common/JsonObjectPtr.h"

namespace {

// What json-c writes for each byte that it escapes; null for those it keeps.
const char* EscapeOf(unsigned char c) {
  static const struct Table {
    const char* escapes[0x60] = {};
    char controls[0x20][7] = {};
    Table() {
      static const char kHex[] = "0123456789abcdef";
      for (int c = 0; c < 0x20; ++c) {
        const char text[7] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF], '\0'};
        std::memcpy(controls[c], text, sizeof text);
        escapes[c] = controls[c];
      }
      const std::pair<unsigned char, const char*> kShort[] = {
          {'\b', "\\b"}, {'\n', "\\n"}, {'\r', "\\r"}, {'\t', "\\t"},
          {'\f', "\\f"}, {'"', "\\\""}, {'/', "\\/"},  {'\\', "\\\\"}};
      for (const auto& [byte, text] : kShort)
        escapes[byte] = text;
    }
  } table;
  return c < 0x60 ? table.escapes[c] : nullptr;
}

// Doubles up to this hold every integer exactly, so "%f" of one of them is
// its digits and six zeros.
constexpr double kExactIntegers = 9007199254740992.0;

}  // namespace

void AppendJSONString(const char* text, std::string& out) {
  // Sized first, then filled: paths carry many "/", each written "\/".
  size_t length = 2;
  const char* end = text;
  for (; *end != '\0'; ++end) {
    const char* escape = EscapeOf(static_cast<unsigned char>(*end));
    length += escape != nullptr ? std::strlen(escape) : 1;
  }
  const size_t start = out.size();
  out.resize(start + length);
  char* to = &out[start];
  *to++ = '"';
  for (const char* c = text; c != end; ++c) {
    const char* escape = EscapeOf(static_cast<unsigned char>(*c));
    if (escape == nullptr) {
      *to++ = *c;
    } else {
      while (*escape != '\0')
        *to++ = *escape++;
    }
  }
  *to = '"';
}

void AppendSize(double size, std::string& out) {
  // File sizes are whole numbers; anything else is rare and left to json-c,
  // with its locale handling and its forms for huge and odd values.
  if (!std::signbit(size) && size < kExactIntegers && size == std::floor(size)) {
    char digits[24];
    char* end = digits + sizeof digits;
    char* first = end;
    auto value = static_cast<unsigned long long>(size);
    do {
      *--first = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    out.append(first, static_cast<size_t>(end - first));
    out += ".000000";
    return;
  }
  const JsonObjectPtr number(json_object_new_double(size));
  if (number == nullptr)
    return;
  if (std::fabs(size) < 1e100)
    json_object_set_serializer(number.get(), json_object_double_to_json_string,
                               const_cast<char*>("%f"), nullptr);
  out += json_object_to_json_string(number.get());
}

void AppendEntryJSON(const xwstring_pair& key, double size, std::string& out) {
  out += "{ \"file_path\": ";
  AppendJSONString(TextOf(key.first), out);
  out += ", \"relative_path\": ";
  AppendJSONString(TextOf(key.second), out);
  out += ", \"size\": ";
  AppendSize(size, out);
  out += " }";
}
