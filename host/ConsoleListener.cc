#include "host/ConsoleListener.h"

#include <glib-unix.h>
#include <unistd.h>

#include <string>

#include "host/FrameReader.h"
#include "host/QXWebClientNativeMac.h"
#include "platform/app/Application.h"

ConsoleListener::~ConsoleListener() {
  if (mStartSource != 0)
    g_source_remove(mStartSource);
  Disarm();
}

ConsoleListener* ConsoleListener::init() {
  mGotData = false;
  mStdIn = -1;
  return this;
}

void ConsoleListener::setClient(CQXWebClientNativeMac* client) {
  mClient = client;
}

void ConsoleListener::getData() {
  mGotData = false;
  if (mStartSource == 0)
    mStartSource = g_timeout_add(0, StartReading, this);
}

gboolean ConsoleListener::StartReading(gpointer listener) {
  auto* self = static_cast<ConsoleListener*>(listener);
  self->mStartSource = 0;
  self->requestorGotData(nullptr);
  return G_SOURCE_REMOVE;
}

void ConsoleListener::requestorGotData(void*) {
  // Reading is set up once; from then on each handled frame re-arms it.
  if (mGotData)
    return;
  mGotData = true;
  mStdIn = STDIN_FILENO;
  Arm();
}

void ConsoleListener::Arm() {
  if (mWatchSource == 0 && mStdIn >= 0)
    mWatchSource = g_unix_fd_add(mStdIn, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                 StdinReady, this);
}

void ConsoleListener::Disarm() {
  if (mWatchSource != 0)
    g_source_remove(mWatchSource);
  mWatchSource = 0;
}

gboolean ConsoleListener::StdinReady(gint, GIOCondition, gpointer listener) {
  static_cast<ConsoleListener*>(listener)->fileHandleReadData(nullptr);
  return G_SOURCE_REMOVE;  // fileHandleReadData armed a new watch if reading goes on
}

void ConsoleListener::fileHandleReadData(void*) {
  Disarm();

  std::string body;
  switch (FrameReader(mStdIn).Read(body)) {
    case FrameReader::Result::kEndOfInput:
      // The browser closed the pipe: leave the loop so that the client is
      // destroyed in order.
      QXApplication::sharedApplication()->stop();
      return;
    case FrameReader::Result::kStopWord:
      close(mStdIn);
      mStdIn = -1;
      QXApplication::sharedApplication()->terminate();
      return;
    case FrameReader::Result::kFrame:
      break;
  }

  // The bytes go to the client as they came: a wide copy of a large body
  // would take four times its size.
  if (mClient != nullptr)
    mClient->ExecuteRequestUTF8(body.c_str());

  // A body cut short by the end of input is followed by a readiness report
  // whose length read finds nothing, which ends the loop.
  Arm();
}
