// quorvex-assistant [--outbox DIR]: owns com.quorvex.Assistant on the session
// bus, takes the host's transfer requests and reports on them with status
// events. The outbox is DIR, or $QX_ASSISTANT_OUTBOX, or
// $XDG_DATA_HOME/quorvex-assistant/outbox when started by an installed
// service file that names no outbox. The bus starts it by
// activation; it ends when the bus goes away or on SIGTERM/SIGINT.
#include <gio/gio.h>
#include <glib-unix.h>

#include <cstring>
#include <string>
#include <utility>

#include "Assistant/Mac/Cocoa/MacFileOperations/QXBundle.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/AssistantEvents.h"
#include "platform/appleevents/BusConnection.h"
#include "tools/reference-assistant/TransferQueue.h"

namespace {

std::string TextParam(const AppleEvent* event, AEKeyword keyword, OSErr* err) {
  DescType type = typeNull;
  Size size = 0;
  *err = AEGetParamPtr(event, keyword, typeChar, &type, nullptr, 0, &size);
  std::string text(*err == noErr ? static_cast<size_t>(size) : 0, '\0');
  if (*err == noErr && size > 0) {
    *err = AEGetParamPtr(event, keyword, typeChar, &type, text.data(), size, &size);
  }
  return text;
}

OSErr HandleRequest(const AppleEvent* event, AppleEvent*, SRefCon refCon) {
  auto* queue = reinterpret_cast<TransferQueue*>(refCon);
  OSErr err = noErr;
  std::string request = TextParam(event, keyDirectObject, &err);
  if (err != noErr)
    return err;
  RequestOrigin origin;
  Size size = 0;
  err = AEGetParamPtr(event, kAEHostProcessKeyword, typeProcessSerialNumber, nullptr, &origin.host,
                      sizeof origin.host, &size);
  if (err == noErr && size != sizeof origin.host)
    err = errAEWrongDataType;
  if (err != noErr)
    return err;
  DescType type = typeNull;
  err = AEGetParamPtr(event, kAERefConKeyword, typeMagnitude, &type, nullptr, 0, &size);
  if (err != noErr)
    return err;
  origin.refCon.assign(static_cast<size_t>(size), '\0');
  AEGetParamPtr(event, kAERefConKeyword, typeMagnitude, &type, origin.refCon.data(), size, &size);
  // Answered on return, before any of the work: the acknowledgement.
  queue->Accept(origin, std::move(request));
  return noErr;
}

using Watched = std::pair<GDBusConnection*, GMainLoop*>;

gboolean QuitWhenClosed(gpointer data) {
  auto* watched = static_cast<Watched*>(data);
  if (g_dbus_connection_is_closed(watched->first))
    g_main_loop_quit(watched->second);
  return G_SOURCE_CONTINUE;
}

std::string Outbox(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--outbox") == 0)
      return argv[i + 1];
  }
  const char* fromEnvironment = g_getenv("QX_ASSISTANT_OUTBOX");
  if (fromEnvironment != nullptr)
    return fromEnvironment;
  g_autofree char* fallback =
      g_build_filename(g_get_user_data_dir(), "quorvex-assistant", "outbox", nullptr);
  return fallback;
}

// Started by hand, it says when the bus could not start it on demand: the
// service file is a resource of its installation (share/dbus-1/services
// beside share/quorvex-webclient).
void WarnWithoutServiceFile() {
  MacFileOperations::QXBundle bundle;
  if (bundle.URLForResource(L"com.quorvex.Assistant", L"service", L"../dbus-1/services").empty()) {
    g_printerr(
        "quorvex-assistant: no com.quorvex.Assistant.service is installed beside it; "
        "the session bus cannot start it on demand\n");
  }
}

bool OwnBusName(GDBusConnection* bus) {
  g_autoptr(GError) error = nullptr;
  g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
      g_variant_new("(su)", kQXAssistantBusName, 4u /* DBUS_NAME_FLAG_DO_NOT_QUEUE */),
      G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, kQXBusCallTimeoutMs, nullptr, &error);
  guint32 result = 0;
  if (reply != nullptr)
    g_variant_get(reply, "(u)", &result);
  // 1: primary owner now; 4: already the owner; 3: another Assistant has it.
  // Never replacing nor replaceable, the name stays with its transfers.
  return result == 1 || result == 4;
}

}  // namespace

int main(int argc, char** argv) {
  std::string outbox = Outbox(argc, argv);
  if (outbox.empty()) {
    g_printerr("quorvex-assistant: no outbox (--outbox DIR or QX_ASSISTANT_OUTBOX)\n");
    return 2;
  }
  g_mkdir_with_parents(outbox.c_str(), 0700);
  // Activated, it answers on the bus that started it.
  const char* starter = g_getenv("DBUS_STARTER_ADDRESS");
  if (starter != nullptr && *starter != '\0') {
    g_setenv("DBUS_SESSION_BUS_ADDRESS", starter, TRUE);
  } else {
    WarnWithoutServiceFile();
  }
  GDBusConnection* bus = QXSessionBus();
  if (bus == nullptr) {
    g_printerr("quorvex-assistant: no session bus\n");
    return 1;
  }
  g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
  // Without its bus nobody can reach it, and its work is of no use.
  g_autoptr(GDBusConnection) ownBus = G_DBUS_CONNECTION(g_object_ref(bus));
  Watched watched{ownBus, loop};
  g_timeout_add(500, QuitWhenClosed, &watched);
  for (int signal : {SIGTERM, SIGINT}) {
    g_unix_signal_add(signal, G_SOURCE_FUNC(+[](gpointer l) {
                        g_main_loop_quit(static_cast<GMainLoop*>(l));
                        return G_SOURCE_REMOVE;
                      }),
                      loop);
  }
  {
    TransferQueue queue(outbox);
    // The handler is in place before the name is taken: the host sends its
    // request as soon as it sees the name.
    AEInstallEventHandler(kAEAssistantClass, kAEAssistantRequest, HandleRequest,
                          reinterpret_cast<SRefCon>(&queue), false);
    if (!OwnBusName(bus)) {
      g_printerr("quorvex-assistant: %s is taken\n", kQXAssistantBusName);
      return 1;
    }
    g_main_loop_run(loop);
    AERemoveEventHandler(kAEAssistantClass, kAEAssistantRequest, HandleRequest, false);
  }
  return 0;
}
