// Reads the browser's frames (see FrameCodec.h) from a descriptor. Reads
// block; a non-blocking descriptor is waited on as a blocking one would be.
#pragma once

#include <cstddef>
#include <string>

class FrameReader {
 public:
  enum class Result {
    kFrame,       // a body was read (shorter than its length if the input ended)
    kEndOfInput,  // the input ended before a whole length word
    kStopWord,    // the browser asked the host to quit
  };

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
