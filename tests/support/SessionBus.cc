#include "tests/support/SessionBus.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "tests/support/ChildProcess.h"

SessionBus::SessionBus(const std::map<std::string, std::string>& environment,
                       int serviceStartTimeoutMs) {
  char pattern[] = "/tmp/qx-bus-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed";
    return;
  }
  mRoot = pattern;
  mDataDir = mRoot + "/data";
  std::filesystem::create_directories(mDataDir + "/dbus-1/services");
  std::ofstream(mRoot + "/bus.conf")
      << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig><type>session</type><keep_umask/>\n"
      << "<listen>unix:path=" << mRoot << "/socket</listen><auth>EXTERNAL</auth>\n"
      << "<servicedir>" << mDataDir << "/dbus-1/services</servicedir>\n"
      << "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
         "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>\n"
         // Far above what a test sends, so that only the host's own limits show.
         "<limit name=\"max_incoming_bytes\">1000000000</limit>\n"
         "<limit name=\"max_outgoing_bytes\">1000000000</limit>\n"
         "<limit name=\"max_message_size\">1000000000</limit>\n"
      << "<limit name=\"service_start_timeout\">" << serviceStartTimeoutMs << "</limit>\n"
      << "</busconfig>\n";
  mPid = StartBusDaemon({"--config-file=" + mRoot + "/bus.conf"}, environment, 10000, mAddress);
  if (!Ok())
    ADD_FAILURE() << "the private session bus did not start";
}

SessionBus::~SessionBus() {
  mConnection.reset();
  // The services it started are in its process group.
  StopChild(mPid);
  std::error_code ignored;
  if (!mRoot.empty())
    std::filesystem::remove_all(mRoot, ignored);
}

void BusConnectionClose::operator()(GDBusConnection* bus) const {
  g_dbus_connection_close_sync(bus, nullptr, nullptr);
  g_object_unref(bus);
}

BusConnection ConnectToBus(const std::string& address) {
  g_autoptr(GError) error = nullptr;
  BusConnection bus(g_dbus_connection_new_for_address_sync(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error));
  EXPECT_NE(bus, nullptr) << address << ": " << error->message;
  return bus;
}

bool SessionBus::InstallService(const std::string& name, const std::vector<std::string>& exec) {
  // The daemon splits the Exec line like a shell: every word single-quoted.
  std::string command;
  for (const auto& word : exec) {
    command += command.empty() ? "'" : " '";
    for (char c : word)
      command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += "'";
  }
  std::ofstream(mDataDir + "/dbus-1/services/" + name + ".service")
      << "[D-BUS Service]\nName=" << name << "\nExec=" << command << "\n";
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) reloaded = CallDaemon("ReloadConfig", nullptr, &error);
  EXPECT_NE(reloaded, nullptr) << (error != nullptr ? error->message : "no connection");
  return reloaded != nullptr;
}

GDBusConnection* SessionBus::Connection() {
  if (mConnection == nullptr && Ok())
    mConnection = ConnectToBus(mAddress);
  return mConnection.get();
}

GVariant* SessionBus::CallDaemon(const char* method, GVariant* arguments, GError** error) {
  GDBusConnection* bus = Connection();
  if (bus == nullptr) {
    if (arguments != nullptr)
      g_variant_unref(g_variant_ref_sink(arguments));
    return nullptr;
  }
  return g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", method, arguments, nullptr,
                                     G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, error);
}

std::string SessionBus::NameOwner(const std::string& name) {
  g_autoptr(GVariant) owner = CallDaemon("GetNameOwner", g_variant_new("(s)", name.c_str()));
  const char* unique = "";
  if (owner != nullptr)
    g_variant_get(owner, "(&s)", &unique);
  return unique;
}

bool SessionBus::WaitForName(const std::string& name, int timeoutMs) {
  return PollUntil(timeoutMs, [&] { return !NameOwner(name).empty(); });
}
