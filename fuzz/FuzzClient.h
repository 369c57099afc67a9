// The client the fuzz targets drive, set up the way the host runs it but
// hermetic: no display, so the panels and the alert refuse and no request
// walks the file system; no session bus, so sends fail at once; frames
// written to /dev/null.
#pragma once

#include <cstdint>
#include <string>

#include "host/QXWebClientNativeMac.h"

// Prepares the process once and returns the one client. Each call puts the
// client back into the same state: default parameters, an upload list of
// two files and a download folder, so that every request has
// something to work on and nothing carries over from the previous input.
CQXWebClientNativeMac& QXFuzzFreshClient();

// The input as a text, cut at its first zero byte when handed on as C text.
inline std::string QXFuzzText(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}
