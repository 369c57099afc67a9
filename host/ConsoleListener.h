// Reads framed requests from stdin on the main loop and hands each one to
// the client. A request is read whole with blocking reads and handled before
// stdin is watched again, so requests run one at a time and in order, and no
// dialog's nested loop ever reads stdin.
#pragma once

#include <glib.h>

class CQXWebClientNativeMac;

class ConsoleListener {
 public:
  ConsoleListener() = default;
  ~ConsoleListener();
  ConsoleListener(const ConsoleListener&) = delete;
  ConsoleListener& operator=(const ConsoleListener&) = delete;

  ConsoleListener* init();
  // The client that receives every request; with none, bodies are read and dropped.
  void setClient(CQXWebClientNativeMac* client);
  // Starts reading on the main loop's first pass.
  void getData();
  // Sets up reading: watches stdin for data.
  void requestorGotData(void* unused);
  // Reads one frame and dispatches it; the stop word ends the process, and
  // the end of input leaves the main loop so that main shuts down in order.
  void fileHandleReadData(void* unused);

 private:
  static gboolean StartReading(gpointer listener);
  static gboolean StdinReady(gint fd, GIOCondition condition, gpointer listener);
  void Arm();
  void Disarm();

  bool mGotData = false;
  int mStdIn = -1;
  CQXWebClientNativeMac* mClient = nullptr;
  guint mStartSource = 0;
  guint mWatchSource = 0;
};
