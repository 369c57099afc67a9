// Follows the owner of one well-known name from the bus's NameOwnerChanged
// signals. They are dispatched on the main context in the order the
// connection received them, between the method calls that came before and
// after, so while a call is handled the owner is the one the bus had when
// it sent that call on.
#pragma once

#include <gio/gio.h>

#include <string>

class QXNameOwnerWatch {
 public:
  QXNameOwnerWatch(GDBusConnection* connection, const char* name);
  ~QXNameOwnerWatch();
  QXNameOwnerWatch(const QXNameOwnerWatch&) = delete;
  QXNameOwnerWatch& operator=(const QXNameOwnerWatch&) = delete;

  // Kept alive by the watch.
  GDBusConnection* connection() const { return mConnection; }
  // False until the bus's first answer has been dispatched.
  bool answered() const { return mAnswered; }
  // The owner's unique name; empty when nobody owns the name (or the
  // connection has closed).
  const std::string& owner() const { return mOwner; }

 private:
  static void OnAppeared(GDBusConnection*, const char*, const char* owner, gpointer watch);
  static void OnVanished(GDBusConnection*, const char*, gpointer watch);

  GDBusConnection* mConnection;
  guint mId = 0;
  bool mAnswered = false;
  std::string mOwner;
};
