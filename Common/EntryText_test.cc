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

// Every byte in a path, texts that need escapes, and sizes either side of
// the point where json-c stops writing "%f".
TEST(EntryText, WritesEntriesAsJsonC) {
  std::vector<std::string> texts = {"", "caf\xC3\xA9"};
  for (int byte = 1; byte < 256; ++byte)
    texts.push_back(std::string("/a") + static_cast<char>(byte) + "b/");
  for (const std::string& text : texts)
    EXPECT_EQ(Written(text.c_str(), "r\"", 1), JsonCEntry(text.c_str(), "r\"", 1)) << text;
  for (double size : {-0.0, 1.5, 9007199254740993.0, 1e99, 1e100, -1e300,
                      std::numeric_limits<double>::infinity(), std::nan("")})
    EXPECT_EQ(Written("/f", "", size), JsonCEntry("/f", "", size)) << size;
  std::string text;
  AppendEntryJSON(xwstring_pair(xwstring(), xwstring()), 2, text);
  EXPECT_EQ(text, JsonCEntry("", "", 2));
}

}  // namespace
