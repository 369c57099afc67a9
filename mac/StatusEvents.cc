// The Assistant's status events: one application-wide handler that finds
// the client by the refCon the event carries and hands it the notification.
// Any process on the session bus can send the event, so only the one that
// owns the Assistant's name is listened to.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Common/Logger.h"

#include "mac/AEDescriptors.h"
#include "mac/QXWebClientBaseMac.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/AssistantEvents.h"
#include "platform/appleevents/Processes.h"
#include "platform/appleevents/Workspace.h"

AEEventHandlerUPP CQXWebClientBaseMac::sStatusAEHandlerUPP = nullptr;
int32_t CQXWebClientBaseMac::sStatusAEHandlerUPPRefCount = 0;

namespace {

bool SamePSN(const ProcessSerialNumber& a, const ProcessSerialNumber& b) {
  return a.highLongOfPSN == b.highLongOfPSN && a.lowLongOfPSN == b.lowLongOfPSN;
}

// The owner is the one the bus had when it passed the event on: an event
// the Assistant sent just before quitting still counts, and one from an
// Assistant restarted under a new connection counts once it owns the name.
bool IsFromAssistant(const AppleEvent* event) {
  ProcessSerialNumber sender{0, 0};
  Size size = 0;
  if (AEGetAttributePtr(event, keyOriginalAddressAttr, typeProcessSerialNumber, nullptr, &sender,
                        sizeof sender, &size) != noErr ||
      size != sizeof sender) {
    sender = ProcessSerialNumber{0, 0};
  }
  ProcessSerialNumber assistant{0, 0};
  OSErr err = QXWorkspace::sharedWorkspace().processSerialNumberOfWatchedApplication(
      kQXAssistantBundleIdentifier, &assistant);
  if (err == noErr && sender.lowLongOfPSN != kNoProcess && SamePSN(sender, assistant))
    return true;
  std::string name = QXBusNameFromProcessSerialNumber(sender);
  if (name.empty())
    name = "an unknown sender";
  std::string line = "Ignored status event from " + name;
  if (err == noErr || err == procNotFound)
    line += std::string(", which does not own ") + kQXAssistantBundleIdentifier;
  else
    line +=
        std::string(": the owner of ") + kQXAssistantBundleIdentifier + " could not be looked up";
  WC_WriteToSyslog(line.c_str());
  return false;
}

}  // namespace

void CQXWebClientBaseMac::InstallAEHandlers() {
  if (sStatusAEHandlerUPP != nullptr) {
    ++sStatusAEHandlerUPPRefCount;
    return;
  }
  sStatusAEHandlerUPP = NewAEEventHandlerUPP(StatusAppleEventHandler);
  AEInstallEventHandler(kAEAssistantClass, kAEAssistantStatus, sStatusAEHandlerUPP, 0, false);
  sStatusAEHandlerUPPRefCount = 1;
}

void CQXWebClientBaseMac::RemoveAEHandlers() {
  --sStatusAEHandlerUPPRefCount;
  if (sStatusAEHandlerUPPRefCount >= 1)
    return;
  sStatusAEHandlerUPPRefCount = 0;
  if (sStatusAEHandlerUPP != nullptr) {
    AERemoveEventHandler(kAEAssistantClass, kAEAssistantStatus, sStatusAEHandlerUPP, false);
    DisposeAEEventHandlerUPP(sStatusAEHandlerUPP);
    sStatusAEHandlerUPP = nullptr;
  }
}

OSErr CQXWebClientBaseMac::StatusAppleEventHandler(const AppleEvent* event, AppleEvent*, SRefCon) {
  // Checked first and answered with noErr, so a stranger learns nothing.
  if (!IsFromAssistant(event))
    return noErr;
  StAEDescriptor refConDesc;
  OSErr err = AEGetParamDesc(event, kAE_Status_RefCon, typeMagnitude, refConDesc);
  if (err != noErr)
    return err;
  try {
    // The refCon is the first four bytes; a shorter value is zero-filled.
    uint32_t refCon = 0;
    AEGetDescData(refConDesc, &refCon,
                  std::min<Size>(sizeof refCon, AEGetDescDataSize(refConDesc)));
    auto* client = dynamic_cast<CQXWebClientBaseMac*>(GetPluginInstanceFromRefCon(refCon));
    if (client != nullptr)
      client->HandleStatusEvent(event);
    return noErr;
  } catch (...) {
    return errAEEventNotHandled;
  }
}

void CQXWebClientBaseMac::HandleStatusEvent(const AEDesc* event) {
  try {
    DescType actualType = typeNull;
    Size size = 0;
    ThrowIfOSErr(
        AEGetParamPtr(event, kAE_Status_Message, typeChar, &actualType, nullptr, 0, &size));
    if (actualType != typeChar || size <= 0)
      return;
    std::vector<char> text(static_cast<size_t>(size) + 1, '\0');
    ThrowIfOSErr(
        AEGetParamPtr(event, kAE_Status_Message, typeChar, &actualType, text.data(), size, &size));
    NotificationCallback(text.data(), reinterpret_cast<long>(static_cast<CQXWebClientBase*>(this)));
  } catch (...) {
    if (mLogger != nullptr)
      mLogger->Warning("Unhandled exception while processing a notification");
  }
}
