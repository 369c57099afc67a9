#include "Common/json_msg_param.h"

#include <gtest/gtest.h>

#include "Common/JsonObjectPtr.h"

namespace {

const JsonObjectPtr kMessage(json_tokener_parse(
    R"({"code": "StartUpload", "Code": "Reset", "n": 12, "quoted": "25", "int": 25,)"
    R"( "double": 25.0, "size": 1024})"));

TEST(JsonMsgParam, StringsCompareIgnoringCaseAndAnythingElseReadsEmpty) {
  const json_msg_param<char*> code(kMessage.get(), "code");
  EXPECT_TRUE(code == "startupload");
  EXPECT_FALSE(code == "StartDownload");
  EXPECT_FALSE(code == nullptr);
  EXPECT_STREQ(static_cast<char*>(code), "StartUpload");
  for (const char* name : {"n", "missing", "CODE"}) {
    const json_msg_param<char*> other(kMessage.get(), name);
    EXPECT_STREQ(static_cast<char*>(other), "") << name;
    EXPECT_TRUE(other == nullptr) << name;
    EXPECT_FALSE(other == "12") << name;
  }
}

TEST(JsonMsgParam, NumbersKeepJsonTyping) {
  const auto integer = [](const char* name) { return json_msg_param<int>(kMessage.get(), name); };
  const auto real = [](const char* name) { return json_msg_param<double>(kMessage.get(), name); };
  EXPECT_EQ(int(integer("int")), 25);
  for (const char* name : {"quoted", "double", "missing"})
    EXPECT_EQ(int(integer(name)), 0) << name;
  EXPECT_EQ(double(real("double")), 25.0);
  EXPECT_EQ(double(real("size")), 0.0);
}

TEST(JsonMsgParam, UnusableMessagesReadAsDefaults) {
  const JsonObjectPtr array(json_tokener_parse("[1, 2]"));
  for (json_object* message : {static_cast<json_object*>(nullptr), json_msg_absent(),
                               json_tokener_parse("{not json"), array.get()}) {
    EXPECT_STREQ(static_cast<char*>(json_msg_param<char*>(message, "code")), "");
    EXPECT_EQ(int(json_msg_param<int>(message, "value")), 0);
    EXPECT_EQ(json_msg_param_array(message, "files_ul").length(), 0);
  }
  EXPECT_FALSE(json_msg_is_usable(reinterpret_cast<json_object*>(~uintptr_t(0) - 3999)));
  EXPECT_TRUE(json_msg_is_usable(reinterpret_cast<json_object*>(~uintptr_t(0) - 4000)));

  // An accessor keeps its message alive after the caller released it.
  json_object* message = json_tokener_parse(R"({"code": "Reset"})");
  const json_msg_param<char*> code(message, "code");
  json_object_put(message);
  EXPECT_STREQ(static_cast<char*>(code), "Reset");
}

}  // namespace
