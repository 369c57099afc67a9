// The application object and its run loop on the GLib default main context.
// `NSApp` is null when no display can be opened: the host then runs without
// dialogs, exactly as a faceless process with no window server.
#pragma once

class QXApplication {
 public:
  // Creates the application once; opens the display when one is available.
  static QXApplication* sharedApplication();

  // Runs the default main context until stop() or end of process.
  void run();
  // Leaves run() after the current dispatch returns.
  void stop();
  // Ends the process at once, without unwinding (the stop-word path).
  [[noreturn]] void terminate();

  bool hasDisplay() const { return mHasDisplay; }
  // The host never shows a window of its own, so dialogs have no parent.
  void* mainWindow() const { return nullptr; }

 private:
  QXApplication();
  bool mHasDisplay = false;
  bool mRunning = false;
};

// Null when there is no display (no dialogs can be shown).
extern QXApplication* NSApp;
