// Finding the running Assistant, and launching it when it is not running.
#include <ctime>
#include <string>

#include "Common/Logger.h"
#include "mac/QXWebClientBaseMac.h"
#include "platform/appleevents/AssistantEvents.h"
#include "platform/appleevents/Workspace.h"

const char* const kQXAssistantBundleIdentifier = kQXAssistantBusName;

namespace {

constexpr int kLookIntervalMs = 100;
constexpr unsigned long kLaunchOptions =
    NSWorkspaceLaunchAndHide | NSWorkspaceLaunchAsync | NSWorkspaceLaunchWithoutActivation;

}  // namespace

time_t CQXWebClientBaseMac::sAssistantLaunchWaitSeconds = 120;

bool FindAProcess(ProcessSerialNumber& psn) {
  psn = ProcessSerialNumber{0, 0};
  for (const QXLaunchedApplication& application :
       QXWorkspace::sharedWorkspace().launchedApplications()) {
    if (application.bundleIdentifier == kQXAssistantBundleIdentifier) {
      psn.highLongOfPSN = application.processSerialNumberHigh;
      psn.lowLongOfPSN = application.processSerialNumberLow;
      return true;
    }
  }
  return false;
}

bool CQXWebClientBaseMac::FindAssistantApplication(ProcessSerialNumber& psn) {
  // An exception from this first look is the caller's to handle.
  if (!FindAProcess(psn)) {
    try {
      if (QXWorkspace::sharedWorkspace().launchAppWithBundleIdentifier(
              kQXAssistantBundleIdentifier, kLaunchOptions, nullptr, nullptr)) {
        time_t start = time(nullptr);
        while (!FindAProcess(psn)) {
          // Between looks, and ended at once by the bus saying the start failed.
          std::string reason;
          OSErr err = QXWorkspace::sharedWorkspace().waitForLaunch(kLookIntervalMs, &reason);
          if (err == errAETimeout ||
              (err == noErr && time(nullptr) - start > sAssistantLaunchWaitSeconds)) {
            WC_WriteToSyslog("Timeout waiting for Assistant process to launch");
            break;
          }
          if (err != noErr) {
            WC_WriteToSyslog(("Assistant process failed to launch: " + reason).c_str());
            break;
          }
        }
      }
    } catch (...) {
      // A failed launch or look leaves whatever number was found.
    }
  }
  return psn.lowLongOfPSN != 0;
}
