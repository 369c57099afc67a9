#include "tests/support/StatusEvents.h"

#include <glib.h>
#include <gtest/gtest.h>

#include "platform/appleevents/AETypes.h"
#include "tests/support/HostProcess.h"

namespace {

// One keyed descriptor item of the event's wire form: (keyword, (type, <ay>)).
GVariant* Item(const char (&keyword)[5], const char (&type)[5], const void* data, size_t size) {
  GVariant* bytes = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, data, size, 1);
  return g_variant_new("(u(uv))", QXFourCC(keyword), QXFourCC(type), bytes);
}

}  // namespace

uint32_t HostRefCon(const HostProcess& host) {
  const std::string prefix = "Added new instance of plugin, refCon=";
  for (const auto& line : host.SyslogLines())
    if (auto at = line.find(prefix); at != std::string::npos)
      return static_cast<uint32_t>(std::stoul(line.substr(at + prefix.size()), nullptr, 16));
  ADD_FAILURE() << "no refCon in the host's system log";
  return 0;
}

std::string UniqueNameOfProcess(GDBusConnection* bus, pid_t pid, int timeoutMs) {
  gint64 deadline = g_get_monotonic_time() + gint64{timeoutMs} * 1000;
  do {
    g_autoptr(GVariant) names = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ListNames",
        nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (names == nullptr)
      break;
    g_autoptr(GVariantIter) iter = nullptr;
    g_variant_get(names, "(as)", &iter);
    for (const char* name = nullptr; g_variant_iter_next(iter, "&s", &name);) {
      if (name[0] != ':')
        continue;
      g_autoptr(GVariant) owner = g_dbus_connection_call_sync(
          bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
          "GetConnectionUnixProcessID", g_variant_new("(s)", name), G_VARIANT_TYPE("(u)"),
          G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
      guint32 value = 0;
      if (owner != nullptr)
        g_variant_get(owner, "(u)", &value);
      if (static_cast<pid_t>(value) == pid)
        return name;
    }
    g_usleep(10000);
  } while (g_get_monotonic_time() < deadline);
  return "";
}

pid_t NameOwnerPid(GDBusConnection* bus, const std::string& name) {
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "GetConnectionUnixProcessID", g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(u)"),
      G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
  guint32 pid = 0;
  if (reply != nullptr)
    g_variant_get(reply, "(u)", &pid);
  return static_cast<pid_t>(pid);
}

bool OwnAssistantName(GDBusConnection* bus) {
  constexpr guint32 kDoNotQueue = 4, kPrimaryOwner = 1, kAlreadyOwner = 4;
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
      g_variant_new("(su)", "com.quorvex.Assistant", kDoNotQueue), G_VARIANT_TYPE("(u)"),
      G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
  guint32 result = 0;
  if (reply != nullptr)
    g_variant_get(reply, "(u)", &result);
  bool owned = result == kPrimaryOwner || result == kAlreadyOwner;
  if (!owned)
    ADD_FAILURE() << "com.quorvex.Assistant not owned: "
                  << (error != nullptr ? error->message : "taken by another connection");
  return owned;
}

GVariant* StatusEventArguments(uint32_t refCon, const std::string& message) {
  const uint32_t eventClass = QXFourCC("Laso"), eventID = QXFourCC("assS");
  GVariant* attributes[] = {Item("evcl", "type", &eventClass, 4),
                            Item("evid", "type", &eventID, 4)};
  GVariant* parameters[] = {Item("STr1", "magn", &refCon, 4),
                            Item("NMsg", "TEXT", message.data(), message.size())};
  GVariant* event =
      g_variant_new("(@a(u(uv))@a(u(uv)))", g_variant_new_array(nullptr, attributes, 2),
                    g_variant_new_array(nullptr, parameters, 2));
  GVariant* argument = g_variant_new("(uv)", QXFourCC("aevt"), event);
  return g_variant_new_tuple(&argument, 1);
}

bool SendStatusEvent(GDBusConnection* bus, const std::string& hostName, uint32_t refCon,
                     const std::string& message, int timeoutMs) {
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      bus, hostName.c_str(), "/com/quorvex/AppleEvents", "com.quorvex.AppleEvents", "Event",
      StatusEventArguments(refCon, message), nullptr, G_DBUS_CALL_FLAGS_NONE, timeoutMs, nullptr,
      &error);
  if (reply == nullptr)
    ADD_FAILURE() << "status event not delivered: " << error->message;
  return reply != nullptr;
}
