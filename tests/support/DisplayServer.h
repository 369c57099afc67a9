// The display server that a test's windows go to, its own and private to it:
// an X server or a Wayland compositor, ready when made, stopped when
// destroyed.
#pragma once

#include <map>
#include <memory>
#include <string>

enum class DesktopKind { kX11, kWayland };

class DisplayServer {
 public:
  virtual ~DisplayServer() = default;

  // False when it did not start; the test has then failed already.
  virtual bool Ok() const = 0;
  // The variables that send a program's windows here.
  virtual std::map<std::string, std::string> Environment() const = 0;
};

std::unique_ptr<DisplayServer> StartDisplayServer(DesktopKind kind);
