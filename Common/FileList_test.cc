#include "Common/FileList.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

std::string Serialize(json_object* object) {
  std::string text = json_object_to_json_string(object);
  json_object_put(object);
  return text;
}

// Reads `text` into `list` and returns FromJSON's result.
bool Read(CFileList& list, const char* text) {
  json_object* array = json_tokener_parse(text);
  const bool result = list.FromJSON(array);
  json_object_put(array);
  return result;
}

const char* Narrow(const xwstring& s) {
  return s;
}

using Rows = std::vector<std::tuple<std::string, std::string, double>>;

Rows Entries(const CFileList& list) {
  Rows entries;
  for (const auto& [key, size] : list)
    entries.emplace_back(Narrow(key.first), Narrow(key.second), size);
  return entries;
}

TEST(FileList, WritesEntriesInCaseInsensitiveKeyOrderWithSixDecimalSizes) {
  CFileList list;
  list.emplace(xwstring_pair("/B/y", ""), 7.0);
  list.emplace(xwstring_pair("/a/x", "dir/sub"), 1234.0);
  json_object* array = nullptr;
  ASSERT_TRUE(list.ToJSON(array));
  EXPECT_EQ(Serialize(array),
            R"([ { "file_path": "\/a\/x", "relative_path": "dir\/sub", "size": 1234.000000 },)"
            R"( { "file_path": "\/B\/y", "relative_path": "", "size": 7.000000 } ])");

  // Sizes written with decimals read back as doubles, huge ones too.
  list.emplace(xwstring_pair("/g", ""), 3e9);
  list.emplace(xwstring_pair("/huge", ""), 1e220);
  ASSERT_TRUE(list.ToJSON(array));
  CFileList back;
  ASSERT_TRUE(Read(back, Serialize(array).c_str()));
  EXPECT_EQ(Entries(back), Entries(list));

  CFileList empty;
  json_object* sentinel = json_object_new_int(1);
  json_object* out = sentinel;
  EXPECT_FALSE(empty.ToJSON(out));
  EXPECT_EQ(out, sentinel);
  json_object_put(sentinel);
}

TEST(FileList, KeysEqualIgnoringCaseMergeKeepingTheFirst) {
  CFileList list;
  ASSERT_TRUE(Read(list, R"([{"file_path": "/a/B.txt", "relative_path": "", "size": 5.0},)"
                         R"( {"file_path": "/a/b.TXT", "relative_path": "", "size": 9.0}])"));
  EXPECT_EQ(Entries(list), (Rows{{"/a/B.txt", "", 5.0}}));

  // The same path under two relative paths is two entries, ordered by those.
  ASSERT_TRUE(Read(list, R"([{"file_path": "/p", "relative_path": "z", "size": 1.0},)"
                         R"( {"file_path": "/P", "relative_path": "A", "size": 2.0}])"));
  EXPECT_EQ(Entries(list), (Rows{{"/P", "A", 2.0}, {"/p", "z", 1.0}}));

  list.emplace(xwstring_pair("/\xC3\xA9", ""), 1.0);  // é
  list.emplace(xwstring_pair("/\xC3\x89", ""), 2.0);  // É: no Unicode case folding
  EXPECT_EQ(list.size(), 4u);
}

TEST(FileList, MissingOrMistypedMembersReadAsDefaults) {
  CFileList list;
  ASSERT_TRUE(Read(list, R"([{"file_path": "/no-relative", "size": 2.5},)"
                         R"( {"file_path": "/int-size", "relative_path": "r", "size": 5},)"
                         R"( {"file_path": "/no-size", "relative_path": 3}, null, "text"])"));
  // The null element and the string both read as the entry with empty paths.
  EXPECT_EQ(Entries(list), (Rows{{"", "", 0.0},
                                 {"/int-size", "r", 0.0},
                                 {"/no-relative", "", 2.5},
                                 {"/no-size", "", 0.0}}));
}

TEST(FileList, ReadingReplacesTheContentUnlessTheArrayIsEmpty) {
  CFileList list;
  list.emplace(xwstring_pair("/old", ""), 1.0);
  EXPECT_FALSE(Read(list, "[]"));
  EXPECT_FALSE(Read(list, R"({"file_path": "/x"})"));
  EXPECT_FALSE(list.FromJSON(nullptr));
  EXPECT_EQ(list.size(), 1u);
  EXPECT_TRUE(Read(list, R"([{"file_path": "/new", "relative_path": "", "size": 1.0}])"));
  EXPECT_EQ(Entries(list), (Rows{{"/new", "", 1.0}}));
}

TEST(PathSet, KeepsTheFirstSpellingAndConvertsBothWays) {
  json_xwstringset set;
  set.insert(xwstring("/users/A/doc"));
  set.insert(xwstring("/Users/a/Doc"));
  set.insert(xwstring("/b"));
  ASSERT_EQ(set.size(), 2u);
  EXPECT_STREQ(Narrow(*set.rbegin()), "/users/A/doc");

  json_object* array = nullptr;
  ASSERT_TRUE(set.ToJSON(array));
  EXPECT_EQ(Serialize(array), R"([ "\/b", "\/users\/A\/doc" ])");

  json_object* read = json_tokener_parse(R"(["/x", 5, "/X", null])");
  ASSERT_TRUE(set.FromJSON(read));
  json_object_put(read);
  ASSERT_EQ(set.size(), 2u);
  EXPECT_STREQ(Narrow(*set.begin()), "");
  EXPECT_STREQ(Narrow(*set.rbegin()), "/x");

  json_xwstringset empty;
  json_object* out = nullptr;
  EXPECT_FALSE(empty.ToJSON(out));
  EXPECT_EQ(out, nullptr);
  json_object* none = json_tokener_parse("[]");
  EXPECT_FALSE(set.FromJSON(none));
  json_object_put(none);
  EXPECT_EQ(set.size(), 2u);
}

}  // namespace
