#include "tools/desktop/PrivateBus.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

BusConnection ConnectToBus(const std::string& address) {
  return BusConnection(g_dbus_connection_new_for_address_sync(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr));
}

GVariant* CallDaemon(GDBusConnection* bus, const char* method, GVariant* arguments) {
  return g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", method, arguments, nullptr,
                                     G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
}

bool OwnName(GDBusConnection* bus, const char* name) {
  constexpr guint32 kDoNotQueue = 4, kPrimaryOwner = 1, kAlreadyOwner = 4;
  g_autoptr(GVariant) reply =
      CallDaemon(bus, "RequestName", g_variant_new("(su)", name, kDoNotQueue));
  guint32 result = 0;
  if (reply != nullptr)
    g_variant_get(reply, "(u)", &result);
  return result == kPrimaryOwner || result == kAlreadyOwner;
}

PrivateBus::PrivateBus() {
  char pattern[] = "/tmp/qx-bus-XXXXXX";
  if (mkdtemp(pattern) == nullptr)
    return;
  mRoot = pattern;
  std::filesystem::create_directories(mRoot + "/services");
  // The limits far above what a client sends, so that only the host's show.
  std::ofstream(mRoot + "/bus.conf")
      << "<busconfig><type>session</type><keep_umask/><listen>unix:path=" << mRoot
      << "/socket</listen><auth>EXTERNAL</auth><servicedir>" << mRoot
      << "/services</servicedir><policy context=\"default\"><allow send_destination=\"*\" "
         "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
         "<limit name=\"max_incoming_bytes\">1000000000</limit><limit name="
         "\"max_outgoing_bytes\">1000000000</limit><limit name=\"max_message_size\">"
         "1000000000</limit><limit name=\"service_start_timeout\">120000</limit></busconfig>\n";
  mAddress = StartReporting(mDaemon,
                            {"dbus-daemon", "--config-file=" + mRoot + "/bus.conf", "--nofork",
                             "--nopidfile", "--print-address=3"},
                            {}, mRoot + "/address", 10000);
  if (!mAddress.empty())
    mConnection = ConnectToBus(mAddress);
}

PrivateBus::~PrivateBus() {
  mConnection.reset();
  mDaemon.reset();
  std::error_code ignored;
  if (!mRoot.empty())
    std::filesystem::remove_all(mRoot, ignored);
}

bool PrivateBus::InstallService(const std::string& name, const std::vector<std::string>& exec) {
  // The daemon splits the Exec line like a shell: every word quoted.
  std::string command;
  for (const auto& word : exec) {
    g_autofree char* quoted = g_shell_quote(word.c_str());
    command += (command.empty() ? "" : " ") + std::string(quoted);
  }
  std::ofstream(mRoot + "/services/" + name + ".service")
      << "[D-BUS Service]\nName=" << name << "\nExec=" << command << "\n";
  g_autoptr(GVariant) reloaded = CallDaemon(Connection(), "ReloadConfig", nullptr);
  return reloaded != nullptr;
}

std::string PrivateBus::NameOwner(const std::string& name) {
  g_autoptr(GVariant) owner =
      CallDaemon(Connection(), "GetNameOwner", g_variant_new("(s)", name.c_str()));
  const char* unique = "";
  if (owner != nullptr)
    g_variant_get(owner, "(&s)", &unique);
  return unique;
}

pid_t PrivateBus::NameOwnerPid(const std::string& name) {
  g_autoptr(GVariant) reply =
      CallDaemon(Connection(), "GetConnectionUnixProcessID", g_variant_new("(s)", name.c_str()));
  guint32 pid = 0;
  if (reply != nullptr)
    g_variant_get(reply, "(u)", &pid);
  return static_cast<pid_t>(pid);
}
