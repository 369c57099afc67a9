// An event is one call of kQXAEMethod on the target's connection.
#include <algorithm>
#include <string>

#include "platform/appleevents/AEGVariant.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/BusConnection.h"
#include "platform/appleevents/Processes.h"

namespace {

// The bus's encoding differs from GVariant's by a few bytes per item.
constexpr gsize kEncodingMargin = 4096;

// The sender only needs to tell a target that is gone from a failed send.
OSErr FromDBusError(const GError* error) {
  return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
                 g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER)
             ? procNotFound
             : connectionInvalid;
}

// A call without a reply to a name that has gone is dropped by the bus
// without a word, so ask before and after: the sender must learn that its
// target quit.
OSErr CheckTargetExists(GDBusConnection* bus, const std::string& name) {
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) answer = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
      g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
      kQXBusCallTimeoutMs, nullptr, &error);
  if (answer == nullptr)
    return FromDBusError(error);
  gboolean exists = FALSE;
  g_variant_get(answer, "(b)", &exists);
  return exists ? noErr : procNotFound;
}

OSErr SendWithoutReply(GDBusConnection* bus, const std::string& name, GVariant* body) {
  OSErr err = CheckTargetExists(bus, name);
  if (err != noErr)
    return err;
  g_autoptr(GDBusMessage) message =
      g_dbus_message_new_method_call(name.c_str(), kQXAEObjectPath, kQXAEInterface, kQXAEMethod);
  g_dbus_message_set_body(message, body);
  g_dbus_message_set_flags(message, G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED);
  g_autoptr(GError) error = nullptr;
  if (!g_dbus_connection_send_message(bus, message, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr,
                                      &error)) {
    return FromDBusError(error);
  }
  // The target may have quit since the first check, and the bus drops the
  // event unannounced then. The bus handles our messages in order, so a
  // target still there after the event was there when it was routed; a
  // unique name never comes back.
  return CheckTargetExists(bus, name);
}

// The handler's result code in `handlerResult`.
OSErr SendAndWait(GDBusConnection* bus, const std::string& name, GVariant* body,
                  int32_t timeoutInTicks, OSErr* handlerResult) {
  if (timeoutInTicks <= 0)
    return paramErr;
  int timeoutMs = static_cast<int>(std::max<int64_t>(1, int64_t(timeoutInTicks) * 1000 / 60));
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) answer = g_dbus_connection_call_sync(
      bus, name.c_str(), kQXAEObjectPath, kQXAEInterface, kQXAEMethod, body, G_VARIANT_TYPE("(n)"),
      G_DBUS_CALL_FLAGS_NO_AUTO_START, timeoutMs, nullptr, &error);
  if (answer == nullptr)
    return FromDBusError(error);
  g_variant_get(answer, "(n)", handlerResult);
  return noErr;
}

}  // namespace

OSErr AESend(const AppleEvent* event, AppleEvent* reply, AESendMode sendMode, AESendPriority,
             int32_t timeoutInTicks, AEIdleUPP, AEFilterUPP) {
  if (reply != nullptr)
    *reply = AEDesc{typeNull, nullptr};
  if (event == nullptr)
    return paramErr;
  if (event->dataHandle == nullptr ||
      !g_variant_is_of_type(event->dataHandle, G_VARIANT_TYPE(kAEEventGVariantType))) {
    return errAENotAppleEvent;
  }
  AESendMode replyMode = sendMode & kAEWaitReply;
  if (replyMode != kAENoReply && replyMode != kAEWaitReply)
    return paramErr;
  GDBusConnection* bus = QXSessionBus();
  if (bus == nullptr)
    return connectionInvalid;
  ProcessSerialNumber target{0, 0};
  Size size = 0;
  if (AEGetAttributePtr(event, keyAddressAttr, typeProcessSerialNumber, nullptr, &target,
                        sizeof target, &size) != noErr ||
      size != sizeof target) {
    return procNotFound;
  }
  std::string name = QXBusNameFromProcessSerialNumber(target);
  if (name.empty())
    return procNotFound;
  g_autoptr(GVariant) body = g_variant_ref_sink(g_variant_new("(@(uv))", AEDescToGVariant(event)));
  // Sent, the bus would drop the whole connection.
  if (g_variant_get_size(body) + kEncodingMargin > gsize(kQXBusMaxArrayBytes))
    return errQXMessageTooLarge;
  if (replyMode == kAENoReply)
    return SendWithoutReply(bus, name, body);

  OSErr handlerResult = noErr;
  OSErr err = SendAndWait(bus, name, body, timeoutInTicks, &handlerResult);
  if (err != noErr || reply == nullptr)
    return err;
  AEAddressDesc noAddress{typeNull, nullptr};
  AECreateAppleEvent(kCoreEventClass, kAEAnswer, &noAddress, kAutoGenerateReturnID,
                     kAnyTransactionID, reply);
  if (handlerResult != noErr)
    AEPutParamPtr(reply, keyErrorNumber, typeSInt16, &handlerResult, sizeof handlerResult);
  return noErr;
}
