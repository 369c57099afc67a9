// The one session-bus connection of the process, made on first use. Apple
// Events are received on it as calls of kQXAEMethod on kQXAEObjectPath.
#pragma once

#include <gio/gio.h>

inline constexpr char kQXAEObjectPath[] = "/com/quorvex/AppleEvents";
inline constexpr char kQXAEInterface[] = "com.quorvex.AppleEvents";
inline constexpr char kQXAEMethod[] = "Event";
// Calls to the bus itself answer at once; a bus that does not is broken.
inline constexpr int kQXBusCallTimeoutMs = 5000;
// The D-Bus protocol's limit on one array, which every bus enforces by
// closing the connection of a sender that goes over it. An event's
// parameters are one array, so this bounds the event. (A message may be
// 128 MiB; a bus can be configured to take less.)
inline constexpr long kQXBusMaxArrayBytes = 67108864;

// Borrowed; null when there is no session bus. An address that is missing
// or asks for autolaunch counts as no bus, so nothing is ever started here.
// A connection that has closed is forgotten and made again on the next use.
// Connecting gives up after kQXBusCallTimeoutMs.
GDBusConnection* QXSessionBus();

// Decodes and dispatches the body of one received call, on the main
// context, and returns the "(n)" result for the sender. The event's
// keyOriginalAddressAttr is the process of `senderUniqueName`, whatever the
// body claims, so handlers can trust it.
GVariant* QXReceiveAppleEvent(const char* senderUniqueName, GVariant* parameters);
