#include "host/FrameReader.h"

#include "host/FrameCodec.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

constexpr size_t kReadPiece = 1024;

// Reads until `size` bytes arrived or the input ended; returns the count.
size_t ReadFully(int fd, char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = read(fd, buffer + done, size - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      // The browser may hand over a non-blocking pipe; wait as a blocking read would.
      pollfd ready{fd, POLLIN, 0};
      poll(&ready, 1, -1);
    } else {
      break;
    }
  }
  return done;
}

}  // namespace

FrameReader::Result FrameReader::Read(std::string& body) {
  body.clear();
  char word[kLengthWordSize];
  if (ReadFully(mFd, word, sizeof word) < sizeof word)
    return Result::kEndOfInput;
  const uint32_t length = DecodeLengthWord(word);
  if (length == kFrameStopWord)
    return Result::kStopWord;

  body.reserve(std::min<size_t>(length, mLargestReservation));
  char buffer[kReadPiece];
  size_t left = length;
  while (left > 0) {
    const size_t got = ReadFully(mFd, buffer, std::min(left, kReadPiece));
    if (got == 0)
      break;
    body.append(buffer, got);
    left -= got;
  }
  return Result::kFrame;
}
