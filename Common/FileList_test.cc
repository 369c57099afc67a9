#include "Common/FileList.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "Common/JsonObjectPtr.h"

namespace {

using Rows = std::vector<std::tuple<std::string, std::string, double>>;

Rows Read(CFileList& list, const char* text) {
  const JsonObjectPtr array(json_tokener_parse(text));
  Rows rows;
  if (list.FromJSON(array.get()))
    for (const auto& [key, size] : list)
      rows.emplace_back(static_cast<const char*>(key.first), static_cast<const char*>(key.second),
                        size);
  return rows;
}

// Keys compare ignoring ASCII case, path first; the first of equal keys stays,
// a missing or mistyped member reads as its default, and what is written
// reads back the same.
TEST(FileList, ReadsEntriesInKeyOrderMergingCaseTwinsAndWritesThemBack) {
  const std::pair<const char*, Rows> cases[] = {
      {R"([{"file_path": "/a/B.txt", "size": 5.0}, {"file_path": "/a/b.TXT", "size": 9.0},)"
       R"( {"file_path": "/A", "relative_path": "r/s", "size": 1e220}])",
       {{"/A", "r/s", 1e220}, {"/a/B.txt", "", 5.0}}},
      {R"([{"file_path": "/p", "relative_path": "z"}, {"file_path": "/P", "relative_path": "A"}])",
       {{"/P", "A", 0}, {"/p", "z", 0}}},
      {R"([{"file_path": "/\u00e9"}, {"file_path": "/\u00c9", "size": 3e9}])",
       {{"/\xC3\x89", "", 3e9}, {"/\xC3\xA9", "", 0}}},
      {R"([{"file_path": "/i", "relative_path": 3, "size": 5}, null, "text"])",
       {{"", "", 0}, {"/i", "", 0}}},
  };
  for (const auto& [text, rows] : cases) {
    CFileList list, back;
    EXPECT_EQ(Read(list, text), rows) << text;
    std::string written;
    AppendFileListEntriesJSON(list.begin(), list.end(), written);
    EXPECT_EQ(Read(back, written.c_str()), rows) << text;
    // Nothing read replaces nothing.
    for (const char* empty : {"[]", R"({"file_path": "/x"})", "null"})
      EXPECT_EQ(Read(back, empty), Rows{}) << empty;
    EXPECT_EQ(back.size(), rows.size());
  }
}

}  // namespace
