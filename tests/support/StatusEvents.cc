#include "tests/support/StatusEvents.h"

#include <gtest/gtest.h>

#include "tests/support/HostProcess.h"

namespace {

constexpr uint32_t FourCC(const char (&code)[5]) {
  return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
         (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

// One keyed descriptor item of the event's wire form: (keyword, (type, <ay>)).
GVariant* Item(const char (&keyword)[5], const char (&type)[5], const void* data, size_t size) {
  GVariant* bytes = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, data, size, 1);
  return g_variant_new("(u(uv))", FourCC(keyword), FourCC(type), bytes);
}

// A call to the bus daemon itself; null when it failed.
GVariant* CallDaemon(GDBusConnection* bus, const char* method, GVariant* arguments,
                     const char* replyType, GError** error = nullptr) {
  return g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
      arguments, G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, error);
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

pid_t NameOwnerPid(GDBusConnection* bus, const std::string& name) {
  g_autoptr(GVariant) reply =
      CallDaemon(bus, "GetConnectionUnixProcessID", g_variant_new("(s)", name.c_str()), "(u)");
  guint32 pid = 0;
  if (reply != nullptr)
    g_variant_get(reply, "(u)", &pid);
  return static_cast<pid_t>(pid);
}

std::string UniqueNameOfProcess(GDBusConnection* bus, pid_t pid, int timeoutMs) {
  const gint64 deadline = g_get_monotonic_time() + gint64{timeoutMs} * 1000;
  do {
    g_autoptr(GVariant) names = CallDaemon(bus, "ListNames", nullptr, "(as)");
    g_autoptr(GVariantIter) iter = nullptr;
    if (names != nullptr)
      g_variant_get(names, "(as)", &iter);
    for (const char* name = nullptr; iter != nullptr && g_variant_iter_next(iter, "&s", &name);)
      if (name[0] == ':' && NameOwnerPid(bus, name) == pid)
        return name;
    g_usleep(10000);
  } while (g_get_monotonic_time() < deadline);
  return "";
}

bool OwnAssistantName(GDBusConnection* bus) {
  constexpr guint32 kDoNotQueue = 4, kPrimaryOwner = 1, kAlreadyOwner = 4;
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) reply =
      CallDaemon(bus, "RequestName", g_variant_new("(su)", "com.quorvex.Assistant", kDoNotQueue),
                 "(u)", &error);
  guint32 result = 0;
  if (reply != nullptr)
    g_variant_get(reply, "(u)", &result);
  const bool owned = result == kPrimaryOwner || result == kAlreadyOwner;
  if (!owned)
    ADD_FAILURE() << "com.quorvex.Assistant not owned: "
                  << (error != nullptr ? error->message : "taken by another connection");
  return owned;
}

GVariant* StatusEventArguments(uint32_t refCon, const std::string& message) {
  const uint32_t eventClass = FourCC("Laso"), eventID = FourCC("assS");
  GVariant* attributes[] = {Item("evcl", "type", &eventClass, 4),
                            Item("evid", "type", &eventID, 4)};
  GVariant* parameters[] = {Item("STr1", "magn", &refCon, 4),
                            Item("NMsg", "TEXT", message.data(), message.size())};
  GVariant* event =
      g_variant_new("(@a(u(uv))@a(u(uv)))", g_variant_new_array(nullptr, attributes, 2),
                    g_variant_new_array(nullptr, parameters, 2));
  GVariant* argument = g_variant_new("(uv)", FourCC("aevt"), event);
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
