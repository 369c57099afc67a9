#include "Common/EntryText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

// The reference: the entry as a json-c tree, written by json-c.
std::string JsonCEntry(const char* path, const char* relative, double size) {
  json_object* entry = json_object_new_object();
  json_object_object_add(entry, "file_path", json_object_new_string(path));
  json_object_object_add(entry, "relative_path", json_object_new_string(relative));
  json_object* number = json_object_new_double(size);
  if (std::fabs(size) < 1e100)
    json_object_set_serializer(number, json_object_double_to_json_string, const_cast<char*>("%f"),
                               nullptr);
  json_object_object_add(entry, "size", number);
  std::string text = json_object_to_json_string(entry);
  json_object_put(entry);
  return text;
}

std::string Written(const char* path, const char* relative, double size) {
  std::string text;
  AppendEntryJSON(xwstring_pair(path, relative), size, text);
  return text;
}

TEST(EntryText, EscapesEveryByteAsJsonC) {
  for (int byte = 1; byte < 256; ++byte) {
    const std::string path =
        std::string("/a") + static_cast<char>(byte) + "b/" + static_cast<char>(byte);
    EXPECT_EQ(Written(path.c_str(), "r", 1), JsonCEntry(path.c_str(), "r", 1)) << byte;
  }
}

TEST(EntryText, WritesTextAsJsonC) {
  const char* const texts[] = {"",
                               "/",
                               "plain/name.txt",
                               "\"quoted\" \\ back\\slash",
                               "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC",
                               "tab\tnew\nline\r\x01\x1F\x7F"};
  for (const char* path : texts)
    for (const char* relative : texts)
      EXPECT_EQ(Written(path, relative, 0), JsonCEntry(path, relative, 0));
}

TEST(EntryText, WritesSizesAsJsonC) {
  const double sizes[] = {0.0,
                          -0.0,
                          1.0,
                          4999.0,
                          1.5,
                          -3.0,
                          1e15,
                          9007199254740991.0,
                          9007199254740992.0,
                          18446744073709551615.0,
                          1e99,
                          1e100,
                          -1e300,
                          std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN()};
  for (double size : sizes)
    EXPECT_EQ(Written("/f", "", size), JsonCEntry("/f", "", size)) << size;
}

TEST(EntryText, AbsentTextIsWrittenEmpty) {
  std::string text;
  AppendEntryJSON(xwstring_pair(xwstring(), xwstring()), 2, text);
  EXPECT_EQ(text, JsonCEntry("", "", 2));
}

}  // namespace
