// The Apple Events between the host and the Assistant, as both sides speak
// them: the request the host sends and the status events the Assistant
// answers with (docs/assistant-protocol.md).
#pragma once

#include "platform/appleevents/AETypes.h"

// The Assistant's well-known bus name, which is also its bundle identifier.
inline constexpr char kQXAssistantBusName[] = "com.quorvex.Assistant";

inline constexpr AEEventClass kAEAssistantClass = QXFourCC("Laso");
// Host to Assistant: '----' the JSON request (TEXT), 'bPSN' the host's
// process ('psn '), 'navG' the client's refCon ('magn', 8 bytes). The
// Assistant answers it on receipt, before any work.
inline constexpr AEEventID kAEAssistantRequest = QXFourCC("ADMN");
inline constexpr AEKeyword kAEHostProcessKeyword = QXFourCC("bPSN");
inline constexpr AEKeyword kAERefConKeyword = QXFourCC("navG");
// Assistant to host: 'STr1' the refCon ('magn'), 'NMsg' the JSON
// notification (TEXT); 'STr2' and 'STr3' are not looked at.
inline constexpr AEEventID kAEAssistantStatus = QXFourCC("assS");
inline constexpr AEKeyword kAE_Status_RefCon = QXFourCC("STr1");
inline constexpr AEKeyword kAE_Status_Message = QXFourCC("NMsg");
// How long a sender waits for the answer to an event (25 s): the host for
// the Assistant's acknowledgement of a request.
inline constexpr int32_t kAERequestTimeoutTicks = 1500;
