// The running applications and application launch. An application is a
// well-known name on the session bus (its bundle identifier); its process
// serial number is that of the name's owner. Launching is D-Bus activation.
#pragma once

#include <cstdint>
#include <memory>
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
  ~QXWorkspace();

  // In the bus's order; empty when there is no session bus.
  std::vector<QXLaunchedApplication> launchedApplications();
  // The owner of `bundleIdentifier` as the bus had it when it sent on the
  // message being handled: the name is watched from the first call on, so a
  // call its old owner made just before quitting still finds that owner, and
  // one from a new owner finds the new one. Until the watch's first answer
  // the bus is asked at once. procNotFound when nobody owns the name,
  // connectionInvalid when the bus cannot tell; {0, 0} then.
  OSErr processSerialNumberOfWatchedApplication(const char* bundleIdentifier,
                                                ProcessSerialNumber* psn);
  // Accepted when the bus can activate the name; returns without waiting for
  // the application to start. Activated services never take the focus, so
  // the options only document what the caller asks for.
  bool launchAppWithBundleIdentifier(const char* bundleIdentifier, unsigned long options,
                                     const AEDesc* additionalEventParamDescriptor,
                                     void* launchIdentifier);
  // Waits up to `timeoutMs` for the bus's word on the last launch, returning
  // as soon as the bus says it failed: errAETimeout when the bus gave up
  // waiting for the application, procNotFound when it could not start it,
  // each with the bus's reason. noErr when there is no such word (no
  // launch, no answer yet, or the application started).
  OSErr waitForLaunch(int timeoutMs, std::string* reason);

 private:
  class Launch;
  class OwnerWatch;

  QXWorkspace();

  std::unique_ptr<Launch> mLaunch;
  std::unique_ptr<OwnerWatch> mWatch;
};
