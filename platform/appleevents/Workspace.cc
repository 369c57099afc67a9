#include "platform/appleevents/Workspace.h"

#include <gio/gio.h>

#include <cstring>

#include "platform/appleevents/BusConnection.h"
#include "platform/appleevents/Processes.h"

namespace {

GVariant* CallBus(GDBusConnection* bus, const char* method, GVariant* arguments,
                  const char* replyType, GError** error = nullptr) {
  return g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", method, arguments,
                                     G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NONE,
                                     kQXBusCallTimeoutMs, nullptr, error);
}

bool IsApplicationName(const char* name) {
  return name[0] != ':' && std::strcmp(name, "org.freedesktop.DBus") != 0;
}

OSErr Owner(const char* uniqueName, ProcessSerialNumber* psn) {
  *psn = QXProcessSerialNumberFromBusName(uniqueName);
  return psn->lowLongOfPSN != kNoProcess ? noErr : procNotFound;
}

}  // namespace

// One D-Bus activation (StartServiceByName), answered on a main context of
// its own: waiting for it runs nothing else of the process. The bus answers
// once the service owns its name, or as soon as it knows the start failed.
class QXWorkspace::Launch {
 public:
  Launch(GDBusConnection* bus, const char* name)
      : mContext(g_main_context_new(), g_main_context_unref),
        mCancellable(g_cancellable_new(), g_object_unref) {
    g_main_context_push_thread_default(mContext.get());
    // No timeout of our own: the caller bounds the wait, the bus the start.
    g_dbus_connection_call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "StartServiceByName",
                           g_variant_new("(su)", name, 0u), G_VARIANT_TYPE("(u)"),
                           G_DBUS_CALL_FLAGS_NONE, G_MAXINT, mCancellable.get(), OnAnswer, this);
    g_main_context_pop_thread_default(mContext.get());
  }
  Launch(const Launch&) = delete;
  Launch& operator=(const Launch&) = delete;
  ~Launch() {
    g_cancellable_cancel(mCancellable.get());
    // The callback refers to this object: let it run before going.
    while (!mAnswered)
      g_main_context_iteration(mContext.get(), TRUE);
  }

  // Runs the own context until the bus has answered or `timeoutMs` passed.
  void Wait(int timeoutMs) {
    bool timedOut = false;
    std::unique_ptr<GSource, void (*)(GSource*)> timeout(
        g_timeout_source_new(static_cast<guint>(timeoutMs)), [](GSource* source) {
          g_source_destroy(source);
          g_source_unref(source);
        });
    g_source_set_callback(
        timeout.get(),
        [](gpointer flag) {
          *static_cast<bool*>(flag) = true;
          return G_SOURCE_REMOVE;
        },
        &timedOut, nullptr);
    g_source_attach(timeout.get(), mContext.get());
    while (!mAnswered && !timedOut)
      g_main_context_iteration(mContext.get(), TRUE);
  }

  bool mAnswered = false;
  bool mStarted = false;
  // When it did not start: the bus's error name (empty for a local
  // failure) and message.
  std::string mErrorName;
  std::string mErrorMessage;

 private:
  static void OnAnswer(GObject* bus, GAsyncResult* result, gpointer data) {
    auto* self = static_cast<Launch*>(data);
    g_autoptr(GError) error = nullptr;
    g_autoptr(GVariant) reply =
        g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
    self->mStarted = reply != nullptr;
    if (reply == nullptr) {
      g_autofree char* remote = g_dbus_error_get_remote_error(error);
      g_dbus_error_strip_remote_error(error);
      self->mErrorName = remote != nullptr ? remote : "";
      self->mErrorMessage = error->message;
    }
    self->mAnswered = true;
  }

  std::unique_ptr<GMainContext, void (*)(GMainContext*)> mContext;
  std::unique_ptr<GCancellable, void (*)(gpointer)> mCancellable;
};

// Follows the owner of one well-known name from the bus's NameOwnerChanged
// signals. They are dispatched on the main context in the order the
// connection received them, between the method calls that came before and
// after, so while a call is handled the owner is the one the bus had when it
// sent that call on.
class QXWorkspace::OwnerWatch {
 public:
  OwnerWatch(GDBusConnection* bus, const char* name) : mBus(bus), mName(name) {
    // The answers must come on the default context, in line with the method
    // calls dispatched there, whatever context the caller runs.
    g_main_context_push_thread_default(nullptr);
    mId = g_bus_watch_name_on_connection(
        bus, name, G_BUS_NAME_WATCHER_FLAGS_NONE,
        [](GDBusConnection*, const char*, const char* owner, gpointer self) {
          static_cast<OwnerWatch*>(self)->Answer(owner);
        },
        [](GDBusConnection*, const char*, gpointer self) {
          static_cast<OwnerWatch*>(self)->Answer("");
        },
        this, nullptr);
    g_main_context_pop_thread_default(nullptr);
  }
  OwnerWatch(const OwnerWatch&) = delete;
  OwnerWatch& operator=(const OwnerWatch&) = delete;
  ~OwnerWatch() { g_bus_unwatch_name(mId); }

  // The watch keeps its connection alive, so the pointer names it alone.
  bool Watches(GDBusConnection* bus, const char* name) const {
    return bus == mBus && mName == name;
  }

  GDBusConnection* const mBus;
  const std::string mName;
  bool mAnswered = false;
  // Empty when nobody owns the name (or the connection has closed).
  std::string mOwner;

 private:
  void Answer(const char* owner) {
    mOwner = owner;
    mAnswered = true;
  }

  guint mId = 0;
};

QXWorkspace::QXWorkspace() = default;
QXWorkspace::~QXWorkspace() = default;

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

OSErr QXWorkspace::processSerialNumberOfWatchedApplication(const char* bundleIdentifier,
                                                           ProcessSerialNumber* psn) {
  if (psn == nullptr || bundleIdentifier == nullptr)
    return paramErr;
  *psn = ProcessSerialNumber{0, 0};
  GDBusConnection* bus = QXSessionBus();
  if (bus == nullptr)
    return connectionInvalid;
  // A replaced connection's watch speaks of the bus it was on.
  if (mWatch == nullptr || !mWatch->Watches(bus, bundleIdentifier)) {
    mWatch.reset();
    mWatch = std::make_unique<OwnerWatch>(bus, bundleIdentifier);
  }
  if (mWatch->mAnswered)
    return Owner(mWatch->mOwner.c_str(), psn);
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) owner =
      CallBus(bus, "GetNameOwner", g_variant_new("(s)", bundleIdentifier), "(s)", &error);
  if (owner == nullptr) {
    return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ? procNotFound
                                                                                : connectionInvalid;
  }
  const char* uniqueName = nullptr;
  g_variant_get(owner, "(&s)", &uniqueName);
  return Owner(uniqueName, psn);
}

bool QXWorkspace::launchAppWithBundleIdentifier(const char* bundleIdentifier, unsigned long,
                                                const AEDesc*, void*) {
  GDBusConnection* bus = QXSessionBus();
  if (bus == nullptr || bundleIdentifier == nullptr)
    return false;
  g_autoptr(GVariant) activatable = CallBus(bus, "ListActivatableNames", nullptr, "(as)");
  if (activatable == nullptr)
    return false;
  g_autoptr(GVariant) list = g_variant_get_child_value(activatable, 0);
  g_autofree const char** names = g_variant_get_strv(list, nullptr);
  if (!g_strv_contains(names, bundleIdentifier))
    return false;
  mLaunch.reset();
  mLaunch = std::make_unique<Launch>(bus, bundleIdentifier);
  return true;
}

OSErr QXWorkspace::waitForLaunch(int timeoutMs, std::string* reason) {
  // Answered already, the name is owned and the next look finds it; if the
  // last look did not, the interval is waited out, so the caller does not spin.
  if (mLaunch == nullptr || (mLaunch->mAnswered && mLaunch->mStarted)) {
    g_usleep(gulong(timeoutMs) * 1000);
    return noErr;
  }
  mLaunch->Wait(timeoutMs);
  if (!mLaunch->mAnswered || mLaunch->mStarted)
    return noErr;
  *reason = mLaunch->mErrorMessage;
  return mLaunch->mErrorName == "org.freedesktop.DBus.Error.TimedOut" ? errAETimeout : procNotFound;
}
