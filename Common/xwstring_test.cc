#include "Common/xwstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const char* Narrow(const xwstring& s) {
  return s;
}
const wchar_t* Wide(const xwstring& s) {
  return s;
}

TEST(Xwstring, HoldsBothFormsOfOneTextInvalidBytesIncluded) {
  const xwstring emoji(L"\U0001F600");
  EXPECT_STREQ(Narrow(emoji), "\xF0\x9F\x98\x80");
  EXPECT_EQ(emoji.length(), 4);
  EXPECT_EQ(Wide(xwstring("h\xC3\xA9")), std::wstring(L"h\u00e9"));

  const char bytes[] = "/tmp/\xFF\xC3(\x80name";
  const xwstring fromWide(Wide(xwstring(bytes)));
  EXPECT_STREQ(Narrow(fromWide), bytes);
  EXPECT_EQ(fromWide.length(), int(strlen(bytes)));
}

TEST(Xwstring, EmptyTextIsPresentNullIsAbsent) {
  xwstring text("something");
  text = "";
  EXPECT_EQ(text.length(), 0);
  EXPECT_STREQ(Narrow(text), "");
  EXPECT_STREQ(Wide(text), L"");
  text = static_cast<const char*>(nullptr);
  EXPECT_EQ(text.length(), -1);
  EXPECT_EQ(static_cast<char*>(text), nullptr);
  EXPECT_EQ(static_cast<wchar_t*>(text), nullptr);
  EXPECT_EQ(xwstring(xwstring()).length(), -1);
  EXPECT_EQ(xwstring(static_cast<const wchar_t*>(nullptr)).length(), -1);
}

TEST(Xwstring, LimitedCopiesTakeTheFirstUnits) {
  EXPECT_STREQ(Narrow(xwstring("abcdef", 3)), "abc");
  EXPECT_STREQ(Wide(xwstring("abcdef", 10)), L"abcdef");
  EXPECT_STREQ(Narrow(xwstring(L"h\u00e9llo", 2)), "h\xC3\xA9");
  EXPECT_STREQ(Narrow(xwstring(xwstring(L"abcdef"), 4)), "abcd");
  EXPECT_STREQ(Narrow(xwstring(std::wstring(L"wide"), 2)), "wi");
  EXPECT_EQ(xwstring("abc", 0).length(), 0);
}

TEST(Xwstring, CopiesAreIndependentOfWritesAndOfTheirSource) {
  xwstring original("/Users/a/file.txt");
  xwstring copy(original);
  xwstring assigned;
  assigned = original;
  static_cast<char*>(copy)[1] = 'X';
  static_cast<wchar_t*>(assigned)[0] = L'#';
  EXPECT_STREQ(Narrow(original), "/Users/a/file.txt");
  EXPECT_STREQ(Wide(original), L"/Users/a/file.txt");
  EXPECT_STREQ(Narrow(copy), "/Xsers/a/file.txt");
  original = "changed";
  EXPECT_STREQ(Narrow(assigned), "/Users/a/file.txt");
  // A copy of a text written through is rebuilt from the wide form.
  EXPECT_STREQ(Narrow(xwstring(copy)), "/Users/a/file.txt");

  xwstring text("same");
  text = static_cast<const xwstring&>(text);
  text = Narrow(text);
  text = Wide(text) + 1;
  xwstring moved(std::move(text));
  xwstring target("x");
  target = std::move(moved);
  EXPECT_STREQ(Wide(target), L"ame");
}

TEST(Xwstring, ConversionsCountUnitsPlusTerminatorAndTakeWholeCharacters) {
  wchar_t wide[8];
  EXPECT_EQ(xwstring::ConvertToUnicode("h\xC3\xA9", -1, nullptr, 0), 3);
  EXPECT_EQ(xwstring::ConvertToUnicode("h\xC3\xA9llo", 3, wide, 8), 3);
  EXPECT_EQ(std::wstring(wide), L"h\u00e9");
  char narrow[8] = {};
  EXPECT_EQ(xwstring::ConvertFromUnicode(L"h\u00e9", -1, nullptr, 0), 4);
  EXPECT_EQ(xwstring::ConvertFromUnicode(L"h\u00e9", -1, narrow, 8), 4);
  EXPECT_STREQ(narrow, "h\xC3\xA9");
  EXPECT_EQ(xwstring::ConvertFromUnicode(L"h\u00e9", -1, narrow, 2), 2);
  EXPECT_STREQ(narrow, "h");
}

TEST(Xwstring, ComposeUTF8CutsAt2047BytesOfWholeCharacters) {
  std::string accents;
  for (int i = 0; i < 1100; ++i)
    accents += "\xC3\xA9";
  EXPECT_EQ(ComposeUTF8("e\xCC\x81/name"), "\xC3\xA9/name");
  EXPECT_EQ(ComposeUTF8(std::string(3000, 'a')), std::string(2047, 'a'));
  EXPECT_EQ(ComposeUTF8(accents).size(), 2046u);
  EXPECT_EQ(ComposeUTF8(std::string("ab\0cd", 5)), "ab");
}

}  // namespace
