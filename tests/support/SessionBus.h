// A private D-Bus session bus for a test: its own dbus-daemon whose
// activatable services are the .service files under DataDir()/dbus-1/services,
// so a test decides exactly which programs the bus can start. Everything the
// bus started ends with it.
#pragma once

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

// Closes the connection before dropping it, so the bus sees it gone at once.
struct BusConnectionClose {
  void operator()(GDBusConnection* bus) const {
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
  }
};
using BusConnection = std::unique_ptr<GDBusConnection, BusConnectionClose>;

// A connection of the test's own to the bus at `address`; null (and a test
// failure) when it cannot be made.
inline BusConnection ConnectToBus(const std::string& address) {
  g_autoptr(GError) error = nullptr;
  BusConnection bus(g_dbus_connection_new_for_address_sync(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, &error));
  EXPECT_NE(bus, nullptr) << address << ": " << error->message;
  return bus;
}

// A call to the bus daemon itself; null when it failed or `bus` is null.
inline GVariant* CallDaemon(GDBusConnection* bus, const char* method, GVariant* arguments,
                            GError** error = nullptr) {
  if (bus == nullptr) {
    if (arguments != nullptr)
      g_variant_unref(g_variant_ref_sink(arguments));
    return nullptr;
  }
  return g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", method, arguments, nullptr,
                                     G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, error);
}

class SessionBus {
 public:
  SessionBus() {
    char pattern[] = "/tmp/qx-bus-XXXXXX";
    mRoot = mkdtemp(pattern) != nullptr ? pattern : "";
    mDataDir = mRoot + "/data";
    std::filesystem::create_directories(mDataDir + "/dbus-1/services");
    // The limits far above what a test sends, so that only the host's show.
    std::ofstream(mRoot + "/bus.conf")
        << "<busconfig><type>session</type><keep_umask/><listen>unix:path=" << mRoot
        << "/socket</listen><auth>EXTERNAL</auth><servicedir>" << mDataDir
        << "/dbus-1/services</servicedir><policy context=\"default\"><allow send_destination="
           "\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
           "<limit name=\"max_incoming_bytes\">1000000000</limit><limit name="
           "\"max_outgoing_bytes\">1000000000</limit><limit name=\"max_message_size\">"
           "1000000000</limit><limit name=\"service_start_timeout\">120000</limit></busconfig>\n";
    mPid = StartBusDaemon({"--config-file=" + mRoot + "/bus.conf"}, {}, 10000, mAddress);
    EXPECT_TRUE(Ok()) << "the private session bus did not start";
  }
  ~SessionBus() {
    mConnection.reset();
    StopChild(mPid);  // and the services it started, in its process group
    std::error_code ignored;
    std::filesystem::remove_all(mRoot, ignored);
  }

  SessionBus(const SessionBus&) = delete;
  SessionBus& operator=(const SessionBus&) = delete;

  bool Ok() const { return mPid > 0; }
  const std::string& Address() const { return mAddress; }
  // The private XDG data folder that holds dbus-1/services.
  const std::string& DataDir() const { return mDataDir; }

  // Makes `name` activatable: writes its .service file running `exec` and has
  // the daemon read it. False (and a test failure) when that did not work.
  bool InstallService(const std::string& name, const std::vector<std::string>& exec) {
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
    g_autoptr(GVariant) reloaded = CallDaemon(Connection(), "ReloadConfig", nullptr);
    EXPECT_NE(reloaded, nullptr) << "the bus did not read " << name;
    return reloaded != nullptr;
  }

  // The test's own connection to this bus (made on first use, owned here).
  GDBusConnection* Connection() {
    if (mConnection == nullptr && Ok())
      mConnection = ConnectToBus(mAddress);
    return mConnection.get();
  }
  // Polls until `name` has an owner (true) or `timeoutMs` passed (false).
  bool WaitForName(const std::string& name, int timeoutMs) {
    return PollUntil(timeoutMs, [&] { return !NameOwner(name).empty(); });
  }
  // The unique name owning `name`, or empty.
  std::string NameOwner(const std::string& name) {
    g_autoptr(GVariant) owner =
        CallDaemon(Connection(), "GetNameOwner", g_variant_new("(s)", name.c_str()));
    const char* unique = "";
    if (owner != nullptr)
      g_variant_get(owner, "(&s)", &unique);
    return unique;
  }

 private:
  std::string mRoot;
  std::string mDataDir;
  std::string mAddress;
  pid_t mPid = -1;
  BusConnection mConnection;
};
