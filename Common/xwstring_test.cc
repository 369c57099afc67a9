#include "Common/xwstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

namespace {

const char* Narrow(const xwstring& s) {
  return s;
}
const wchar_t* Wide(const xwstring& s) {
  return s;
}

TEST(Xwstring, HoldsBothFormsOfOneText) {
  const xwstring accented("\xC3\xA9");
  EXPECT_EQ(accented.length(), 2);
  EXPECT_EQ(wcslen(Wide(accented)), 1u);
  EXPECT_EQ(Wide(accented)[0], wchar_t(0xE9));

  const wchar_t grinning[] = {wchar_t(0x1F600), 0};
  const xwstring emoji(grinning);
  EXPECT_STREQ(Narrow(emoji), "\xF0\x9F\x98\x80");
  EXPECT_EQ(emoji.length(), 4);
  EXPECT_EQ(emoji.c_xwstring()[0], wchar_t(0x1F600));
}

TEST(Xwstring, EmptyTextIsPresentNullIsAbsent) {
  xwstring text("something");
  text = "";
  EXPECT_EQ(text.length(), 0);
  ASSERT_NE(Narrow(text), nullptr);
  EXPECT_STREQ(Narrow(text), "");
  EXPECT_STREQ(Wide(text), L"");

  text = static_cast<const char*>(nullptr);
  EXPECT_EQ(text.length(), -1);
  EXPECT_EQ(Narrow(text), nullptr);
  EXPECT_EQ(Wide(text), nullptr);
  EXPECT_EQ(static_cast<char*>(text), nullptr);
  EXPECT_EQ(static_cast<wchar_t*>(text), nullptr);

  const xwstring absent;
  EXPECT_EQ(xwstring(absent).length(), -1);
  EXPECT_EQ(xwstring(static_cast<const wchar_t*>(nullptr)).length(), -1);
}

TEST(Xwstring, LimitedCopiesTakeTheFirstUnits) {
  EXPECT_STREQ(Narrow(xwstring("abcdef", 3)), "abc");
  EXPECT_STREQ(Wide(xwstring("abcdef", 3)), L"abc");
  EXPECT_STREQ(Narrow(xwstring("abcdef", 10)), "abcdef");
  EXPECT_STREQ(Wide(xwstring(L"abcdef", 10)), L"abcdef");
  EXPECT_STREQ(Narrow(xwstring(L"h\u00e9llo", 2)), "h\xC3\xA9");
  EXPECT_STREQ(Narrow(xwstring(xwstring(L"abcdef"), 4)), "abcd");
  EXPECT_STREQ(Narrow(xwstring(std::wstring(L"wide"), 2)), "wi");
  EXPECT_EQ(xwstring("abc", 0).length(), 0);
}

TEST(Xwstring, InvalidBytesSurviveInBothDirections) {
  const char bytes[] = "/tmp/\xFF\xC3(\x80name";
  const xwstring fromNarrow(bytes);
  EXPECT_STREQ(Narrow(fromNarrow), bytes);
  const xwstring fromWide(Wide(fromNarrow));
  EXPECT_STREQ(Narrow(fromWide), bytes);
  EXPECT_EQ(fromWide.length(), int(strlen(bytes)));
  EXPECT_EQ(Wide(fromNarrow)[5], wchar_t(0xDCFF));
}

TEST(Xwstring, CopiesAreIndependent) {
  xwstring original("/Users/a/file.txt");
  xwstring copy(original);
  xwstring assigned;
  assigned = original;
  char* writable = copy;  // must not reach the original's text
  writable[1] = 'X';
  EXPECT_STREQ(Narrow(original), "/Users/a/file.txt");
  EXPECT_STREQ(Narrow(assigned), "/Users/a/file.txt");
  EXPECT_STREQ(Narrow(copy), "/Xsers/a/file.txt");

  wchar_t* wide = assigned;
  wide[0] = L'#';
  EXPECT_STREQ(Wide(original), L"/Users/a/file.txt");

  original = "changed";
  EXPECT_STREQ(Narrow(assigned), "/Users/a/file.txt");

  // A copy of a text written through is rebuilt from the wide form.
  EXPECT_STREQ(Narrow(xwstring(copy)), "/Users/a/file.txt");
}

TEST(Xwstring, AssignmentFromItselfAndFromItsOwnText) {
  xwstring text("same");
  const xwstring& alias = text;
  text = alias;
  EXPECT_STREQ(Narrow(text), "same");
  text = Narrow(text);
  EXPECT_STREQ(Narrow(text), "same");
  text = Wide(text) + 1;
  EXPECT_STREQ(Narrow(text), "ame");

  xwstring moved(std::move(text));
  EXPECT_STREQ(Narrow(moved), "ame");
  xwstring target("x");
  target = std::move(moved);
  EXPECT_STREQ(Wide(target), L"ame");
}

TEST(Xwstring, ConversionsReturnUnitsPlusTerminator) {
  EXPECT_EQ(xwstring::ConvertToUnicode("h\xC3\xA9", -1, nullptr, 0), 3);
  wchar_t wide[8];
  EXPECT_EQ(xwstring::ConvertToUnicode("h\xC3\xA9llo", 3, wide, 8), 3);
  EXPECT_EQ(wide[1], wchar_t(0xE9));
  EXPECT_EQ(wide[2], L'\0');

  EXPECT_EQ(xwstring::ConvertFromUnicode(L"h\u00e9", -1, nullptr, 0), 4);
  char narrow[8] = {};
  EXPECT_EQ(xwstring::ConvertFromUnicode(L"h\u00e9", -1, narrow, 8), 4);
  EXPECT_STREQ(narrow, "h\xC3\xA9");
  // Too small a buffer takes only whole characters.
  char small[2] = {'?', '?'};
  EXPECT_EQ(xwstring::ConvertFromUnicode(L"h\u00e9", -1, small, 2), 2);
  EXPECT_EQ(small[0], 'h');
  EXPECT_EQ(small[1], '\0');
}

TEST(Xwstring, ComposeUTF8) {
  EXPECT_EQ(ComposeUTF8("e\xCC\x81"), "\xC3\xA9");
  EXPECT_EQ(ComposeUTF8("/name"), "/name");
  // At most 2047 bytes, never part of a character.
  EXPECT_EQ(ComposeUTF8(std::string(3000, 'a')).size(), 2047u);
  std::string accents;
  for (int i = 0; i < 1100; ++i)
    accents += "\xC3\xA9";
  EXPECT_EQ(ComposeUTF8(accents).size(), 2046u);
  EXPECT_EQ(ComposeUTF8(std::string("ab\0cd", 5)), "ab");
}

}  // namespace
