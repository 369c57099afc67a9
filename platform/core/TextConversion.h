// UTF-8 <-> UTF-32 conversion and canonical composition.
//
// Decoding never fails: a byte that does not start or continue a valid UTF-8
// sequence becomes U+DC80..U+DCFF (one character per byte, "surrogate escape")
// and encoding writes such a character back as that byte, so any byte string,
// including file names that are not UTF-8, round-trips exactly.
#pragma once

#include <cstddef>
#include <string>

std::wstring QXDecodeUTF8(const char* bytes, size_t n);
// Values that are neither Unicode scalar values nor escaped bytes are written
// as U+FFFD; QXCanEncodeUTF8 tells whether a text has any.
std::string QXEncodeUTF8(const wchar_t* chars, size_t n);
bool QXCanEncodeUTF8(const wchar_t* chars, size_t n);

// Whether text is exactly what a browser may send: valid UTF-8 (no overlong
// form, no encoded surrogate, nothing above U+10FFFF), or wide text of
// Unicode scalar values only (so no escaped bytes).
bool QXIsValidUTF8(const char* bytes, size_t n);
bool QXIsUnicodeText(const wchar_t* chars, size_t n);

// The length of `bytes` without a character that a cut left unfinished at
// its end, for texts cut to fit a buffer.
size_t QXWholeCharactersLength(const char* bytes, size_t n);

// Characters QXDecodeUTF8 produces for `n` bytes, and bytes QXEncodeUTF8
// produces for `n` characters, without building the result.
size_t QXDecodedLength(const char* bytes, size_t n);
size_t QXEncodedLength(const wchar_t* chars, size_t n);
// Decode into / encode into caller storage large enough for the measured
// length; return the units written.
size_t QXDecodeUTF8Into(const char* bytes, size_t n, wchar_t* out);
size_t QXEncodeUTF8Into(const wchar_t* chars, size_t n, char* out);

// Unicode normalization form C. Escaped bytes are left as they are.
std::string QXComposeNFC(const std::string& text);
