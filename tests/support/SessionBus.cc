#include "tests/support/SessionBus.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/ChildProcess.h"

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kCallTimeoutMs = 5000;

std::string Config(const std::string& socket, const std::string& serviceDir,
                   int serviceStartTimeoutMs) {
  return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig>\n"
         "  <type>session</type>\n"
         "  <keep_umask/>\n"
         "  <listen>unix:path=" +
         socket +
         "</listen>\n"
         "  <auth>EXTERNAL</auth>\n"
         "  <servicedir>" +
         serviceDir +
         "</servicedir>\n"
         "  <policy context=\"default\">\n"
         "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
         "    <allow eavesdrop=\"true\"/>\n"
         "    <allow own=\"*\"/>\n"
         "  </policy>\n"
         "  <limit name=\"max_incoming_bytes\">1000000000</limit>\n"
         "  <limit name=\"max_outgoing_bytes\">1000000000</limit>\n"
         "  <limit name=\"max_message_size\">1000000000</limit>\n"
         "  <limit name=\"service_start_timeout\">" +
         std::to_string(serviceStartTimeoutMs) +
         "</limit>\n"
         "</busconfig>\n";
}

// Quoting for the Exec line of a .service file, which the daemon splits like a shell.
std::string Quote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

SessionBus::SessionBus(const std::map<std::string, std::string>& environment,
                       int serviceStartTimeoutMs) {
  char pattern[] = "/tmp/qx-bus-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    ADD_FAILURE() << "mkdtemp: " << strerror(errno);
    return;
  }
  mRoot = pattern;
  mDataDir = mRoot + "/data";
  std::filesystem::create_directories(mDataDir + "/dbus-1/services");
  const std::string config = mRoot + "/bus.conf";
  std::ofstream(config) << Config(mRoot + "/socket", mDataDir + "/dbus-1/services",
                                  serviceStartTimeoutMs);

  mPid = StartBusDaemon({"--config-file=" + config}, environment, kStartTimeoutMs, mAddress);
  if (mAddress.empty())
    ADD_FAILURE() << "the private session bus did not start";
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

SessionBus::~SessionBus() {
  mConnection.reset();
  // The services it started are in its process group.
  if (mPid > 0)
    kill(-mPid, SIGTERM);
  StopChild(mPid);
  if (mPid > 0)
    kill(-mPid, SIGKILL);
  if (!mRoot.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(mRoot, ignored);
  }
}

bool SessionBus::InstallService(const std::string& name, const std::vector<std::string>& exec) {
  std::string command;
  for (const auto& word : exec)
    command += (command.empty() ? "" : " ") + Quote(word);
  std::ofstream(mDataDir + "/dbus-1/services/" + name + ".service")
      << "[D-BUS Service]\nName=" << name << "\nExec=" << command << "\n";
  GDBusConnection* bus = Connection();
  if (bus == nullptr)
    return false;
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) reloaded = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "ReloadConfig",
      nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
  EXPECT_NE(reloaded, nullptr) << error->message;
  return reloaded != nullptr;
}

GDBusConnection* SessionBus::Connection() {
  if (mConnection == nullptr && Ok())
    mConnection = ConnectToBus(mAddress);
  return mConnection.get();
}

std::string SessionBus::NameOwner(const std::string& name) {
  GDBusConnection* bus = Connection();
  if (bus == nullptr)
    return "";
  g_autoptr(GVariant) owner = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetNameOwner",
      g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE,
      kCallTimeoutMs, nullptr, nullptr);
  if (owner == nullptr)
    return "";
  const char* unique = nullptr;
  g_variant_get(owner, "(&s)", &unique);
  return unique;
}

bool SessionBus::WaitForName(const std::string& name, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (NameOwner(name).empty()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
