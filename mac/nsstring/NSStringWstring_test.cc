#include "mac/nsstring/NSStringWstring.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

TEST(NSStringWstring, WideTextBecomesUTF8AndBack) {
  const std::wstring text = L"caf\u00e9 \U0001F600";
  const std::optional<std::string> utf8 = NSStringFromWstring(text);
  ASSERT_TRUE(utf8);
  EXPECT_EQ(*utf8, "caf\xC3\xA9 \xF0\x9F\x98\x80");
  EXPECT_EQ(wstringFromNSString(utf8), text);
  const std::unique_ptr<wchar_t[]> chars = wcharFromNSString(utf8);
  ASSERT_TRUE(chars);
  EXPECT_EQ(std::wstring(chars.get()), text);

  // File names that are not UTF-8 survive the round trip.
  const std::string name = "/tmp/bad\xFF\xFEname\xC3";
  EXPECT_EQ(NSStringFromWstring(wstringFromNSString(name)), name);
}

TEST(NSStringWstring, NilAndTextsThatCannotBeEncoded) {
  EXPECT_FALSE(NSStringFromWchar(nullptr));
  EXPECT_EQ(wcharFromNSString(std::nullopt), nullptr);
  EXPECT_EQ(wstringFromNSString(std::nullopt), L"");
  const wchar_t surrogate[] = {L'a', wchar_t(0xD834), 0};
  const wchar_t beyondUnicode[] = {wchar_t(0x110000), 0};
  EXPECT_FALSE(NSStringFromWchar(surrogate));
  EXPECT_FALSE(NSStringFromWchar(beyondUnicode));
  EXPECT_EQ(NSStringFromWchar(L""), std::string());
}

TEST(NSStringWstring, NoCopyTakesOwnershipOnlyWhenAsked) {
  char* owned = static_cast<char*>(malloc(5));
  memcpy(owned, "abcde", 5);
  EXPECT_EQ(NSStringFromWcharNoCopy(owned, 3, true), std::string("abc"));
  char kept[] = "xyz";
  EXPECT_EQ(NSStringFromWcharNoCopy(kept, 3, false), std::string("xyz"));
  EXPECT_EQ(kept[0], 'x');
  EXPECT_FALSE(NSStringFromWcharNoCopy(nullptr, 0, false));
}

TEST(NSStringWstring, RelativePaths) {
  EXPECT_EQ(stringWithPathRelativeTo("/a/b/c/d.txt", "/a/b/x"), "../c/d.txt");
  EXPECT_EQ(stringWithPathRelativeTo("/a/b", "/a/b"), "");
  EXPECT_EQ(stringWithPathRelativeTo("/x/y", "/a"), "../x/y");
  EXPECT_EQ(stringWithPathRelativeTo("/a/b/c", "/a"), "b/c");
  // Components compare case-sensitively and repeated separators vanish.
  EXPECT_EQ(stringWithPathRelativeTo("/A/b", "/a"), "../A/b");
  EXPECT_EQ(stringWithPathRelativeTo("/a//b///c", "/a/b"), "c");
}

}  // namespace
