// A private D-Bus session bus: its own dbus-daemon whose activatable services
// are the .service files installed into it, so that exactly the programs
// chosen can be started by the bus. Not GTestDBus: that one leaves what the
// bus started running, where here the whole process group of the daemon ends
// with it.
#pragma once

#include <gio/gio.h>
#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/desktop/Spawn.h"

// Closes the connection before dropping it, so the bus sees it gone at once.
struct BusConnectionClose {
  void operator()(GDBusConnection* bus) const {
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
  }
};
using BusConnection = std::unique_ptr<GDBusConnection, BusConnectionClose>;

// A new connection to the bus at `address`; null when it cannot be made.
BusConnection ConnectToBus(const std::string& address);

// A call to the bus daemon itself; null when it failed.
GVariant* CallDaemon(GDBusConnection* bus, const char* method, GVariant* arguments);

// Makes `bus` the owner of `name`, taken from nobody (no queueing, no
// replacing); false when it is not the owner now.
bool OwnName(GDBusConnection* bus, const char* name);

class PrivateBus {
 public:
  PrivateBus();
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  bool Ok() const { return mConnection != nullptr; }
  const std::string& Address() const { return mAddress; }
  // This process's own connection to the bus.
  GDBusConnection* Connection() { return mConnection.get(); }

  // Makes `name` activatable: writes its .service file running `exec` and has
  // the daemon read it. False when that did not work.
  bool InstallService(const std::string& name, const std::vector<std::string>& exec);

  // The unique name owning `name`, or empty.
  std::string NameOwner(const std::string& name);
  // The process of the connection with the bus name `name`; 0 when none has it.
  pid_t NameOwnerPid(const std::string& name);

 private:
  std::string mRoot;
  std::string mAddress;
  std::optional<Child> mDaemon;
  BusConnection mConnection;
};
