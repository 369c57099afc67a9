// An X server of its own for tests that show real windows: Xvfb on a free
// display number, ready when constructed, stopped when destroyed.
#pragma once

#include <sys/types.h>

#include <string>

class VirtualDisplay {
 public:
  // Starts Xvfb and waits until it accepts clients; a failure fails the test
  // and leaves Ok() false.
  VirtualDisplay();
  ~VirtualDisplay();

  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  bool Ok() const { return mPid > 0 && !mName.empty(); }
  // The DISPLAY value, for example ":3".
  const std::string& Name() const { return mName; }

 private:
  pid_t mPid = -1;
  std::string mName;
};
