#include "mac/nsstring/NSStringWstring.h"

#include "platform/core/TextConversion.h"

std::unique_ptr<wchar_t[]> wcharFromNSString(const std::optional<std::string>& string) {
  if (!string)
    return nullptr;
  const size_t n = QXDecodedLength(string->data(), string->size());
  std::unique_ptr<wchar_t[]> result(new wchar_t[n + 1]);
  QXDecodeUTF8Into(string->data(), string->size(), result.get());
  result[n] = L'\0';
  return result;
}

std::wstring wstringFromNSString(const std::optional<std::string>& string) {
  const std::unique_ptr<wchar_t[]> chars = wcharFromNSString(string);
  return chars ? std::wstring(chars.get()) : std::wstring();
}
