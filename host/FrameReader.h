// Reads the browser's frames: a 4-byte little-endian length, then that many
// bytes of text. Reads block; a non-blocking descriptor is waited on as a
// blocking one would be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class FrameReader {
 public:
  enum class Result {
    kFrame,       // a body was read (shorter than its length if the input ended)
    kEndOfInput,  // the input ended before a whole length word
    kStopWord,    // the browser asked the host to quit
  };

  // The length word that asks the host to quit instead of carrying a body.
  static constexpr uint32_t kStopWord = 0xFFFFFFFF;
  // A length word is only a promise: storage grows with what actually arrives.
  static constexpr size_t kLargestReservation = 16 * 1024 * 1024;

  // Does not own `fd`. `largestReservation` bounds the storage set aside
  // for a body before it arrives.
  explicit FrameReader(int fd, size_t largestReservation = kLargestReservation)
      : mFd(fd), mLargestReservation(largestReservation) {}

  // Reads the next frame's body into `body` (emptied first).
  Result Read(std::string& body);

 private:
  int mFd;
  size_t mLargestReservation;
};
