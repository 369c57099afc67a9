#include "Common/EntryText.h"

#include <json-c/json.h>

#include <cmath>

#include "Common/JsonObjectPtr.h"

namespace {

// What json-c writes for each byte that it escapes, with its length; a
// length of zero for the bytes it keeps. Built at compile time: the lookup
// runs for every byte of every path in a list.
struct EscapeTable {
  char text[0x60][7] = {};
  unsigned char length[0x100] = {};

  constexpr EscapeTable() {
    const char hex[] = "0123456789abcdef";
    for (int c = 0; c < 0x20; ++c) {
      const char control[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
      for (int i = 0; i < 6; ++i)
        text[c][i] = control[i];
      length[c] = 6;
    }
    const char shortForms[][2] = {{'\b', 'b'}, {'\n', 'n'}, {'\r', 'r'}, {'\t', 't'},
                                  {'\f', 'f'}, {'"', '"'},  {'/', '/'},  {'\\', '\\'}};
    for (const auto& form : shortForms) {
      const auto byte = static_cast<unsigned char>(form[0]);
      text[byte][0] = '\\';
      text[byte][1] = form[1];
      text[byte][2] = '\0';
      length[byte] = 2;
    }
  }
};

constexpr EscapeTable kEscapes;

// Doubles up to this hold every integer exactly, so "%f" of one of them is
// its digits and six zeros.
constexpr double kExactIntegers = 9007199254740992.0;

}  // namespace

void AppendJSONString(const char* text, std::string& out) {
  out += '"';
  // Runs of kept bytes are copied whole; paths carry many "/", each "\/".
  const char* run = text;
  for (const char* c = text; *c != '\0'; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    if (kEscapes.length[byte] == 0)
      continue;
    out.append(run, static_cast<size_t>(c - run));
    out.append(kEscapes.text[byte], kEscapes.length[byte]);
    run = c + 1;
  }
  out += run;
  out += '"';
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
