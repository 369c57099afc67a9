// Playing the Assistant's side of the bus in tests: finding the host on a
// session bus and sending it status events built as any program could. The
// host hears only the connection that owns com.quorvex.Assistant: call
// OwnAssistantName on the sending connection first, or send from another
// connection to play a stranger.
#pragma once

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "platform/appleevents/AETypes.h"
#include "tests/support/SessionBus.h"

// The client's refCon from the host's "Added new instance of plugin" line
// in its system log; 0 (and a test failure) when there is none.
inline uint32_t HostRefCon(const std::string& syslog) {
  const std::string prefix = "Added new instance of plugin, refCon=";
  const size_t at = syslog.find(prefix);
  EXPECT_NE(at, std::string::npos) << "no refCon in the host's system log";
  return at == std::string::npos ? 0 : std::stoul(syslog.substr(at + prefix.size()), nullptr, 16);
}

// The process of the connection with the bus name `name`; 0 when none has it.
inline pid_t NameOwnerPid(GDBusConnection* bus, const std::string& name) {
  g_autoptr(GVariant) reply =
      CallDaemon(bus, "GetConnectionUnixProcessID", g_variant_new("(s)", name.c_str()));
  guint32 pid = 0;
  if (reply != nullptr)
    g_variant_get(reply, "(u)", &pid);
  return static_cast<pid_t>(pid);
}

// The unique bus name of the connection that process `pid` holds, waiting up
// to `timeoutMs` for it to appear; empty when it does not.
inline std::string UniqueNameOfProcess(GDBusConnection* bus, pid_t pid, int timeoutMs) {
  std::string found;
  PollUntil(timeoutMs, [&] {
    g_autoptr(GVariant) names = CallDaemon(bus, "ListNames", nullptr);
    g_autoptr(GVariantIter) iter = nullptr;
    g_variant_get(names, "(as)", &iter);
    for (const char* name = nullptr; g_variant_iter_next(iter, "&s", &name);)
      if (name[0] == ':' && NameOwnerPid(bus, name) == pid)
        found = name;
    return !found.empty();
  });
  return found;
}

// Makes `bus` the owner of com.quorvex.Assistant (taken from nobody: no
// queueing, no replacing); false (and a test failure) when it is not now.
inline bool OwnAssistantName(GDBusConnection* bus) {
  constexpr guint32 kDoNotQueue = 4, kPrimaryOwner = 1, kAlreadyOwner = 4;
  g_autoptr(GVariant) reply =
      CallDaemon(bus, "RequestName", g_variant_new("(su)", "com.quorvex.Assistant", kDoNotQueue));
  guint32 result = 0;
  if (reply != nullptr)
    g_variant_get(reply, "(u)", &result);
  EXPECT_TRUE(result == kPrimaryOwner || result == kAlreadyOwner) << "the Assistant's name";
  return result == kPrimaryOwner || result == kAlreadyOwner;
}

// Sends the host's Event method a status event that carries `message` to the
// client with `refCon`, and waits for the answer; false (and a test failure)
// when the call failed.
inline bool SendStatusEvent(GDBusConnection* bus, const std::string& hostName, uint32_t refCon,
                            const std::string& message, int timeoutMs) {
  const auto item = [](FourCharCode keyword, FourCharCode type, const void* data, size_t size) {
    return g_variant_new("(u(uv))", keyword, type,
                         g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, data, size, 1));
  };
  const uint32_t eventClass = QXFourCC("Laso"), eventID = QXFourCC("assS");
  const FourCharCode type = QXFourCC("type");
  GVariant* attributes[] = {item(QXFourCC("evcl"), type, &eventClass, 4),
                            item(QXFourCC("evid"), type, &eventID, 4)};
  GVariant* parameters[] = {
      item(QXFourCC("STr1"), QXFourCC("magn"), &refCon, 4),
      item(QXFourCC("NMsg"), QXFourCC("TEXT"), message.data(), message.size())};
  GVariant* event =
      g_variant_new("(@a(u(uv))@a(u(uv)))", g_variant_new_array(nullptr, attributes, 2),
                    g_variant_new_array(nullptr, parameters, 2));
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      bus, hostName.c_str(), "/com/quorvex/AppleEvents", "com.quorvex.AppleEvents", "Event",
      g_variant_new("((uv))", QXFourCC("aevt"), event), nullptr, G_DBUS_CALL_FLAGS_NONE, timeoutMs,
      nullptr, nullptr);
  EXPECT_NE(reply, nullptr) << "status event not delivered";
  return reply != nullptr;
}
