#include "host/ConsoleListener.h"

#include <glib-unix.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>

#include "host/QXWebClientNativeMac.h"
#include "platform/app/Application.h"
#include "platform/core/TextConversion.h"

namespace {

constexpr uint32_t kStopWord = 0xFFFFFFFF;
constexpr size_t kReadPiece = 1024;
// A length word is only a promise: storage grows with what actually arrives.
constexpr size_t kLargestReservation = 16 * 1024 * 1024;

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

ConsoleListener::~ConsoleListener() {
  if (mStartSource != 0)
    g_source_remove(mStartSource);
  Disarm();
}

ConsoleListener* ConsoleListener::init() {
  mGotData = false;
  mStdIn = -1;
  return this;
}

void ConsoleListener::setClient(CQXWebClientNativeMac* client) {
  mClient = client;
}

void ConsoleListener::getData() {
  mGotData = false;
  if (mStartSource == 0)
    mStartSource = g_timeout_add(0, StartReading, this);
}

gboolean ConsoleListener::StartReading(gpointer listener) {
  auto* self = static_cast<ConsoleListener*>(listener);
  self->mStartSource = 0;
  self->requestorGotData(nullptr);
  return G_SOURCE_REMOVE;
}

void ConsoleListener::requestorGotData(void*) {
  // Reading is set up once; from then on each handled frame re-arms it.
  if (mGotData)
    return;
  mGotData = true;
  mStdIn = STDIN_FILENO;
  Arm();
}

void ConsoleListener::Arm() {
  if (mWatchSource == 0 && mStdIn >= 0)
    mWatchSource = g_unix_fd_add(mStdIn, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                 StdinReady, this);
}

void ConsoleListener::Disarm() {
  if (mWatchSource != 0)
    g_source_remove(mWatchSource);
  mWatchSource = 0;
}

gboolean ConsoleListener::StdinReady(gint, GIOCondition, gpointer listener) {
  static_cast<ConsoleListener*>(listener)->fileHandleReadData(nullptr);
  return G_SOURCE_REMOVE;  // fileHandleReadData armed a new watch if reading goes on
}

void ConsoleListener::fileHandleReadData(void*) {
  Disarm();

  unsigned char word[4];
  if (ReadFully(mStdIn, reinterpret_cast<char*>(word), sizeof word) < sizeof word) {
    // The browser closed the pipe: leave the loop so that the client is
    // destroyed in order.
    QXApplication::sharedApplication()->stop();
    return;
  }
  uint32_t length = word[0] | (word[1] << 8) | (word[2] << 16) | (uint32_t{word[3]} << 24);
  if (length == kStopWord) {
    close(mStdIn);
    mStdIn = -1;
    QXApplication::sharedApplication()->terminate();
  }

  std::string body;
  body.reserve(std::min<size_t>(length, kLargestReservation));
  const size_t piece = std::min<size_t>(length, kReadPiece);
  char buffer[kReadPiece];
  size_t left = length;
  for (size_t got = ReadFully(mStdIn, buffer, std::min(left, piece)); got > 0;
       got = ReadFully(mStdIn, buffer, std::min(left, piece))) {
    body.append(buffer, got);
    left -= got;
  }

  // Decoding as UTF-8 keeps every byte: non-ASCII names reach the JSON parser
  // exactly as sent, and invalid bytes come back out unchanged.
  std::wstring text = QXDecodeUTF8(body.data(), body.size());
  if (mClient != nullptr)
    mClient->ExecuteRequest(text.data());

  // A body cut short by the end of input is followed by a readiness report
  // whose length read finds nothing, which ends the loop.
  Arm();
}
