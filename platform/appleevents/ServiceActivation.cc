#include "platform/appleevents/ServiceActivation.h"

QXServiceActivation::QXServiceActivation(GDBusConnection* bus, const char* name)
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

QXServiceActivation::~QXServiceActivation() {
  g_cancellable_cancel(mCancellable.get());
  // The callback refers to this object: let it run before going.
  while (!mAnswered)
    g_main_context_iteration(mContext.get(), TRUE);
}

void QXServiceActivation::OnAnswer(GObject* bus, GAsyncResult* result, gpointer data) {
  auto* self = static_cast<QXServiceActivation*>(data);
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
  self->mStarted = reply != nullptr;
  if (reply == nullptr) {
    g_autofree char* remote = g_dbus_error_get_remote_error(error);
    g_dbus_error_strip_remote_error(error);
    self->mErrorName = remote != nullptr ? remote : "";
    self->mErrorMessage = error->message;
  }
  self->mAnswered = true;
}

bool QXServiceActivation::Wait(int timeoutMs) {
  if (mAnswered)
    return true;
  bool timedOut = false;
  GSource* timeout = g_timeout_source_new(static_cast<guint>(timeoutMs));
  g_source_set_callback(
      timeout,
      [](gpointer flag) {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &timedOut, nullptr);
  g_source_attach(timeout, mContext.get());
  while (!mAnswered && !timedOut)
    g_main_context_iteration(mContext.get(), TRUE);
  g_source_destroy(timeout);
  g_source_unref(timeout);
  return mAnswered;
}
