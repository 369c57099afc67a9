#include "Common/xwstring.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const char* Narrow(const xwstring& s) {
  return s;
}
// The wide form of a copy, so that reading it leaves `s` as it was.
std::wstring Wide(xwstring s) {
  const wchar_t* wide = static_cast<wchar_t*>(s);
  return wide != nullptr ? wide : L"(null)";
}

TEST(Xwstring, HoldsBothFormsOfATextOrOfNone) {
  EXPECT_STREQ(Narrow(xwstring(L"h\u00e9\U0001F600")), "h\xC3\xA9\xF0\x9F\x98\x80");
  const char bytes[] = "/tmp/\xFF\xC3(\x80name";
  const xwstring fromWide(Wide(xwstring(bytes)));
  EXPECT_STREQ(Narrow(fromWide), bytes);
  EXPECT_EQ(fromWide.length(), int(strlen(bytes)));
  EXPECT_STREQ(Narrow(xwstring(L"h\u00e9llo", 2)), "h\xC3\xA9");
  EXPECT_EQ(Wide(xwstring(xwstring("abcdef"), 4)), L"abcd");

  xwstring text("something");
  text = "";
  EXPECT_EQ(text.length(), 0);
  EXPECT_EQ(Wide(text), L"");
  text = static_cast<const char*>(nullptr);
  EXPECT_EQ(text.length(), -1);
  EXPECT_EQ(static_cast<wchar_t*>(text), nullptr);
  EXPECT_EQ(xwstring(xwstring()).length(), -1);
}

TEST(Xwstring, CopiesAreIndependentOfWritesAndOfTheirSource) {
  xwstring original("/Users/a/file.txt");
  xwstring copy(original), assigned(original);
  static_cast<char*>(copy)[1] = 'X';
  static_cast<wchar_t*>(assigned)[0] = L'#';
  EXPECT_STREQ(Narrow(original), "/Users/a/file.txt");
  EXPECT_EQ(Wide(original), L"/Users/a/file.txt");
  EXPECT_STREQ(Narrow(copy), "/Xsers/a/file.txt");
  original = "changed";
  EXPECT_STREQ(Narrow(assigned), "/Users/a/file.txt");
  // A copy of a text written through is rebuilt from the wide form.
  EXPECT_STREQ(Narrow(xwstring(copy)), "/Users/a/file.txt");

  xwstring text("same");
  text = Narrow(text);
  text = Wide(text).substr(1);
  const xwstring moved(std::move(text));
  EXPECT_STREQ(Narrow(moved), "ame");
}

}  // namespace
