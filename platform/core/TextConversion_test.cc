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

TEST(TextConversion, ScalarValuesConvertOneCharacterPerCodePoint) {
  EXPECT_EQ(Decode("abc"), L"abc");
  EXPECT_EQ(Decode("\xC3\xA9"), std::wstring(1, 0xE9));
  EXPECT_EQ(Decode("\xE2\x82\xAC"), std::wstring(1, 0x20AC));
  EXPECT_EQ(Decode("\xF0\x9F\x98\x80"), std::wstring(1, 0x1F600));
  EXPECT_EQ(Encode(std::wstring(1, 0x1F600)), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Encode(std::wstring(1, 0x10FFFF)), "\xF4\x8F\xBF\xBF");
}

TEST(TextConversion, InvalidBytesAreEscapedOneByOne) {
  // A lone continuation, an overlong slash, an encoded surrogate, a value
  // above U+10FFFF and a sequence cut short.
  EXPECT_EQ(Decode("\x80"), std::wstring(1, 0xDC80));
  EXPECT_EQ(Decode("\xC0\xAF"), (std::wstring{wchar_t(0xDCC0), wchar_t(0xDCAF)}));
  EXPECT_EQ(Decode("\xED\xA0\x80"),
            (std::wstring{wchar_t(0xDCED), wchar_t(0xDCA0), wchar_t(0xDC80)}));
  EXPECT_EQ(Decode("\xF4\x90\x80\x80").size(), 4u);
  EXPECT_EQ(Decode("a\xE2\x82"), (std::wstring{L'a', wchar_t(0xDCE2), wchar_t(0xDC82)}));
  // The valid character after an invalid byte is still decoded.
  EXPECT_EQ(Decode("\xFF\xC3\xA9"), (std::wstring{wchar_t(0xDCFF), wchar_t(0xE9)}));
}

TEST(TextConversion, EveryByteStringRoundTrips) {
  for (int byte = 1; byte < 256; ++byte) {
    const std::string one(1, char(byte));
    EXPECT_EQ(Encode(Decode(one)), one) << byte;
  }
  std::mt19937 random(42);
  std::uniform_int_distribution<int> bytes(1, 255);
  for (int round = 0; round < 2000; ++round) {
    std::string text(size_t(random() % 40), '\0');
    for (char& c : text)
      c = char(bytes(random));
    const std::wstring wide = Decode(text);
    ASSERT_EQ(Encode(wide), text);
    EXPECT_EQ(QXDecodedLength(text.data(), text.size()), wide.size());
    EXPECT_EQ(QXEncodedLength(wide.data(), wide.size()), text.size());
    EXPECT_TRUE(QXCanEncodeUTF8(wide.data(), wide.size()));
    // Valid as GLib judges it, and exactly when nothing had to be escaped.
    const bool valid = g_utf8_validate(text.data(), gssize(text.size()), nullptr);
    EXPECT_EQ(QXIsValidUTF8(text.data(), text.size()), valid);
    EXPECT_EQ(QXIsUnicodeText(wide.data(), wide.size()), valid);
  }
}

TEST(TextConversion, ValuesThatAreNotScalarValuesEncodeAsReplacement) {
  const std::wstring loneHigh{wchar_t(0xD800)};
  const std::wstring tooLarge{wchar_t(0x110000)};
  const std::wstring escaped{wchar_t(0xDC80)};
  EXPECT_EQ(Encode(loneHigh), "\xEF\xBF\xBD");
  EXPECT_EQ(Encode(tooLarge), "\xEF\xBF\xBD");
  EXPECT_EQ(QXEncodedLength(tooLarge.data(), 1), 3u);
  EXPECT_FALSE(QXCanEncodeUTF8(loneHigh.data(), 1));
  EXPECT_FALSE(QXCanEncodeUTF8(tooLarge.data(), 1));
  EXPECT_TRUE(QXCanEncodeUTF8(escaped.data(), 1));
}

TEST(TextConversion, ComposesToNormalizationFormCKeepingInvalidBytes) {
  EXPECT_EQ(QXComposeNFC("e\xCC\x81"), "\xC3\xA9");
  EXPECT_EQ(QXComposeNFC("plain ascii"), "plain ascii");
  EXPECT_EQ(QXComposeNFC(""), "");
  // Ohm sign is a singleton that composes to Greek capital omega.
  EXPECT_EQ(QXComposeNFC("\xE2\x84\xA6"), "\xCE\xA9");
  // Invalid bytes and NULs stay in place.
  EXPECT_EQ(QXComposeNFC("e\xCC\x81\xFF"
                         "a\xCC\x88\x80"),
            "\xC3\xA9\xFF\xC3\xA4\x80");
  EXPECT_EQ(QXComposeNFC(std::string("a\0e\xCC\x81", 5)), std::string("a\0\xC3\xA9", 4));
  EXPECT_EQ(QXComposeNFC("\xC3"), "\xC3");
}

}  // namespace
