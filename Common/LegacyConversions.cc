#include "Common/LegacyConversions.h"

#include <cwchar>

#include "Common/xwstring.h"
#include "platform/core/TextConversion.h"

bool ConvertUNICODEtoANSI(const wchar_t* source, std::string& destination) {
  destination.clear();
  if (source == nullptr)
    return true;
  bool exact = true;
  for (; *source != L'\0'; ++source) {
    const auto c = static_cast<uint32_t>(*source);
    if (c <= 0xFF) {
      destination.push_back(static_cast<char>(c));
    } else {
      destination.push_back('?');
      exact = false;
    }
  }
  return exact;
}

bool ConvertANSItoUNICODE(const char* source, std::wstring& destination) {
  destination.clear();
  if (source == nullptr)
    return true;
  for (; *source != '\0'; ++source)
    destination.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*source)));
  return true;
}

bool ConvertUNICODEtoMacRoman(const wchar_t* source, std::string& destination, char /*unused*/) {
  return ConvertUNICODEtoANSI(source, destination);
}

bool ConvertMacRomantoUNICODE(const char* source, std::wstring& destination) {
  return ConvertANSItoUNICODE(source, destination);
}

bool ConvertUNICODEtoUTF8(const wchar_t* source, std::string& destination) {
  std::string encoded;
  if (source != nullptr) {
    for (; *source != L'\0'; ++source) {
      const uint32_t c = static_cast<uint32_t>(*source) & 0xFFFF;
      if (c < 0x80) {
        encoded.push_back(static_cast<char>(c));
      } else if (c < 0x800) {
        encoded.push_back(static_cast<char>(0xC0 | (c >> 6)));
        encoded.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      } else {
        encoded.push_back(static_cast<char>(0xE0 | (c >> 12)));
        encoded.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        encoded.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      }
    }
  }
  destination = ComposeUTF8(encoded);
  return true;
}

bool ConvertUTF8toUNICODE(const char* source, std::wstring& destination) {
  destination.clear();
  if (source == nullptr)
    return true;
  const auto* p = reinterpret_cast<const unsigned char*>(source);
  while (*p != 0) {
    const unsigned char lead = *p;
    size_t follow = 0;
    uint32_t value = lead;
    if (lead >= 0x80 && lead < 0xC0)
      return false;
    if (lead >= 0xC0 && lead < 0xE0) {
      follow = 1;
      value = lead & 0x1F;
    } else if (lead >= 0xE0) {
      follow = 2;
      value = lead & 0x0F;
    }
    ++p;
    for (size_t i = 0; i < follow; ++i, ++p) {
      if ((*p & 0x80) == 0)
        return false;  // cut short (the terminator included)
      value = (value << 6) | (*p & 0x3F);
    }
    destination.push_back(static_cast<wchar_t>(value));
  }
  return true;
}

bool ConvertANSItoUTF8(const char* source, std::string& destination) {
  std::wstring wide;
  const bool decoded = ConvertANSItoUNICODE(source, wide);
  return ConvertUNICODEtoUTF8(wide.c_str(), destination) && decoded;
}

bool ConvertUTF8toANSI(const char* source, std::string& destination) {
  std::wstring wide;
  const bool decoded = ConvertUTF8toUNICODE(source, wide);
  return ConvertUNICODEtoANSI(wide.c_str(), destination) && decoded;
}

wchar_t ConvertToSpecialUnicode(wchar_t c, bool /*flag*/) {
  return c;
}

wchar_t ConvertFromSpecialUnicode(wchar_t c, bool /*flag*/) {
  return c;
}

std::wstring ConvertFromSpecialUnicode(std::wstring text, wchar_t /*c*/) {
  return text;
}

std::wstring ComposeUnicodeW(std::wstring text) {
  const unicode_to_UTF8 utf8(text.c_str());
  return UTF8_to_unicode(utf8.get_string().c_str()).get_string();
}

unicode_to_UTF8::unicode_to_UTF8(const wchar_t* text) {
  ConvertUNICODEtoUTF8(text, mText);
}

UTF8_to_unicode::UTF8_to_unicode(const char* text) {
  ConvertUTF8toUNICODE(text, mText);
}

void unistring::AssignWCharPtr(const wchar_t* text) {
  mUnits.clear();
  if (text == nullptr)
    return;
  for (; *text != L'\0'; ++text) {
    const auto c = static_cast<uint32_t>(*text);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      mUnits.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      mUnits.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      mUnits.push_back(static_cast<char16_t>(c > 0x10FFFF ? 0xFFFD : c));
    }
  }
}

void unistring::AssignWString(const std::wstring& text) {
  AssignWCharPtr(text.c_str());
}

void unistring::AssignCFString(CFStringRef string) {
  const std::string& utf8 = CFStringGetUTF8(string);
  AssignWString(QXDecodeUTF8(utf8.data(), utf8.size()));
}

CFStringRef unistring::MakeCFString() const {
  const std::wstring wide = MakeWString();
  return CFStringCreateWithUTF8(QXEncodeUTF8(wide.data(), wide.size()));
}

std::wstring unistring::MakeWString() const {
  std::wstring wide;
  wide.reserve(mUnits.size());
  for (size_t i = 0; i < mUnits.size(); ++i) {
    const char16_t unit = mUnits[i];
    const bool pair = unit >= 0xD800 && unit < 0xDC00 && i + 1 < mUnits.size() &&
                      mUnits[i + 1] >= 0xDC00 && mUnits[i + 1] < 0xE000;
    if (pair) {
      wide.push_back(
          static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (mUnits[i + 1] - 0xDC00)));
      ++i;
    } else {
      wide.push_back(static_cast<wchar_t>(unit));
    }
  }
  return wide;
}
