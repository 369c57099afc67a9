// One D-Bus activation (StartServiceByName), answered on a main context of
// its own: waiting for it runs nothing else of the process. The bus answers
// once the service owns its name, or as soon as it knows the start failed:
// the program could not be run, it exited without taking the name, or the
// bus's own start timeout passed.
#pragma once

#include <gio/gio.h>

#include <memory>
#include <string>

class QXServiceActivation {
 public:
  QXServiceActivation(GDBusConnection* bus, const char* name);
  // An unanswered call is cancelled.
  ~QXServiceActivation();
  QXServiceActivation(const QXServiceActivation&) = delete;
  QXServiceActivation& operator=(const QXServiceActivation&) = delete;

  // Runs the own context until the bus has answered or `timeoutMs` passed;
  // true once it has answered.
  bool Wait(int timeoutMs);
  bool answered() const { return mAnswered; }
  // After the answer: whether the service started; when it did not, the
  // bus's error name (empty for a local failure) and message.
  bool started() const { return mStarted; }
  const std::string& errorName() const { return mErrorName; }
  const std::string& errorMessage() const { return mErrorMessage; }

 private:
  static void OnAnswer(GObject* bus, GAsyncResult* result, gpointer self);

  std::unique_ptr<GMainContext, void (*)(GMainContext*)> mContext;
  std::unique_ptr<GCancellable, void (*)(gpointer)> mCancellable;
  bool mAnswered = false;
  bool mStarted = false;
  std::string mErrorName;
  std::string mErrorMessage;
};
