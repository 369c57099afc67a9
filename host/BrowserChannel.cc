#include "host/BrowserChannel.h"

#include "host/FrameCodec.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>

namespace {

int TakeOverStandardOutput() {
  int channel = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  // Started without stderr, prints must still go somewhere other than the
  // channel.
  if (fcntl(STDERR_FILENO, F_GETFD) < 0) {
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0 && null != STDERR_FILENO) {
      dup2(null, STDERR_FILENO);
      close(null);
    }
  }
  dup2(STDERR_FILENO, STDOUT_FILENO);
  return channel;
}

}  // namespace

BrowserChannel& BrowserChannel::Standard() {
  static BrowserChannel channel(TakeOverStandardOutput());
  return channel;
}

BrowserChannel::BrowserChannel(int fd) : mStream(fd >= 0 ? fdopen(fd, "wb") : nullptr) {
  signal(SIGPIPE, SIG_IGN);
  if (mStream == nullptr && fd >= 0)
    close(fd);
}

BrowserChannel::~BrowserChannel() {
  if (mStream != nullptr)
    fclose(mStream);
}

bool BrowserChannel::WriteFrame(const char* text) {
  if (mStream == nullptr)
    return false;
  flockfile(mStream);
  bool result = false;
  if (text != nullptr && *text != '\0') {
    size_t n = strlen(text);
    if (n <= kLargestFrameText) {
      const std::string length = EncodeLengthWord(static_cast<uint32_t>(n));
      bool written = fwrite_unlocked(length.data(), 1, length.size(), mStream) == length.size() &&
                     fwrite_unlocked(text, 1, n, mStream) == n;
      result = fflush_unlocked(mStream) == 0 && written;
      if (!result) {
        // Drop what is left of the failed frame so that it can never be
        // followed by the start of the next one.
        __fpurge(mStream);
        clearerr_unlocked(mStream);
      }
    }
  }
  funlockfile(mStream);
  return result;
}
