// The host's side of the browser channel: frames (see FrameCodec.h) written
// through a buffered stream of their own.
#pragma once

#include <cstdio>

class BrowserChannel {
 public:
  // The process's channel. The first call takes stdout over: the channel
  // keeps a private copy of fd 1 and fd 1 is pointed at stderr, so nothing
  // a library prints can land inside a frame. Call it before anything else
  // can write to stdout.
  static BrowserChannel& Standard();

  // A channel writing to `fd`, which it owns from now on. A write to a
  // reader that went away returns an error instead of raising SIGPIPE.
  explicit BrowserChannel(int fd);
  ~BrowserChannel();
  BrowserChannel(const BrowserChannel&) = delete;
  BrowserChannel& operator=(const BrowserChannel&) = delete;

  // Writes one whole frame under the stream's lock and flushes it. False,
  // with nothing written, for a null or empty text and a text longer than
  // kLargestFrameText; false too when the write fails (the browser closed its
  // end), and that frame is then lost.
  bool WriteFrame(const char* text);

 private:
  FILE* mStream;
};
