#include "platform/app/Application.h"

#include <glib.h>
#include <gtk/gtk.h>

#include <cstdlib>

QXApplication* NSApp = nullptr;

QXApplication* QXApplication::sharedApplication() {
  static QXApplication* application = new QXApplication();
  return application;
}

QXApplication::QXApplication() {
  // strcasecmp ordering and "%f" sizes rely on the C locale staying in force.
  gtk_disable_setlocale();
  mHasDisplay = gtk_init_check(nullptr, nullptr);
  if (mHasDisplay)
    NSApp = this;
}

void QXApplication::run() {
  mRunning = true;
  while (mRunning)
    g_main_context_iteration(nullptr, TRUE);
}

// Called from a dispatch on the main thread: the iteration in run() returns
// when that dispatch does.
void QXApplication::stop() {
  mRunning = false;
}

void QXApplication::terminate() {
  std::exit(0);
}
