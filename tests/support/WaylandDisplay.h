// A Wayland compositor of the test's own: sway on its headless backend, with
// no X server beside it, so GTK has only its Wayland backend to use. It holds
// one virtual keyboard for its whole life: a headless seat has a keyboard
// only while one exists, and the first key after a seat gains one is lost.
#pragma once

#include <sys/types.h>

#include <string>

#include "tests/support/DisplayServer.h"

class WaylandDisplay : public DisplayServer {
 public:
  // Starts sway and the keyboard and waits until both are ready; a failure
  // fails the test and leaves Ok() false.
  WaylandDisplay();
  ~WaylandDisplay() override;

  WaylandDisplay(const WaylandDisplay&) = delete;
  WaylandDisplay& operator=(const WaylandDisplay&) = delete;

  bool Ok() const override { return mKeyboardPid > 0; }
  // WAYLAND_DISPLAY as an absolute path, and sway's IPC socket (SWAYSOCK).
  std::map<std::string, std::string> Environment() const override;

 private:
  bool Query(const std::string& type, const std::string& fragment) const;

  std::string mRoot;
  std::string mSocket;
  pid_t mCompositorPid = -1;
  pid_t mKeyboardPid = -1;
};
