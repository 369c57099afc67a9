// A private D-Bus session bus for a test: its own dbus-daemon whose
// activatable services are the .service files under DataDir()/dbus-1/services,
// so a test decides exactly which programs the bus can start. Everything the
// bus started ends with it.
#pragma once

#include <gio/gio.h>
#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

// Closes the connection before dropping it, so the bus sees it gone at once.
struct BusConnectionClose {
  void operator()(GDBusConnection* bus) const;
};
using BusConnection = std::unique_ptr<GDBusConnection, BusConnectionClose>;

// A connection of the test's own to the bus at `address`; null (and a test
// failure) when it cannot be made.
BusConnection ConnectToBus(const std::string& address);

class SessionBus {
 public:
  // `environment` is added to the daemon's, and so to every service it
  // starts. A service that has not taken its name after
  // `serviceStartTimeoutMs` is killed, and its start reported failed.
  explicit SessionBus(const std::map<std::string, std::string>& environment = {},
                      int serviceStartTimeoutMs = 120000);
  ~SessionBus();

  SessionBus(const SessionBus&) = delete;
  SessionBus& operator=(const SessionBus&) = delete;

  bool Ok() const { return mPid > 0; }
  const std::string& Address() const { return mAddress; }
  // The private XDG data folder that holds dbus-1/services.
  const std::string& DataDir() const { return mDataDir; }

  // Makes `name` activatable: writes its .service file running `exec` and has
  // the daemon read it. False (and a test failure) when that did not work.
  bool InstallService(const std::string& name, const std::vector<std::string>& exec);

  // The test's own connection to this bus (made on first use, owned here).
  GDBusConnection* Connection();
  // Polls until `name` has an owner (true) or `timeoutMs` passed (false).
  bool WaitForName(const std::string& name, int timeoutMs);
  // The unique name owning `name`, or empty.
  std::string NameOwner(const std::string& name);

 private:
  // A call to the daemon itself on the test's connection; null when it failed.
  GVariant* CallDaemon(const char* method, GVariant* arguments, GError** error = nullptr);

  std::string mRoot;
  std::string mDataDir;
  std::string mAddress;
  pid_t mPid = -1;
  BusConnection mConnection;
};
