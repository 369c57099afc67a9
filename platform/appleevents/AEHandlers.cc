// The application's handler table and the dispatch of received events.
#include <map>
#include <memory>
#include <utility>

#include "platform/appleevents/AEGVariant.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/BusConnection.h"
#include "platform/appleevents/Processes.h"

namespace {

struct Handler {
  AEEventHandlerUPP proc;
  SRefCon refCon;
};

std::map<std::pair<AEEventClass, AEEventID>, Handler>& Table() {
  static std::map<std::pair<AEEventClass, AEEventID>, Handler> sTable;
  return sTable;
}

OSErr Dispatch(const char* senderUniqueName, AppleEvent* event) {
  AEEventClass eventClass = 0;
  AEEventID eventID = 0;
  if (AEGetAttributePtr(event, keyEventClassAttr, typeType, nullptr, &eventClass, sizeof eventClass,
                        nullptr) != noErr ||
      AEGetAttributePtr(event, keyEventIDAttr, typeType, nullptr, &eventID, sizeof eventID,
                        nullptr) != noErr) {
    return errAENotAppleEvent;
  }
  // Replaces any sender the body names: only the bus knows who sent it.
  ProcessSerialNumber sender = QXProcessSerialNumberFromBusName(senderUniqueName);
  OSErr err = AEPutAttributePtr(event, keyOriginalAddressAttr, typeProcessSerialNumber, &sender,
                                sizeof sender);
  if (err != noErr)
    return err;
  auto found = Table().find({eventClass, eventID});
  if (found == Table().end())
    return errAEEventNotHandled;
  // Copied first: the handler may remove itself while it runs.
  Handler handler = found->second;
  AppleEvent reply{typeNull, nullptr};
  return handler.proc(event, &reply, handler.refCon);
}

}  // namespace

GVariant* QXReceiveAppleEvent(const char* senderUniqueName, GVariant* parameters) {
  g_autoptr(GVariant) body = g_variant_get_child_value(parameters, 0);
  AppleEvent event{typeNull, nullptr};
  std::unique_ptr<AEDesc, OSErr (*)(AEDesc*)> guard(&event, AEDisposeDesc);
  OSErr result = AEDescFromGVariant(body, &event);
  if (result == noErr)
    result = Dispatch(senderUniqueName, &event);
  return g_variant_new("(n)", result);
}

AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr proc) {
  return proc;
}

void DisposeAEEventHandlerUPP(AEEventHandlerUPP) {}

OSErr AEInstallEventHandler(AEEventClass eventClass, AEEventID eventID, AEEventHandlerUPP handler,
                            SRefCon handlerRefCon, bool) {
  if (handler == nullptr)
    return paramErr;
  Table()[{eventClass, eventID}] = Handler{handler, handlerRefCon};
  // Events can only arrive once we are on the bus; without one the handler
  // is kept for when a bus is reached.
  QXSessionBus();
  return noErr;
}

OSErr AERemoveEventHandler(AEEventClass eventClass, AEEventID eventID, AEEventHandlerUPP handler,
                           bool) {
  auto found = Table().find({eventClass, eventID});
  if (found == Table().end() || (handler != nullptr && found->second.proc != handler))
    return errAEHandlerNotFound;
  Table().erase(found);
  return noErr;
}
