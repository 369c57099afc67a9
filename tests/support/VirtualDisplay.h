// An X server of its own for tests that show real windows: Xvfb on a free
// display number, ready when constructed, stopped when destroyed.
#pragma once

#include <sys/types.h>

#include <string>

#include "tests/support/DisplayServer.h"

class VirtualDisplay : public DisplayServer {
 public:
  // Starts Xvfb and waits until it accepts clients; a failure fails the test
  // and leaves Ok() false.
  VirtualDisplay();
  ~VirtualDisplay() override;

  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  bool Ok() const override { return mPid > 0 && !mName.empty(); }
  // DISPLAY, for example ":3".
  std::map<std::string, std::string> Environment() const override { return {{"DISPLAY", mName}}; }

 private:
  pid_t mPid = -1;
  std::string mName;
};
