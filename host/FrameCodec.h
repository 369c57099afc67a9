// The browser channel's frame: a 4-byte little-endian length word, then that
// many bytes of UTF-8 JSON. Both ends of the channel (the host, qxclient, the
// test harness, the fuzzers and the benches) build and split frames here only,
// so that they cannot disagree about the byte order or the limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr size_t kLengthWordSize = 4;
// The length word that asks the host to quit instead of carrying a body.
constexpr uint32_t kFrameStopWord = 0xFFFFFFFF;
// Longest text the host sends in one frame; a text of exactly this size still
// goes. The browser drops the channel on a longer one.
constexpr size_t kLargestFrameText = 1048576;

inline std::string EncodeLengthWord(uint32_t length) {
  return {static_cast<char>(length & 0xFF), static_cast<char>((length >> 8) & 0xFF),
          static_cast<char>((length >> 16) & 0xFF), static_cast<char>((length >> 24) & 0xFF)};
}

// `word` holds kLengthWordSize bytes.
inline uint32_t DecodeLengthWord(const char* word) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(word);
  return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t{bytes[3]} << 24);
}

inline std::string EncodeFrame(std::string_view body) {
  return EncodeLengthWord(static_cast<uint32_t>(body.size())).append(body);
}

inline std::string StopWordBytes() {
  return EncodeLengthWord(kFrameStopWord);
}
