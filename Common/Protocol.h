// Words of the browser protocol shared by the core and the platform layers.
#pragma once

#define QX_PROTOCOL_VERSION "8.2.0x431"

typedef int tErrorStringID;
enum {
  kErrLaunchAssistant = 1,
  kErrQueueLimitReached = 2,
  kErrFileNameTooLong = 3,
  kErrAddFileOSError = 4,
};
