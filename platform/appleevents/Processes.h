// Process serial numbers are the addresses of connections on the session
// bus. A unique name ":H.L" is the number {H, L + 1}: stable for the life
// of the connection, computed without asking the bus, and {0, 0} (and any
// low word of 0) stays "no process".
#pragma once

#include <string>

#include "platform/appleevents/AETypes.h"

// The number of this process's own bus connection; procNotFound and {0, 0}
// when there is no session bus.
OSErr GetCurrentProcess(ProcessSerialNumber* psn);

// {0, 0} for a name that is not a unique name of the form above.
ProcessSerialNumber QXProcessSerialNumberFromBusName(const char* uniqueName);
// The empty string for a number that addresses no connection.
std::string QXBusNameFromProcessSerialNumber(const ProcessSerialNumber& psn);
