// The running applications and application launch. An application is a
// well-known name on the session bus (its bundle identifier); its process
// serial number is that of the name's owner. Launching is D-Bus activation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/appleevents/AETypes.h"

enum : unsigned long {
  NSWorkspaceLaunchWithoutActivation = 0x200,
  NSWorkspaceLaunchAsync = 0x10000,
  NSWorkspaceLaunchAndHide = 0x100000,
};

struct QXLaunchedApplication {
  std::string bundleIdentifier;
  uint32_t processSerialNumberHigh;
  uint32_t processSerialNumberLow;
};

class QXWorkspace {
 public:
  static QXWorkspace& sharedWorkspace();

  // In the bus's order; empty when there is no session bus.
  std::vector<QXLaunchedApplication> launchedApplications();
  // The process that owns `bundleIdentifier` now, asked of the bus at once:
  // procNotFound when nobody owns it, connectionInvalid when the bus cannot
  // tell (no bus, no answer within the bus-call bound); {0, 0} then.
  OSErr processSerialNumberOfApplication(const char* bundleIdentifier, ProcessSerialNumber* psn);
  // Accepted when the bus can activate the name; returns without waiting for
  // the application to start. Activated services never take the focus, so
  // the options only document what the caller asks for.
  bool launchAppWithBundleIdentifier(const char* bundleIdentifier, unsigned long options,
                                     const AEDesc* additionalEventParamDescriptor,
                                     void* launchIdentifier);

 private:
  QXWorkspace() = default;
};
