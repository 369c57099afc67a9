// One native-messaging host run as a browser runs it: frames written to its
// stdin, frames read from its stdout on a thread of their own (so neither
// side can fill a pipe and stall the other) and printed one JSON per line.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class HostSession {
 public:
  struct Options {
    bool printLogRecords = true;
  };

  HostSession(const std::vector<std::string>& command, Options options);
  ~HostSession();

  bool started() const { return mPid > 0; }
  bool SendFrame(const std::string& body);
  bool SendStopWord();
  void CloseInput();
  // Waits for a frame not matched by an earlier wait: with `logText` false
  // one whose "code" is `word`, with it true a log record whose text is `word`.
  bool WaitFor(const std::string& word, bool logText, std::chrono::milliseconds timeout);
  // Waits for the host to close its output and exit; kills it after
  // `timeout`. The exit code, 128 + signal when it was killed by one, or
  // nullopt when it had to be killed for taking too long.
  std::optional<int> Finish(std::chrono::milliseconds timeout);
  bool sawMalformedFrame() const;

 private:
  void ReadFrames();
  bool WriteAll(const std::string& bytes);
  void Malformed(const std::string& why);

  Options mOptions;
  pid_t mPid = -1;
  int mInput = -1;
  int mOutput = -1;
  std::thread mReader;

  mutable std::mutex mMutex;
  std::condition_variable mChanged;
  std::vector<std::string> mFrames;
  size_t mWaitFrom = 0;
  bool mOutputEnded = false;
  bool mMalformed = false;
};
