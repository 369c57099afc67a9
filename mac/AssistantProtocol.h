// The host's side of the Assistant's events.
#pragma once

#include "platform/appleevents/AssistantEvents.h"

// A 64-bit value from a 'doub', 'comp' or 'magn' parameter;
// errAEWrongDataType for another type, errAECoercionFail for a double
// outside the unsigned 64-bit range.
OSErr Get64BitParam(const AppleEvent* event, AEKeyword keyword, uint64_t* value);
