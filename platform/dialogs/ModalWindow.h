// A dialog window shown modally: its run is a nested loop of the GLib default
// main context, so whatever that context delivers meanwhile (Assistant events
// over D-Bus) still runs, while the caller waits for the user's answer.
#pragma once

#include <gtk/gtk.h>

#include <string>

// Codes a modal run ends with.
enum : long {
  kQXModalResponseCancel = 0,
  kQXModalResponseOK = 1,
  kQXAlertFirstButtonReturn = 1000,
};

enum QXWindowLevel {
  kQXNormalWindowLevel,
  // Above every ordinary window: for a host without a window of its own,
  // whose dialogs must not open hidden behind the browser.
  kQXShieldingWindowLevel,
};

QXWindowLevel CGShieldingWindowLevel();

class QXModalWindow {
 public:
  QXModalWindow(const QXModalWindow&) = delete;
  QXModalWindow& operator=(const QXModalWindow&) = delete;
  virtual ~QXModalWindow();

  void setTitle(const std::string& title);
  void setLevel(QXWindowLevel level);

  // Shows the window and returns the code given to endModal(), or
  // kQXModalResponseCancel when the window went away without one.
  long runModal();
  // Ends the current modal run with `response`; the last call before the
  // run returns wins. Does nothing when no run is in progress.
  void endModal(long response);
  // Shows the window without a run: the caller lets the main context run.
  void orderFront();
  // Hides the window; it can be shown again.
  void orderOut();
  // Destroys the window; later calls on it do nothing.
  void close();

  // Null once closed.
  GtkWindow* window() const { return mWindow ? GTK_WINDOW(mWindow) : nullptr; }

 protected:
  // Takes ownership of a new toplevel.
  explicit QXModalWindow(GtkWidget* window);
  // The window manager's close button or Escape.
  virtual void windowShouldClose() { endModal(kQXModalResponseCancel); }

 private:
  void raise();
  static gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self);
  static void OnDestroy(GtkWidget*, gpointer self);

  GtkWidget* mWindow;
  GMainLoop* mLoop = nullptr;
  long mResponse = kQXModalResponseCancel;
  QXWindowLevel mLevel = kQXNormalWindowLevel;
};
