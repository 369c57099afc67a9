#include <syslog.h>

#include "Common/Logger.h"

// Opened and closed around every line: no handle outlives the call.
void WC_WriteToSyslog(const char* text) {
  openlog("Quorvex Web Client", LOG_PID, LOG_USER);
  syslog(LOG_DEBUG, "%s", text);
  closelog();
}
