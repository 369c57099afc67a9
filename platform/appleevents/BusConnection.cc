#include "platform/appleevents/BusConnection.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "AEBusInterface.h"

namespace {

GDBusConnection* sConnection = nullptr;
// The context the connection was made on, where it emits "closed": one of
// its own, so that waiting for the connection runs nothing else meanwhile.
GMainContext* sConnectionContext = nullptr;
guint sRegistration = 0;

void HandleMethodCall(GDBusConnection*, const char* sender, const char*, const char*, const char*,
                      GVariant* parameters, GDBusMethodInvocation* invocation, gpointer) {
  // Only one method is declared, and GDBus has checked its signature.
  g_dbus_method_invocation_return_value(invocation, QXReceiveAppleEvent(sender, parameters));
}

const GDBusInterfaceVTable kVTable = {HandleMethodCall, nullptr, nullptr, {nullptr}};

void Forget() {
  if (sConnection == nullptr)
    return;
  if (sRegistration != 0)
    g_dbus_connection_unregister_object(sConnection, sRegistration);
  GDBusConnection* connection = sConnection;
  sConnection = nullptr;
  sRegistration = 0;
  // Run what the connection left on its context (its "closed" emission),
  // which holds references to it.
  while (g_main_context_iteration(sConnectionContext, FALSE)) {
  }
  g_object_unref(connection);
  g_clear_pointer(&sConnectionContext, g_main_context_unref);
}

std::string SessionBusAddress() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address != nullptr && *address != '\0') {
    if (std::strstr(address, "autolaunch:") != nullptr)
      return {};
    return address;
  }
  // The per-user bus of a systemd session, when there is one.
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime == nullptr || *runtime == '\0')
    return {};
  g_autofree char* path = g_build_filename(runtime, "bus", nullptr);
  if (!g_file_test(path, G_FILE_TEST_EXISTS))
    return {};
  g_autofree char* escaped = g_dbus_address_escape_value(path);
  return std::string("unix:path=") + escaped;
}

// Connecting stalls on an address whose server never answers: give up after
// the bound of any other bus call.
GDBusConnection* Connect(const std::string& address, GMainContext* context) {
  struct Attempt {
    GDBusConnection* connection = nullptr;
    bool done = false;
  } attempt;
  g_autoptr(GCancellable) cancellable = g_cancellable_new();
  g_main_context_push_thread_default(context);
  g_dbus_connection_new_for_address(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, cancellable,
      [](GObject*, GAsyncResult* result, gpointer data) {
        auto* state = static_cast<Attempt*>(data);
        state->connection = g_dbus_connection_new_for_address_finish(result, nullptr);
        state->done = true;
      },
      &attempt);
  GSource* timeout = g_timeout_source_new(kQXBusCallTimeoutMs);
  g_source_set_callback(
      timeout,
      [](gpointer data) {
        g_cancellable_cancel(G_CANCELLABLE(data));
        return G_SOURCE_REMOVE;
      },
      cancellable, nullptr);
  g_source_attach(timeout, context);
  while (!attempt.done)
    g_main_context_iteration(context, TRUE);
  g_source_destroy(timeout);
  g_source_unref(timeout);
  g_main_context_pop_thread_default(context);
  return attempt.connection;
}

void Register(GDBusConnection* connection) {
  static GDBusNodeInfo* sNode = g_dbus_node_info_new_for_xml(kQXAEInterfaceXML, nullptr);
  // Calls are dispatched on the context current here: make that the
  // default one, where requests and dialogs run.
  g_main_context_push_thread_default(nullptr);
  sRegistration = g_dbus_connection_register_object(
      connection, kQXAEObjectPath, sNode->interfaces[0], &kVTable, nullptr, nullptr, nullptr);
  g_main_context_pop_thread_default(nullptr);
}

}  // namespace

GDBusConnection* QXSessionBus() {
  if (sConnection != nullptr && !g_dbus_connection_is_closed(sConnection))
    return sConnection;
  Forget();
  std::string address = SessionBusAddress();
  if (address.empty())
    return nullptr;
  GMainContext* context = g_main_context_new();
  GDBusConnection* connection = Connect(address, context);
  if (connection == nullptr) {
    g_main_context_unref(context);
    return nullptr;
  }
  g_dbus_connection_set_exit_on_close(connection, FALSE);
  sConnection = connection;
  sConnectionContext = context;
  Register(connection);
  return sConnection;
}
