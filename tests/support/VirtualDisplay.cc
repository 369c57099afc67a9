#include "tests/support/VirtualDisplay.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "tests/support/ChildProcess.h"

namespace {

constexpr int kStartTimeoutMs = 15000;

}  // namespace

VirtualDisplay::VirtualDisplay() {
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << strerror(errno);
    return;
  }
  // Xvfb picks the first free display number and writes it to the
  // descriptor once it accepts connections.
  mPid = SpawnChild({"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                    {}, ready[1]);
  close(ready[1]);
  if (mPid <= 0) {
    close(ready[0]);
    ADD_FAILURE() << "Xvfb could not be started";
    return;
  }

  std::string number;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (number.empty() || number.back() != '\n') {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd waiting{ready[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&waiting, 1, static_cast<int>(left.count())) <= 0)
      break;
    char buffer[16];
    const ssize_t n = read(ready[0], buffer, sizeof buffer);
    if (n <= 0)
      break;
    number.append(buffer, static_cast<size_t>(n));
  }
  close(ready[0]);
  if (number.empty() || number.back() != '\n') {
    ADD_FAILURE() << "Xvfb did not report a display within " << kStartTimeoutMs << " ms";
    StopChild(mPid);
    mPid = -1;
    return;
  }
  number.pop_back();
  mName = ":" + number;
}

VirtualDisplay::~VirtualDisplay() {
  if (mPid > 0)
    StopChild(mPid);
}
