#include "platform/appleevents/Workspace.h"

#include <cstring>

#include "platform/appleevents/BusConnection.h"
#include "platform/appleevents/Processes.h"

namespace {

GVariant* CallBus(GDBusConnection* bus, const char* method, GVariant* arguments,
                  const char* replyType) {
  return g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", method, arguments,
                                     G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NONE,
                                     kQXBusCallTimeoutMs, nullptr, nullptr);
}

bool IsApplicationName(const char* name) {
  return name[0] != ':' && std::strcmp(name, "org.freedesktop.DBus") != 0;
}

}  // namespace

QXWorkspace& QXWorkspace::sharedWorkspace() {
  static QXWorkspace sWorkspace;
  return sWorkspace;
}

std::vector<QXLaunchedApplication> QXWorkspace::launchedApplications() {
  std::vector<QXLaunchedApplication> applications;
  GDBusConnection* bus = QXSessionBus();
  if (bus == nullptr)
    return applications;
  g_autoptr(GVariant) names = CallBus(bus, "ListNames", nullptr, "(as)");
  if (names == nullptr)
    return applications;
  g_autoptr(GVariantIter) iter = nullptr;
  g_variant_get(names, "(as)", &iter);
  const char* name = nullptr;
  while (g_variant_iter_next(iter, "&s", &name)) {
    if (!IsApplicationName(name))
      continue;
    // A name may lose its owner between the two calls; it is then not running.
    g_autoptr(GVariant) owner = CallBus(bus, "GetNameOwner", g_variant_new("(s)", name), "(s)");
    if (owner == nullptr)
      continue;
    const char* uniqueName = nullptr;
    g_variant_get(owner, "(&s)", &uniqueName);
    ProcessSerialNumber psn = QXProcessSerialNumberFromBusName(uniqueName);
    applications.push_back({name, psn.highLongOfPSN, psn.lowLongOfPSN});
  }
  return applications;
}

OSErr QXWorkspace::processSerialNumberOfApplication(const char* bundleIdentifier,
                                                    ProcessSerialNumber* psn) {
  if (psn == nullptr || bundleIdentifier == nullptr)
    return paramErr;
  *psn = ProcessSerialNumber{0, 0};
  GDBusConnection* bus = QXSessionBus();
  if (bus == nullptr)
    return connectionInvalid;
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) owner = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetNameOwner",
      g_variant_new("(s)", bundleIdentifier), G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE,
      kQXBusCallTimeoutMs, nullptr, &error);
  if (owner == nullptr) {
    return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ? procNotFound
                                                                                : connectionInvalid;
  }
  const char* uniqueName = nullptr;
  g_variant_get(owner, "(&s)", &uniqueName);
  *psn = QXProcessSerialNumberFromBusName(uniqueName);
  return psn->lowLongOfPSN != kNoProcess ? noErr : procNotFound;
}

OSErr QXWorkspace::processSerialNumberOfWatchedApplication(const char* bundleIdentifier,
                                                           ProcessSerialNumber* psn) {
  if (psn == nullptr || bundleIdentifier == nullptr)
    return paramErr;
  GDBusConnection* bus = QXSessionBus();
  std::unique_ptr<QXNameOwnerWatch>& watch = mWatches[bundleIdentifier];
  // A replaced connection's watch speaks of the bus it was on.
  if (watch != nullptr && watch->connection() != bus)
    watch.reset();
  if (watch == nullptr && bus != nullptr)
    watch = std::make_unique<QXNameOwnerWatch>(bus, bundleIdentifier);
  if (watch == nullptr || !watch->answered())
    return processSerialNumberOfApplication(bundleIdentifier, psn);
  *psn = QXProcessSerialNumberFromBusName(watch->owner().c_str());
  return psn->lowLongOfPSN != kNoProcess ? noErr : procNotFound;
}

bool QXWorkspace::launchAppWithBundleIdentifier(const char* bundleIdentifier, unsigned long,
                                                const AEDesc*, void*) {
  GDBusConnection* bus = QXSessionBus();
  if (bus == nullptr || bundleIdentifier == nullptr)
    return false;
  g_autoptr(GVariant) activatable = CallBus(bus, "ListActivatableNames", nullptr, "(as)");
  if (activatable == nullptr)
    return false;
  g_autofree const char** names = nullptr;
  g_autoptr(GVariant) list = g_variant_get_child_value(activatable, 0);
  names = g_variant_get_strv(list, nullptr);
  if (!g_strv_contains(names, bundleIdentifier))
    return false;
  mLaunch.reset();
  mLaunch = std::make_unique<QXServiceActivation>(bus, bundleIdentifier);
  return true;
}

OSErr QXWorkspace::waitForLaunch(int timeoutMs, std::string* reason) {
  if (mLaunch == nullptr) {
    g_usleep(gulong(timeoutMs) * 1000);
    return noErr;
  }
  bool known = mLaunch->answered();
  if (!mLaunch->Wait(timeoutMs))
    return noErr;
  if (mLaunch->started()) {
    // The name is owned now, so the next look finds it; if that look did
    // not, the interval is waited out, so that the caller does not spin.
    if (known)
      g_usleep(gulong(timeoutMs) * 1000);
    return noErr;
  }
  *reason = mLaunch->errorMessage();
  return mLaunch->errorName() == "org.freedesktop.DBus.Error.TimedOut" ? errAETimeout
                                                                       : procNotFound;
}
