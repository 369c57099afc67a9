#include "mac/nsstring/NSStringWstring.h"

#include <gtest/gtest.h>

namespace {

TEST(NSStringWstring, TextObjectsBecomeWideText) {
  const std::wstring text = L"caf\u00e9 \U0001F600";
  const std::optional<std::string> utf8 = "caf\xC3\xA9 \xF0\x9F\x98\x80";
  EXPECT_EQ(wstringFromNSString(utf8), text);
  const std::unique_ptr<wchar_t[]> chars = wcharFromNSString(utf8);
  ASSERT_TRUE(chars);
  EXPECT_EQ(std::wstring(chars.get()), text);

  // Bytes of file names that are not UTF-8 keep a character each.
  EXPECT_EQ(wstringFromNSString(std::string("/b\xFF\xC3")), L"/b\xDCFF\xDCC3");
}

TEST(NSStringWstring, NilGivesNoText) {
  EXPECT_EQ(wcharFromNSString(std::nullopt), nullptr);
  EXPECT_EQ(wstringFromNSString(std::nullopt), L"");
}

}  // namespace
