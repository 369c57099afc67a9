// A small window for long work that the user may want to stop: a message, a
// count of what is done so far and a Cancel button. It appears only once the
// work has gone on for a second, so short work shows nothing; until then an
// update costs a clock read. While it is shown, updates let the GLib default
// main context run, so the window draws and Cancel can be pressed.
#pragma once

#include <glib.h>

#include <cstddef>
#include <memory>
#include <string>

class QXProgressWindow {
 public:
  // `message` heads the window and is its title; `unit` follows the count.
  QXProgressWindow(std::string message, std::string unit);
  ~QXProgressWindow();
  QXProgressWindow(const QXProgressWindow&) = delete;
  QXProgressWindow& operator=(const QXProgressWindow&) = delete;

  // Tells how much is done; false once the user cancelled. Cheap enough to
  // call every few dozen items: the window refreshes a few times a second.
  bool update(size_t done);
  bool cancelled() const { return mCancelled; }

 private:
  class Panel;

  std::string mMessage;
  std::string mUnit;
  gint64 mNextRefresh;
  bool mCancelled = false;
  std::unique_ptr<Panel> mPanel;
};
