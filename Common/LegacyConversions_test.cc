#include "Common/LegacyConversions.h"

#include <gtest/gtest.h>

namespace {

TEST(LegacyConversions, Latin1BothWays) {
  std::string narrow;
  EXPECT_TRUE(ConvertUNICODEtoANSI(L"caf\u00e9", narrow));
  EXPECT_EQ(narrow, "caf\xE9");
  EXPECT_FALSE(ConvertUNICODEtoMacRoman(L"\u20ac5", narrow, 'x'));
  EXPECT_EQ(narrow, "?5");
  std::wstring wide;
  EXPECT_TRUE(ConvertMacRomantoUNICODE("\xE9\xFF", wide));
  EXPECT_EQ(wide, L"\u00e9\u00ff");
}

TEST(LegacyConversions, ThreeByteUTF8) {
  std::string utf8;
  EXPECT_TRUE(ConvertUNICODEtoUTF8(L"e\u0301\u20ac", utf8));
  EXPECT_EQ(utf8, "\xC3\xA9\xE2\x82\xAC");  // composed
  // Beyond U+FFFF only the low 16 bits remain: U+1F600 -> U+F600.
  EXPECT_TRUE(ConvertUNICODEtoUTF8(L"\U0001F600", utf8));
  EXPECT_EQ(utf8, "\xEF\x98\x80");

  std::wstring wide;
  EXPECT_TRUE(ConvertUTF8toUNICODE("a\xC3\xA9\xE2\x82\xAC", wide));
  EXPECT_EQ(wide, L"a\u00e9\u20ac");
  EXPECT_FALSE(ConvertUTF8toUNICODE("ab\x80", wide));
  EXPECT_EQ(wide, L"ab");
  EXPECT_FALSE(ConvertUTF8toUNICODE("x\xE2\x82", wide));
  EXPECT_FALSE(ConvertUTF8toANSI("\xBF", utf8));
  EXPECT_TRUE(ConvertANSItoUTF8("\xE9", utf8));
  EXPECT_EQ(utf8, "\xC3\xA9");
}

TEST(LegacyConversions, HoldersAndComposition) {
  EXPECT_EQ(ComposeUnicodeW(L"a\u0308"), L"\u00e4");
  EXPECT_EQ(unicode_to_UTF8(L"\u00e9").get_string(), "\xC3\xA9");
  EXPECT_EQ(UTF8_to_unicode("\xC3\xA9").get_string(), L"\u00e9");
  EXPECT_EQ(ConvertFromSpecialUnicode(std::wstring(L"x/y"), L'/'), L"x/y");
  EXPECT_EQ(ConvertToSpecialUnicode(L':', true), L':');
}

TEST(LegacyConversions, UnistringHoldsUTF16Units) {
  unistring text;
  text.AssignWString(L"a\U0001F600");
  EXPECT_EQ(text.units(), (std::u16string{u'a', char16_t(0xD83D), char16_t(0xDE00)}));
  EXPECT_EQ(text.MakeWString(), L"a\U0001F600");

  CFStringRef source = CFStringCreateWithUTF8("caf\xC3\xA9 \xFF");
  text.AssignCFString(source);
  CFRelease(source);
  CFStringRef copy = text.MakeCFString();
  EXPECT_EQ(CFStringGetUTF8(copy), "caf\xC3\xA9 \xFF");
  CFRelease(copy);
}

}  // namespace
