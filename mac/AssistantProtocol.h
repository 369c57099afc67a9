// The Apple Events between the host and the Assistant: the request the host
// sends and the status events the Assistant answers with.
#pragma once

#include "platform/appleevents/AETypes.h"

inline constexpr AEEventClass kAEAssistantClass = QXFourCC("Laso");
// Host to Assistant: '----' the JSON request (TEXT), 'bPSN' the host's
// process ('psn '), 'navG' the client's refCon ('magn', 8 bytes).
inline constexpr AEEventID kAEAssistantRequest = QXFourCC("ADMN");
inline constexpr AEKeyword kAEHostProcessKeyword = QXFourCC("bPSN");
inline constexpr AEKeyword kAERefConKeyword = QXFourCC("navG");
// Assistant to host: 'STr1' the refCon ('magn'), 'NMsg' the JSON
// notification (TEXT); 'STr2' and 'STr3' are not looked at.
inline constexpr AEEventID kAEAssistantStatus = QXFourCC("assS");
inline constexpr AEKeyword kAE_Status_RefCon = QXFourCC("STr1");
inline constexpr AEKeyword kAE_Status_RefCon2 = QXFourCC("STr2");
inline constexpr AEKeyword kAE_Status_RefCon3 = QXFourCC("STr3");
inline constexpr AEKeyword kAE_Status_Message = QXFourCC("NMsg");
// How long the host waits for the Assistant to acknowledge a request (25 s).
inline constexpr int32_t kAERequestTimeoutTicks = 1500;

// A 64-bit value from a 'doub', 'comp' or 'magn' parameter;
// errAEWrongDataType for another type, errAECoercionFail for a double
// outside the unsigned 64-bit range.
OSErr Get64BitParam(const AppleEvent* event, AEKeyword keyword, uint64_t* value);
