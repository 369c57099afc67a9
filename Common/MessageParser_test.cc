#include "Common/MessageParser.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

// What a handler gets from a message: whether it has a file list, the list,
// and the rest of the message.
std::tuple<bool, std::vector<std::tuple<std::string, std::string, double>>, std::string> Read(
    json_object* message) {
  CFileList list;
  std::vector<std::tuple<std::string, std::string, double>> rows;
  const bool taken = TakeFileList(message, list);
  if (taken)
    for (const auto& [key, size] : list)
      rows.emplace_back(static_cast<const char*>(key.first), static_cast<const char*>(key.second),
                        size);
  if (json_object_is_type(message, json_type_object))
    json_object_object_del(message, "files_ul");
  return {taken, rows, json_object_to_json_string(message)};
}

std::string Nested(int depth) {
  return R"({"files_ul": [)" + std::string(depth, '[') + std::string(depth, ']') + "]}";
}

// Lists read element by element must be what json-c's whole parse gives,
// leniencies, duplicate members and depth limit included.
TEST(MessageParser, ReadsWhatJsonCReads) {
  const std::string texts[] = {
      R"({"type": "Request", "files_ul": [{"file_path": "/a"}, {"file_path": "/A", "size": 2.0},)"
      R"( null, "x", [1], {"file_path": "/b", "relative_path": "r", "size": 5.5}], "n": 1})",
      R"({"files_ul": [{"file_path": "/first"}], "files_ul": [{"file_path": "/last"}]})",
      R"({"files_ul": [{"file_path": "/gone"}], "files_ul": "text"})",
      "{'files_ul' : [ /* c */ {'file_path': '/q\\'}'} , // x\n ], 'code': 'A',}",
      R"({"files\u005ful": [{"file_path": "/escaped"}]})",
      R"({"files_ul": [], "files_ulx": [{"file_path": "/longer name"}]})",
      R"({"files_ul": [1, -2.5e3, true, NaN, {"file_path": "\u00e9\ud800\/"}]} trailing)",
      R"({"files_ul": {"file_path": "/object"}})",
      // Flat elements, read without json-c unless a member needs it.
      R"({"files_ul": [{"file_path":"\/a\t\"", "size": 1e400, "relative_path": "r\u0000s"},)"
      R"( { "size":-2.5E-3 , "file_path": "/b", "file_path": 7, "size": "9.0" }, {},)"
      R"( {"file_path": "/c", "relative_path": "r", "size": 12}, {"file_path": "/d", "x": [1],)"
      R"( "relative_path": "r", "size": 1.}, {"file_path": "/e", "size": 3.0 /**/}]})",
      R"({"files_ul": [{"file_path": "\/x\b\f\n\r\t\\\"", "relative_path": "a\/b"}, {"file_path": "\/"}]})",
      Nested(30),
      Nested(31),
      R"({"files_ul": [1 2]})",
      R"({"files_ul": [{"file_path": }]})",
      R"({"files_ul": [1,,2]})",
      R"({"files_ul": [12abc]})",
      R"({"files_ul": ["open)",
      R"({"files_ul": [{"file_path": "/a"}])",
      "[1]",
  };
  for (const std::string& text : texts) {
    const JsonObjectPtr ours = ParseMessage(text.c_str());
    const JsonObjectPtr theirs(json_tokener_parse(text.c_str()));
    ASSERT_EQ(ours == nullptr, theirs == nullptr) << text;
    if (theirs != nullptr) {
      EXPECT_EQ(Read(ours.get()), Read(theirs.get())) << text;
    }
  }
  EXPECT_EQ(ParseMessage(nullptr), nullptr);
}

}  // namespace
