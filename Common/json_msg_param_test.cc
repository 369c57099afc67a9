#include "Common/json_msg_param.h"

#include <gtest/gtest.h>

namespace {

// Owns one parsed message for the length of a test.
struct Parsed {
  explicit Parsed(const char* text) : object(json_tokener_parse(text)) {}
  ~Parsed() {
    if (json_msg_is_usable(object))
      json_object_put(object);
  }
  json_object* object;
};

TEST(JsonMsgParam, StringsCompareIgnoringCaseAndMissingOnesReadEmpty) {
  Parsed message(R"({"type": "Request", "code": "StartUpload", "n": 3})");
  const json_msg_param<char*> code(message.object, "code");
  EXPECT_TRUE(code == "startupload");
  EXPECT_TRUE(code == "STARTUPLOAD");
  EXPECT_FALSE(code == "StartDownload");
  EXPECT_FALSE(code == nullptr);
  EXPECT_STREQ(static_cast<char*>(code), "StartUpload");
  const json_msg_param<char const*> type(message.object, "type");
  EXPECT_TRUE(type == "request");

  // Missing or mistyped strings read empty and equal only null; names are
  // case-sensitive.
  Parsed other(R"({"type": 12, "Code": "Reset"})");
  const json_msg_param<char*> missing(other.object, "code");
  EXPECT_FALSE(missing == "Reset");
  EXPECT_TRUE(missing == nullptr);
  ASSERT_NE(static_cast<char*>(missing), nullptr);
  EXPECT_STREQ(static_cast<char*>(missing), "");
  const json_msg_param<char*> mistyped(other.object, "type");
  EXPECT_FALSE(mistyped == "12");
  EXPECT_TRUE(mistyped == nullptr);
}

TEST(JsonMsgParam, NumbersKeepJsonTyping) {
  Parsed message(
      R"({"quoted": "25", "int": 25, "double": 25.0, "size": 1024, "sized": 1024.000000,)"
      R"( "yes": true})");
  EXPECT_EQ(int(json_msg_param<int>(message.object, "quoted")), 0);
  EXPECT_EQ(int(json_msg_param<int>(message.object, "int")), 25);
  EXPECT_EQ(int(json_msg_param<int>(message.object, "double")), 0);
  EXPECT_EQ(double(json_msg_param<double>(message.object, "size")), 0.0);
  EXPECT_EQ(double(json_msg_param<double>(message.object, "sized")), 1024.0);
  EXPECT_TRUE(json_msg_param<int>(message.object, "int") == 25);
  EXPECT_FALSE(json_msg_param<int>(message.object, "double") == 25);
  EXPECT_TRUE(json_msg_param<double>(message.object, "sized") == 1024.0);
  EXPECT_FALSE(json_msg_param<double>(message.object, "size") == 1024.0);
  EXPECT_TRUE(bool(json_msg_param<bool>(message.object, "yes")));
  EXPECT_TRUE(json_msg_param<bool>(message.object, "yes") == true);
  EXPECT_FALSE(json_msg_param<bool>(message.object, "int") == true);
  EXPECT_FALSE(bool(json_msg_param<bool>(message.object, "missing")));
}

TEST(JsonMsgParam, ArraysHaveLengthOnlyWhenTheyAreArrays) {
  Parsed message(R"({"files_ul": [1, null, "x"], "obj": {}, "str": "a"})");
  const json_msg_param_array files(message.object, "files_ul");
  EXPECT_EQ(files.length(), 3);
  EXPECT_EQ(json_object_get_int(files[0]), 1);
  EXPECT_EQ(files[1], nullptr);
  EXPECT_STREQ(static_cast<char*>(json_msg_param<char*>(files[2])), "x");
  EXPECT_EQ(json_msg_param_array(message.object, "obj").length(), 0);
  EXPECT_EQ(json_msg_param_array(message.object, "str").length(), 0);
  EXPECT_EQ(json_msg_param_array(message.object, "missing").length(), 0);
  EXPECT_EQ(json_msg_param_array(message.object, "missing")[0], json_msg_absent());
  EXPECT_EQ(json_msg_param_array(message.object, "FILES_UL").length(), 0);
}

TEST(JsonMsgParam, UnusableMessagesReadAsDefaults) {
  json_object* failed = json_tokener_parse("{not json");
  for (json_object* message : {static_cast<json_object*>(nullptr), json_msg_absent(), failed}) {
    EXPECT_STREQ(static_cast<char*>(json_msg_param<char*>(message, "code")), "");
    EXPECT_EQ(int(json_msg_param<int>(message, "value")), 0);
    EXPECT_EQ(json_msg_param_array(message, "files_ul").length(), 0);
  }
  EXPECT_FALSE(json_msg_is_usable(reinterpret_cast<json_object*>(~uintptr_t(0) - 3999)));
  EXPECT_TRUE(json_msg_is_usable(reinterpret_cast<json_object*>(~uintptr_t(0) - 4000)));
  Parsed notObject("[1, 2]");
  EXPECT_EQ(json_msg_param_array(notObject.object, "files_ul").length(), 0);

  // An accessor keeps its message alive after the caller released it.
  json_object* message = json_tokener_parse(R"({"code": "Reset"})");
  const json_msg_param<char*> code(message, "code");
  json_object_put(message);
  EXPECT_STREQ(static_cast<char*>(code), "Reset");
}

}  // namespace
