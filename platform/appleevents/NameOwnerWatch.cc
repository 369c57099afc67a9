#include "platform/appleevents/NameOwnerWatch.h"

QXNameOwnerWatch::QXNameOwnerWatch(GDBusConnection* connection, const char* name)
    : mConnection(connection) {
  // The answers must come on the default context, in line with the method
  // calls dispatched there, whatever context the caller runs.
  g_main_context_push_thread_default(nullptr);
  mId = g_bus_watch_name_on_connection(connection, name, G_BUS_NAME_WATCHER_FLAGS_NONE, OnAppeared,
                                       OnVanished, this, nullptr);
  g_main_context_pop_thread_default(nullptr);
}

QXNameOwnerWatch::~QXNameOwnerWatch() {
  g_bus_unwatch_name(mId);
}

void QXNameOwnerWatch::OnAppeared(GDBusConnection*, const char*, const char* owner,
                                  gpointer watch) {
  auto* self = static_cast<QXNameOwnerWatch*>(watch);
  self->mOwner = owner;
  self->mAnswered = true;
}

void QXNameOwnerWatch::OnVanished(GDBusConnection*, const char*, gpointer watch) {
  auto* self = static_cast<QXNameOwnerWatch*>(watch);
  self->mOwner.clear();
  self->mAnswered = true;
}
