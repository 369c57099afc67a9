// Wide strings from the text objects the desktop layer hands around. A text
// object is its UTF-8 bytes; a missing one (nil) is std::nullopt. Bytes that
// are not valid UTF-8 keep a character each (see
// platform/core/TextConversion.h).
#pragma once

#include <memory>
#include <optional>
#include <string>

// A new NUL-terminated wide string the caller owns; null for nullopt.
std::unique_ptr<wchar_t[]> wcharFromNSString(const std::optional<std::string>& string);
// The wide text; empty for nullopt.
std::wstring wstringFromNSString(const std::optional<std::string>& string);
