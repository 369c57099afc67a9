// The desktop logger: every record goes to the system log as plain text and,
// as a JSON "Log" message, to the output procedure.
#pragma once

#include "Common/Logger.h"

class CLoggerMac : public CLogger {
 public:
  void Log(const char* level, char* text) override;
};
