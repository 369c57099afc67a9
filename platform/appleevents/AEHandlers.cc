// The application's handler table and the dispatch of received events.
#include <map>
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

// The system table is a separate table that this process alone uses.
std::map<std::pair<AEEventClass, AEEventID>, Handler>& Table(bool isSysHandler) {
  static std::map<std::pair<AEEventClass, AEEventID>, Handler> sApplication;
  static std::map<std::pair<AEEventClass, AEEventID>, Handler> sSystem;
  return isSysHandler ? sSystem : sApplication;
}

const Handler* FindHandler(AEEventClass eventClass, AEEventID eventID) {
  for (bool system : {false, true}) {
    auto& table = Table(system);
    for (auto key :
         {std::make_pair(eventClass, eventID), std::make_pair(eventClass, AEEventID(typeWildCard)),
          std::make_pair(AEEventClass(typeWildCard), eventID),
          std::make_pair(AEEventClass(typeWildCard), AEEventID(typeWildCard))}) {
      auto it = table.find(key);
      if (it != table.end())
        return &it->second;
    }
  }
  return nullptr;
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
  const Handler* handler = FindHandler(eventClass, eventID);
  if (handler == nullptr)
    return errAEEventNotHandled;
  AEAddressDesc noAddress{typeNull, nullptr};
  AppleEvent reply{typeNull, nullptr};
  AECreateAppleEvent(kCoreEventClass, kAEAnswer, &noAddress, kAutoGenerateReturnID,
                     kAnyTransactionID, &reply);
  // Copy the handler first: it may remove itself while it runs.
  Handler call = *handler;
  OSErr result = call.proc(event, &reply, call.refCon);
  AEDisposeDesc(&reply);
  return result;
}

}  // namespace

GVariant* QXReceiveAppleEvent(const char* senderUniqueName, GVariant* parameters) {
  g_autoptr(GVariant) body = g_variant_get_child_value(parameters, 0);
  AppleEvent event{typeNull, nullptr};
  OSErr result = AEDescFromGVariant(body, &event);
  if (result == noErr)
    result = Dispatch(senderUniqueName, &event);
  AEDisposeDesc(&event);
  return g_variant_new("(n)", result);
}

AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr proc) {
  return proc;
}

void DisposeAEEventHandlerUPP(AEEventHandlerUPP) {}

OSErr AEInstallEventHandler(AEEventClass eventClass, AEEventID eventID, AEEventHandlerUPP handler,
                            SRefCon handlerRefCon, bool isSysHandler) {
  if (handler == nullptr)
    return paramErr;
  Table(isSysHandler)[{eventClass, eventID}] = Handler{handler, handlerRefCon};
  // Events can only arrive once we are on the bus; without one the handler
  // is kept for when a bus is reached.
  QXSessionBus();
  return noErr;
}

OSErr AERemoveEventHandler(AEEventClass eventClass, AEEventID eventID, AEEventHandlerUPP handler,
                           bool isSysHandler) {
  auto& table = Table(isSysHandler);
  auto it = table.find({eventClass, eventID});
  if (it == table.end() || (handler != nullptr && it->second.proc != handler)) {
    return errAEHandlerNotFound;
  }
  table.erase(it);
  return noErr;
}

OSErr AEGetEventHandler(AEEventClass eventClass, AEEventID eventID, AEEventHandlerUPP* handler,
                        SRefCon* handlerRefCon, bool isSysHandler) {
  auto& table = Table(isSysHandler);
  auto it = table.find({eventClass, eventID});
  if (it == table.end())
    return errAEHandlerNotFound;
  if (handler != nullptr)
    *handler = it->second.proc;
  if (handlerRefCon != nullptr)
    *handlerRefCon = it->second.refCon;
  return noErr;
}
