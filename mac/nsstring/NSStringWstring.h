// Conversions between wide strings and the text objects the desktop layer
// hands around. A text object is its UTF-8 bytes; a missing one (nil) is
// std::nullopt. Bytes that are not valid UTF-8 survive the round trip through
// a wide string (see platform/core/TextConversion.h).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

// The UTF-8 text of a NUL-terminated wide string; nullopt for a null pointer
// or a text holding a value that is not a Unicode scalar value.
std::optional<std::string> NSStringFromWchar(const wchar_t* text);
std::optional<std::string> NSStringFromWstring(const std::wstring& text);

// A new NUL-terminated wide string the caller owns; null for nullopt.
std::unique_ptr<wchar_t[]> wcharFromNSString(const std::optional<std::string>& string);
// The wide text; empty for nullopt.
std::wstring wstringFromNSString(const std::optional<std::string>& string);

// A text object over `length` bytes of UTF-8. With `freeWhenDone` it takes
// ownership of `bytes`, which must come from malloc, and releases them.
std::optional<std::string> NSStringFromWcharNoCopy(char* bytes, size_t length, bool freeWhenDone);

// `path` expressed relative to `base`, component by component (case
// sensitive): /a/b/c/d.txt relative to /a/b/x is ../c/d.txt.
std::string stringWithPathRelativeTo(const std::string& path, const std::string& base);
