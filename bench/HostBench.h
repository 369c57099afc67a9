// What the benchmarks that drive the real host binary share.
#pragma once

#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

// One frame to the host: the length word, least significant byte first, then
// the body.
inline std::string Frame(const std::string& body) {
  const uint32_t n = static_cast<uint32_t>(body.size());
  return std::string{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                     static_cast<char>((n >> 16) & 0xFF), static_cast<char>(n >> 24)} +
         body;
}

// Replaces a forked child, its standard streams in place, with the host,
// faceless as in the tests: no display and a session bus that cannot be
// reached.
[[noreturn]] inline void ExecFacelessHost(const std::string& binary) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent-qx-bus", 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
  _exit(127);
}
