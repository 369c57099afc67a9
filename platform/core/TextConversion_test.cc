#include "platform/core/TextConversion.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <random>

namespace {

std::wstring Decode(const std::string& bytes) {
  return QXDecodeUTF8(bytes.data(), bytes.size());
}
std::string Encode(const std::wstring& chars) {
  return QXEncodeUTF8(chars.data(), chars.size());
}

// Bytes that are not part of a well-formed character decode each to an
// escape; those escapes encode back to the bytes.
TEST(TextConversion, DecodesCharactersAndEscapesEveryOtherByte) {
  const std::pair<std::string, std::wstring> cases[] = {
      {"a\xC3\xA9\xE2\x82\xAC", {L'a', 0xE9, 0x20AC}},
      {"\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", {0x1F600, 0x10FFFF}},
      {"\x80", {0xDC80}},
      {"\xC0\xAF", {0xDCC0, 0xDCAF}},
      {"\xED\xA0\x80", {0xDCED, 0xDCA0, 0xDC80}},
      {"\xF4\x90\x80\x80", {0xDCF4, 0xDC90, 0xDC80, 0xDC80}},
      {"a\xE2\x82", {L'a', 0xDCE2, 0xDC82}},
      {"\xFF\xC3\xA9", {0xDCFF, 0xE9}},
      // The first character past ASCII, ending a run of eight and making
      // one; an escape ending the next run.
      {"abcdefg\xC2\x80"
       "bcdefgh\xFF",
       std::wstring(L"abcdefg\u0080bcdefgh") + wchar_t(0xDCFF)},
      {"\xC2\x80\xC2\x80\xC2\x80\xC2\x80\xC2\x80\xC2\x80\xC2\x80\xC2\x80", std::wstring(8, 0x80)},
  };
  for (const auto& [bytes, chars] : cases) {
    EXPECT_EQ(Decode(bytes), chars) << bytes;
    EXPECT_EQ(Encode(chars), bytes) << bytes;
  }
}

TEST(TextConversion, EveryByteStringRoundTripsAndIsValidAsGLibJudgesIt) {
  std::mt19937 random(42);
  std::uniform_int_distribution<int> bytes(1, 255);
  for (int round = 0; round < 3000; ++round) {
    // Each single byte first, then random strings.
    std::string text(round < 255 ? 1 : random() % 40, char(round + 1));
    for (char& c : text)
      if (round >= 255)
        c = char(bytes(random));
    const std::wstring wide = Decode(text);
    ASSERT_EQ(Encode(wide), text);
    EXPECT_EQ(QXDecodedLength(text.data(), text.size()), wide.size());
    EXPECT_EQ(QXEncodedLength(wide.data(), wide.size()), text.size());
    EXPECT_TRUE(QXCanEncodeUTF8(wide.data(), wide.size()));
    const bool valid = g_utf8_validate(text.data(), gssize(text.size()), nullptr);
    EXPECT_EQ(QXIsValidUTF8(text.data(), text.size()), valid);
    // Behind ASCII runs of every length, read eight at a time.
    const std::string behind = std::string(size_t(round % 19), 'a') + text;
    const std::wstring wideBehind = std::wstring(size_t(round % 19), L'a') + wide;
    EXPECT_EQ(QXIsValidUTF8(behind.data(), behind.size()), valid);
    ASSERT_EQ(Decode(behind), wideBehind);
    ASSERT_EQ(Encode(wideBehind), behind);
    EXPECT_EQ(QXDecodedLength(behind.data(), behind.size()), wideBehind.size());
    EXPECT_EQ(QXEncodedLength(wideBehind.data(), wideBehind.size()), behind.size());
    EXPECT_EQ(QXIsUnicodeText(wide.data(), wide.size()), valid);
  }
}

TEST(TextConversion, ValuesThatAreNotScalarValuesEncodeAsReplacement) {
  for (const wchar_t value : {wchar_t(0xD800), wchar_t(0x110000)}) {
    EXPECT_EQ(Encode({value}), "\xEF\xBF\xBD");
    EXPECT_EQ(QXEncodedLength(&value, 1), 3u);
    EXPECT_FALSE(QXCanEncodeUTF8(&value, 1));
  }
}

TEST(TextConversion, ComposesToNormalizationFormCKeepingInvalidBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"e\xCC\x81", "\xC3\xA9"},
      {"\xE2\x84\xA6", "\xCE\xA9"},  // the ohm sign is a singleton
      {"e\xCC\x81\xFF"
       "a\xCC\x88\x80",
       "\xC3\xA9\xFF\xC3\xA4\x80"},
      {std::string("a\0e\xCC\x81", 5), std::string("a\0\xC3\xA9", 4)},
      {"\xC3", "\xC3"},
  };
  for (const auto& [text, composed] : cases)
    EXPECT_EQ(QXComposeNFC(text), composed) << text;
}

}  // namespace
