#include "platform/core/TickCount.h"

#include <glib.h>

uint32_t TickCount() {
  // Monotonic time never goes back, so two clients built at different times
  // get different counts.
  return static_cast<uint32_t>(g_get_monotonic_time() * 60 / G_USEC_PER_SEC);
}
