// The client the fuzz targets drive, set up the way the host runs it but
// hermetic: no display, so the panels and the alert refuse and no request
// walks the file system; no session bus, so sends fail at once; frames
// written to /dev/null.
#pragma once

#include "host/QXWebClientNativeMac.h"

// Prepares the process once and returns the one client. Each call puts the
// client back into the same state: default parameters, an upload list of
// two files and a download folder, so that every request has
// something to work on and nothing carries over from the previous input.
CQXWebClientNativeMac& QXFuzzFreshClient();
