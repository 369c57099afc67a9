#include "platform/appleevents/Processes.h"

#include <glib.h>

#include <cinttypes>
#include <cstdio>

#include "platform/appleevents/BusConnection.h"

namespace {

bool ParseWord(const char*& cursor, char terminator, uint32_t* word) {
  if (!g_ascii_isdigit(*cursor))
    return false;
  char* end = nullptr;
  guint64 value = g_ascii_strtoull(cursor, &end, 10);
  if (end == cursor || *end != terminator || value > UINT32_MAX)
    return false;
  *word = static_cast<uint32_t>(value);
  cursor = end + (terminator != '\0' ? 1 : 0);
  return true;
}

}  // namespace

ProcessSerialNumber QXProcessSerialNumberFromBusName(const char* uniqueName) {
  ProcessSerialNumber none{0, 0};
  if (uniqueName == nullptr || uniqueName[0] != ':')
    return none;
  const char* cursor = uniqueName + 1;
  uint32_t high = 0;
  uint32_t low = 0;
  if (!ParseWord(cursor, '.', &high) || !ParseWord(cursor, '\0', &low) || low == UINT32_MAX) {
    return none;
  }
  return ProcessSerialNumber{high, low + 1};
}

std::string QXBusNameFromProcessSerialNumber(const ProcessSerialNumber& psn) {
  if (psn.lowLongOfPSN == kNoProcess)
    return {};
  char name[32];
  std::snprintf(name, sizeof name, ":%" PRIu32 ".%" PRIu32, psn.highLongOfPSN,
                psn.lowLongOfPSN - 1);
  return name;
}

OSErr GetCurrentProcess(ProcessSerialNumber* psn) {
  if (psn == nullptr)
    return paramErr;
  *psn = ProcessSerialNumber{0, 0};
  GDBusConnection* bus = QXSessionBus();
  if (bus == nullptr)
    return procNotFound;
  *psn = QXProcessSerialNumberFromBusName(g_dbus_connection_get_unique_name(bus));
  return psn->lowLongOfPSN != kNoProcess ? noErr : procNotFound;
}
