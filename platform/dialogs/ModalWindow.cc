#include "platform/dialogs/ModalWindow.h"

#include <gdk/gdkwayland.h>
#include <gdk/gdkx.h>

namespace {

// Where the compositor refuses the focus to windows that turn up on their
// own, a token from whoever started the host still earns it. GTK takes
// DESKTOP_STARTUP_ID by itself but not XDG_ACTIVATION_TOKEN. A token is good
// for one activation: later dialogs let GTK ask for a fresh one.
void HandOverActivationToken(GdkDisplay* display) {
  static bool handedOver = false;
  if (handedOver || !GDK_IS_WAYLAND_DISPLAY(display))
    return;
  handedOver = true;
  const char* token = g_getenv("XDG_ACTIVATION_TOKEN");
  if (token != nullptr && *token != '\0' && g_utf8_validate(token, -1, nullptr))
    gdk_wayland_display_set_startup_notification_id(display, token);
}

}  // namespace

QXWindowLevel CGShieldingWindowLevel() {
  return kQXShieldingWindowLevel;
}

QXModalWindow::QXModalWindow(GtkWidget* window) : mWindow(window) {
  g_object_ref_sink(mWindow);
  g_signal_connect(mWindow, "delete-event", G_CALLBACK(OnDeleteEvent), this);
  g_signal_connect(mWindow, "destroy", G_CALLBACK(OnDestroy), this);
}

QXModalWindow::~QXModalWindow() {
  close();
}

void QXModalWindow::setTitle(const std::string& title) {
  if (mWindow)
    gtk_window_set_title(GTK_WINDOW(mWindow), title.c_str());
}

void QXModalWindow::setLevel(QXWindowLevel level) {
  mLevel = level;
  if (!mWindow)
    return;
  const bool above = level == kQXShieldingWindowLevel;
  gtk_window_set_keep_above(GTK_WINDOW(mWindow), above);
  gtk_window_set_urgency_hint(GTK_WINDOW(mWindow), above);
}

long QXModalWindow::runModal() {
  if (!mWindow)
    return kQXModalResponseCancel;
  mResponse = kQXModalResponseCancel;
  gtk_window_set_modal(GTK_WINDOW(mWindow), TRUE);
  gtk_widget_show(mWindow);
  raise();

  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  mLoop = loop;
  g_main_loop_run(loop);
  mLoop = nullptr;
  g_main_loop_unref(loop);
  return mResponse;
}

void QXModalWindow::orderFront() {
  if (!mWindow)
    return;
  gtk_widget_show(mWindow);
  raise();
}

void QXModalWindow::raise() {
  HandOverActivationToken(gtk_widget_get_display(mWindow));
  if (mLevel != kQXShieldingWindowLevel) {
    gtk_window_present(GTK_WINDOW(mWindow));
    return;
  }
  // The host never had user input, so its own user time would make a window
  // manager keep the dialog behind the active window: present it with the
  // server's current time instead.
  guint32 now = GDK_CURRENT_TIME;
  GdkWindow* surface = gtk_widget_get_window(mWindow);
  if (surface && GDK_IS_X11_WINDOW(surface))
    now = gdk_x11_get_server_time(surface);
  gtk_window_present_with_time(GTK_WINDOW(mWindow), now);
}

void QXModalWindow::endModal(long response) {
  if (!mLoop)
    return;
  mResponse = response;
  g_main_loop_quit(mLoop);
}

// Hiding and destroying reach the server at once: the caller may work for a
// while (expanding folders) before the main loop flushes again.
void QXModalWindow::orderOut() {
  if (!mWindow)
    return;
  gtk_widget_hide(mWindow);
  gdk_display_flush(gtk_widget_get_display(mWindow));
}

void QXModalWindow::close() {
  if (!mWindow)
    return;
  GtkWidget* window = mWindow;
  g_signal_handlers_disconnect_by_data(window, this);
  mWindow = nullptr;
  GdkDisplay* display = gtk_widget_get_display(window);
  gtk_widget_destroy(window);
  g_object_unref(window);
  gdk_display_flush(display);
}

gboolean QXModalWindow::OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
  static_cast<QXModalWindow*>(self)->windowShouldClose();
  // The window stays: its owner closes it once the run has returned.
  return TRUE;
}

void QXModalWindow::OnDestroy(GtkWidget*, gpointer self) {
  static_cast<QXModalWindow*>(self)->endModal(kQXModalResponseCancel);
}
