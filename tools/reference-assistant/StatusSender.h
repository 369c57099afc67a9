// Status events to the host that sent a request: the request's refCon
// echoed and one JSON notification.
#pragma once

#include <json-c/json.h>

#include <cstdint>
#include <string>

#include "platform/appleevents/AETypes.h"

struct RequestOrigin {
  ProcessSerialNumber host{0, 0};
  // The 'navG' bytes as received, echoed unchanged in 'STr1'.
  std::string refCon;
};

// A new notification object with the envelope and `code`; the caller adds
// members and passes it to SendStatus.
json_object* NewNotification(const char* code);
// Sends and releases the notification; false when the host cannot be reached.
bool SendStatus(const RequestOrigin& origin, json_object* notification);
