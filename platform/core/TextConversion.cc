#include "platform/core/TextConversion.h"

#include <glib.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr wchar_t kEscapeBase = 0xDC00;
constexpr uint32_t kReplacement = 0xFFFD;

inline bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence at `p` (at most `left` bytes), or 0 when
// the lead byte starts no valid sequence. Overlong forms, encoded surrogates
// and values above U+10FFFF are invalid. Stores the decoded value in `value`.
inline size_t DecodeOne(const unsigned char* p, size_t left, uint32_t& value) {
  const unsigned char lead = p[0];
  if (lead < 0x80) {
    value = lead;
    return 1;
  }
  if (lead < 0xC2)
    return 0;
  if (lead < 0xE0) {
    if (left < 2 || !IsContinuation(p[1]))
      return 0;
    value = (uint32_t(lead & 0x1F) << 6) | (p[1] & 0x3F);
    return 2;
  }
  if (lead < 0xF0) {
    if (left < 3 || !IsContinuation(p[1]) || !IsContinuation(p[2]))
      return 0;
    if (lead == 0xE0 && p[1] < 0xA0)
      return 0;  // overlong
    if (lead == 0xED && p[1] >= 0xA0)
      return 0;  // surrogate
    value = (uint32_t(lead & 0x0F) << 12) | (uint32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    return 3;
  }
  if (lead < 0xF5) {
    if (left < 4 || !IsContinuation(p[1]) || !IsContinuation(p[2]) || !IsContinuation(p[3]))
      return 0;
    if (lead == 0xF0 && p[1] < 0x90)
      return 0;  // overlong
    if (lead == 0xF4 && p[1] >= 0x90)
      return 0;  // above U+10FFFF
    value = (uint32_t(lead & 0x07) << 18) | (uint32_t(p[1] & 0x3F) << 12) |
            (uint32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
    return 4;
  }
  return 0;
}

inline bool IsEscapedByte(uint32_t c) {
  return c >= 0xDC80 && c <= 0xDCFF;
}
inline bool IsScalar(uint32_t c) {
  return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF);
}

inline size_t EncodedSize(uint32_t c) {
  if (c < 0x80)
    return 1;
  if (c < 0x800)
    return 2;
  if (IsEscapedByte(c))
    return 1;
  if (c < 0x10000)
    return 3;  // lone surrogates become U+FFFD, also 3 bytes
  if (c <= 0x10FFFF)
    return 4;
  return 3;
}

inline char* EncodeOne(uint32_t c, char* out) {
  if (c < 0x80) {
    *out++ = char(c);
  } else if (c < 0x800) {
    *out++ = char(0xC0 | (c >> 6));
    *out++ = char(0x80 | (c & 0x3F));
  } else if (IsEscapedByte(c)) {
    *out++ = char(c - kEscapeBase);
  } else if (c < 0x10000 || c > 0x10FFFF) {
    if (!IsScalar(c))
      c = kReplacement;
    *out++ = char(0xE0 | (c >> 12));
    *out++ = char(0x80 | ((c >> 6) & 0x3F));
    *out++ = char(0x80 | (c & 0x3F));
  } else {
    *out++ = char(0xF0 | (c >> 18));
    *out++ = char(0x80 | ((c >> 12) & 0x3F));
    *out++ = char(0x80 | ((c >> 6) & 0x3F));
    *out++ = char(0x80 | (c & 0x3F));
  }
  return out;
}

// Text is mostly ASCII, and a request can be megabytes of it: a run of
// eight bytes or characters is told ASCII by one test.
constexpr size_t kRun = 8;
// The high bit of each of eight bytes.
constexpr uint64_t kHighBits = 0x8080808080808080ull;

inline bool IsAsciiRun(const unsigned char* p) {
  uint64_t word;
  memcpy(&word, p, sizeof word);
  return (word & kHighBits) == 0;
}
inline bool IsAsciiRun(const wchar_t* chars) {
  uint32_t bits = 0;
  for (size_t k = 0; k < kRun; ++k)
    bits |= uint32_t(chars[k]);
  return bits < 0x80;
}

inline bool IsAscii(const char* bytes, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (static_cast<unsigned char>(bytes[i]) >= 0x80)
      return false;
  return true;
}

}  // namespace

size_t QXDecodedLength(const char* bytes, size_t n) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  size_t count = 0;
  size_t i = 0;
  while (i < n) {
    if (n - i >= kRun && IsAsciiRun(p + i)) {
      i += kRun;
      count += kRun;
      continue;
    }
    if (p[i] < 0x80) {
      ++i;
    } else {
      uint32_t value;
      const size_t used = DecodeOne(p + i, n - i, value);
      i += used ? used : 1;
    }
    ++count;
  }
  return count;
}

size_t QXDecodeUTF8Into(const char* bytes, size_t n, wchar_t* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  wchar_t* start = out;
  size_t i = 0;
  while (i < n) {
    if (n - i >= kRun && IsAsciiRun(p + i)) {
      for (size_t k = 0; k < kRun; ++k)
        *out++ = p[i++];
      continue;
    }
    if (p[i] < 0x80) {
      *out++ = p[i++];
      continue;
    }
    uint32_t value;
    const size_t used = DecodeOne(p + i, n - i, value);
    if (used) {
      *out++ = wchar_t(value);
      i += used;
    } else {
      *out++ = kEscapeBase + p[i++];
    }
  }
  return size_t(out - start);
}

std::wstring QXDecodeUTF8(const char* bytes, size_t n) {
  std::wstring result(QXDecodedLength(bytes, n), L'\0');
  QXDecodeUTF8Into(bytes, n, result.data());
  return result;
}

size_t QXEncodedLength(const wchar_t* chars, size_t n) {
  size_t bytes = 0;
  for (size_t i = 0; i < n;) {
    if (n - i >= kRun && IsAsciiRun(chars + i)) {
      bytes += kRun;
      i += kRun;
    } else {
      bytes += EncodedSize(uint32_t(chars[i++]));
    }
  }
  return bytes;
}

size_t QXEncodeUTF8Into(const wchar_t* chars, size_t n, char* out) {
  char* start = out;
  for (size_t i = 0; i < n;) {
    if (n - i >= kRun && IsAsciiRun(chars + i)) {
      for (size_t k = 0; k < kRun; ++k)
        *out++ = char(chars[i++]);
      continue;
    }
    const uint32_t c = uint32_t(chars[i++]);
    if (c < 0x80)
      *out++ = char(c);
    else
      out = EncodeOne(c, out);
  }
  return size_t(out - start);
}

std::string QXEncodeUTF8(const wchar_t* chars, size_t n) {
  std::string result(QXEncodedLength(chars, n), '\0');
  QXEncodeUTF8Into(chars, n, result.data());
  return result;
}

bool QXCanEncodeUTF8(const wchar_t* chars, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint32_t c = uint32_t(chars[i]);
    if (!IsScalar(c) && !IsEscapedByte(c))
      return false;
  }
  return true;
}

bool QXIsValidUTF8(const char* bytes, size_t n) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  size_t i = 0;
  while (i < n) {
    if (n - i >= kRun && IsAsciiRun(p + i)) {
      i += kRun;
      continue;
    }
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    uint32_t value;
    const size_t used = DecodeOne(p + i, n - i, value);
    if (used == 0)
      return false;
    i += used;
  }
  return true;
}

bool QXIsUnicodeText(const wchar_t* chars, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (!IsScalar(uint32_t(chars[i])))
      return false;
  return true;
}

size_t QXWholeCharactersLength(const char* bytes, size_t n) {
  size_t start = n;
  while (start > 0 && n - start < 3 && IsContinuation(static_cast<unsigned char>(bytes[start - 1])))
    --start;
  if (start == 0)
    return n;
  const unsigned char lead = static_cast<unsigned char>(bytes[start - 1]);
  const size_t needed = lead < 0xC2 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 1;
  return n - start + 1 < needed ? start - 1 : n;
}

std::string QXComposeNFC(const std::string& text) {
  if (IsAscii(text.data(), text.size()))
    return text;
  // GLib only normalises valid UTF-8, so valid runs are composed one by one
  // and every other byte is kept where it stands.
  std::string result;
  result.reserve(text.size());
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    const char* validEnd = nullptr;
    g_utf8_validate(p, end - p, &validEnd);
    if (validEnd > p) {
      g_autofree gchar* composed = g_utf8_normalize(p, validEnd - p, G_NORMALIZE_NFC);
      if (composed != nullptr)
        result.append(composed);
      else
        result.append(p, validEnd);
      p = validEnd;
    }
    if (p < end)
      result.push_back(*p++);
  }
  return result;
}
