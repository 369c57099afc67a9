// The older conversion family kept for the library interface: Latin-1, a
// three-byte UTF-8 and UTF-16 holders. The host itself uses xwstring.
#pragma once

#include <string>

#include "platform/core/CoreFoundation.h"

// Characters above 255 become '?' and make the result false.
bool ConvertUNICODEtoANSI(const wchar_t* source, std::string& destination);
bool ConvertANSItoUNICODE(const char* source, std::wstring& destination);
bool ConvertUNICODEtoMacRoman(const wchar_t* source, std::string& destination, char unused);
bool ConvertMacRomantoUNICODE(const char* source, std::wstring& destination);
// One to three bytes per character (only the low 16 bits of larger values),
// then composed to normalization form C.
bool ConvertUNICODEtoUTF8(const wchar_t* source, std::string& destination);
// Stops with false at a stray continuation byte or a sequence cut short.
bool ConvertUTF8toUNICODE(const char* source, std::wstring& destination);
bool ConvertANSItoUTF8(const char* source, std::string& destination);
bool ConvertUTF8toANSI(const char* source, std::string& destination);

wchar_t ConvertToSpecialUnicode(wchar_t c, bool flag);
wchar_t ConvertFromSpecialUnicode(wchar_t c, bool flag);
std::wstring ConvertFromSpecialUnicode(std::wstring text, wchar_t c);
std::wstring ComposeUnicodeW(std::wstring text);

class unicode_to_UTF8 {
 public:
  explicit unicode_to_UTF8(const wchar_t* text);
  const std::string& get_string() const { return mText; }

 private:
  std::string mText;
};

class UTF8_to_unicode {
 public:
  explicit UTF8_to_unicode(const char* text);
  const std::wstring& get_string() const { return mText; }

 private:
  std::wstring mText;
};

// UTF-16 code units.
class unistring {
 public:
  void AssignWCharPtr(const wchar_t* text);
  void AssignWString(const std::wstring& text);
  void AssignCFString(CFStringRef string);
  // A new string the caller releases.
  CFStringRef MakeCFString() const;
  std::wstring MakeWString() const;
  const std::u16string& units() const { return mUnits; }

 private:
  std::u16string mUnits;
};
