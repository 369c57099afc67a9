#include "tools/reference-assistant/StatusSender.h"

#include <glib.h>

#include "Common/Protocol.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/AssistantEvents.h"

json_object* NewNotification(const char* code) {
  json_object* notification = json_object_new_object();
  json_object_object_add(notification, "version", json_object_new_string(QX_PROTOCOL_VERSION));
  json_object_object_add(notification, "type", json_object_new_string("Notification"));
  json_object_object_add(notification, "code", json_object_new_string(code));
  return notification;
}

bool SendStatus(const RequestOrigin& origin, json_object* notification) {
  std::string text = json_object_to_json_string_ext(notification, JSON_C_TO_STRING_PLAIN);
  json_object_put(notification);
  AEAddressDesc address{typeNull, nullptr};
  AppleEvent event{typeNull, nullptr};
  OSErr err = AECreateDesc(typeProcessSerialNumber, &origin.host, sizeof origin.host, &address);
  if (err == noErr) {
    err = AECreateAppleEvent(kAEAssistantClass, kAEAssistantStatus, &address, kAutoGenerateReturnID,
                             kAnyTransactionID, &event);
  }
  if (err == noErr) {
    err = AEPutParamPtr(&event, kAE_Status_RefCon, typeMagnitude, origin.refCon.data(),
                        static_cast<Size>(origin.refCon.size()));
  }
  if (err == noErr) {
    err = AEPutParamPtr(&event, kAE_Status_Message, typeChar, text.data(),
                        static_cast<Size>(text.size()));
  }
  if (err == noErr) {
    err = AESend(&event, nullptr, kAENoReply | kAENeverInteract, kAENormalPriority,
                 kAERequestTimeoutTicks, nullptr, nullptr);
  }
  if (err != noErr)
    g_printerr("quorvex-assistant: status event not sent (%d)\n", err);
  AEDisposeDesc(&event);
  AEDisposeDesc(&address);
  return err == noErr;
}
