#include "Common/FileList.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "Common/JsonObjectPtr.h"

namespace {

using Rows = std::vector<std::tuple<std::string, std::string, double>>;

Rows Entries(const CFileList& list) {
  Rows rows;
  for (const auto& [key, size] : list)
    rows.emplace_back(static_cast<const char*>(key.first), static_cast<const char*>(key.second),
                      size);
  return rows;
}

bool Read(CFileList& list, const char* text) {
  const JsonObjectPtr array(json_tokener_parse(text));
  return list.FromJSON(array.get());
}

struct ReadCase {
  const char* text;
  Rows rows;
};

// Keys compare ignoring ASCII case, path first; the first of equal keys stays,
// and a missing or mistyped member reads as its default.
TEST(FileList, ReadsEntriesInKeyOrderMergingCaseTwins) {
  const ReadCase cases[] = {
      {R"([{"file_path": "/a/B.txt", "size": 5.0}, {"file_path": "/a/b.TXT", "size": 9.0},)"
       R"( {"file_path": "/A", "relative_path": "r", "size": 1e220}])",
       {{"/A", "r", 1e220}, {"/a/B.txt", "", 5.0}}},
      {R"([{"file_path": "/p", "relative_path": "z"}, {"file_path": "/P", "relative_path": "A"}])",
       {{"/P", "A", 0}, {"/p", "z", 0}}},
      {R"([{"file_path": "/\u00e9"}, {"file_path": "/\u00c9"}])",
       {{"/\xC3\x89", "", 0}, {"/\xC3\xA9", "", 0}}},
      {R"([{"file_path": "/i", "relative_path": 3, "size": 5}, null, "text"])",
       {{"", "", 0}, {"/i", "", 0}}},
  };
  for (const ReadCase& c : cases) {
    CFileList list;
    EXPECT_TRUE(Read(list, c.text));
    EXPECT_EQ(Entries(list), c.rows) << c.text;
  }
}

TEST(FileList, WrittenEntriesReadBackAndNothingReplacesNothing) {
  CFileList list;
  ASSERT_TRUE(Read(list, R"([{"file_path": "/g", "size": 3e9}, {"file_path": "/B", "size": 7.0},)"
                         R"( {"file_path": "/a", "relative_path": "d/s", "size": 1.5}])"));
  json_object* array = nullptr;
  ASSERT_TRUE(list.ToJSON(array));
  const JsonObjectPtr owned(array);
  CFileList back;
  ASSERT_TRUE(Read(back, json_object_to_json_string(array)));
  EXPECT_EQ(Entries(back), Entries(list));

  for (const char* empty : {"[]", R"({"file_path": "/x"})", "null"})
    EXPECT_FALSE(Read(back, empty)) << empty;
  EXPECT_EQ(Entries(back), Entries(list));
  json_object* untouched = array;
  EXPECT_FALSE(CFileList().ToJSON(untouched));
  EXPECT_EQ(untouched, array);
}

TEST(PathSet, KeepsTheFirstSpellingAndConvertsBothWays) {
  json_xwstringset set;
  for (const char* path : {"/users/A/doc", "/Users/a/Doc", "/b"})
    set.insert(xwstring(path));
  json_object* array = nullptr;
  ASSERT_TRUE(set.ToJSON(array));
  const JsonObjectPtr owned(array);
  EXPECT_STREQ(json_object_to_json_string(array), R"([ "\/b", "\/users\/A\/doc" ])");

  const JsonObjectPtr read(json_tokener_parse(R"(["/x", 5, "/X", null])"));
  ASSERT_TRUE(set.FromJSON(read.get()));
  ASSERT_EQ(set.size(), 2u);
  EXPECT_STREQ(static_cast<const char*>(*set.begin()), "");
  EXPECT_STREQ(static_cast<const char*>(*set.rbegin()), "/x");
  const JsonObjectPtr none(json_tokener_parse("[]"));
  EXPECT_FALSE(set.FromJSON(none.get()));
  EXPECT_EQ(set.size(), 2u);
  json_object* out = nullptr;
  EXPECT_FALSE(json_xwstringset().ToJSON(out));
  EXPECT_EQ(out, nullptr);
}

}  // namespace
