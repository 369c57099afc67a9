#include "Common/ErrorTexts.h"

const char* QXErrorText(tErrorStringID id) {
  switch (id) {
    case kErrLaunchAssistant:
      return "Failed to launch Quorvex Assistant";
    case kErrQueueLimitReached:
      return "Not allowed to queue more than %d files for sending";
    case kErrFileNameTooLong:
      return "Could not add '%s' for upload - the file name exceeds the maximum length of %d "
             "characters";
    case kErrAddFileOSError:
      return "Could not add '%s' for upload - an operating system error has occurred (%d)";
    default:
      return nullptr;
  }
}
