// A private D-Bus session bus for a test: its own dbus-daemon whose
// activatable services are the .service files the test installs, so a test
// decides exactly which programs the bus can start. Not GTestDBus: that one
// leaves what the bus started running, where here the whole process group of
// the daemon ends with it.
#pragma once

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/types.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
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

// A call to the bus daemon itself; null when it failed.
inline GVariant* CallDaemon(GDBusConnection* bus, const char* method, GVariant* arguments) {
  return g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", method, arguments, nullptr,
                                     G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
}

// Makes `bus` the owner of com.quorvex.Assistant (taken from nobody: no
// queueing, no replacing), since the host hears status events only from the
// connection that owns it; false (and a test failure) when it is not now.
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

class SessionBus {
 public:
  SessionBus() {
    char pattern[] = "/tmp/qx-bus-XXXXXX";
    mRoot = mkdtemp(pattern) != nullptr ? pattern : "";
    std::filesystem::create_directories(mRoot + "/services");
    // The limits far above what a test sends, so that only the host's show.
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
    EXPECT_TRUE(Ok()) << "the private session bus did not start";
  }
  ~SessionBus() {
    mConnection.reset();
    mDaemon.reset();
    std::error_code ignored;
    std::filesystem::remove_all(mRoot, ignored);
  }
  SessionBus(const SessionBus&) = delete;
  SessionBus& operator=(const SessionBus&) = delete;

  bool Ok() const { return mConnection != nullptr; }
  const std::string& Address() const { return mAddress; }
  // The test's own connection to this bus.
  GDBusConnection* Connection() { return mConnection.get(); }

  // Makes `name` activatable: writes its .service file running `exec` and has
  // the daemon read it. False (and a test failure) when that did not work.
  bool InstallService(const std::string& name, const std::vector<std::string>& exec) {
    // The daemon splits the Exec line like a shell: every word quoted.
    std::string command;
    for (const auto& word : exec) {
      g_autofree char* quoted = g_shell_quote(word.c_str());
      command += (command.empty() ? "" : " ") + std::string(quoted);
    }
    std::ofstream(mRoot + "/services/" + name + ".service")
        << "[D-BUS Service]\nName=" << name << "\nExec=" << command << "\n";
    g_autoptr(GVariant) reloaded = CallDaemon(Connection(), "ReloadConfig", nullptr);
    EXPECT_NE(reloaded, nullptr) << "the bus did not read " << name;
    return reloaded != nullptr;
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
  // The process of the connection with the bus name `name`; 0 when none has it.
  pid_t NameOwnerPid(const std::string& name) {
    g_autoptr(GVariant) reply =
        CallDaemon(Connection(), "GetConnectionUnixProcessID", g_variant_new("(s)", name.c_str()));
    guint32 pid = 0;
    if (reply != nullptr)
      g_variant_get(reply, "(u)", &pid);
    return static_cast<pid_t>(pid);
  }

 private:
  std::string mRoot;
  std::string mAddress;
  std::optional<Child> mDaemon;
  BusConnection mConnection;
};
