// A native-messaging host run the way a browser runs it: its stdin and stdout
// on pipes, frames written to one and read from the other by a thread of
// their own, so that neither side can fill a pipe and stall the other. Every
// wait has a timeout, and the destructor kills a host that is still running.
// qxclient, the end-to-end tests and the benches all drive hosts through it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Assistant/Mac/Cocoa/MacFileOperations/UniqueFd.h"

// The host beside this program: installed side by side, or in the build
// tree that holds it (bench/, tools/qxclient/); else the bare name, for PATH.
std::string HostBesideThisProgram();

class HostSession {
 public:
  using Milliseconds = std::chrono::milliseconds;

  struct Options {
    std::vector<std::string> command;  // the program is looked up on PATH
    // "NAME=value" entries; nullopt: this process's environment.
    std::optional<std::vector<std::string>> environment;
    std::string stderrPath;    // empty: this process's stderr
    bool closeStderr = false;  // start the host without fd 2
    // How long a write may wait for the host to read before it fails.
    Milliseconds writeTimeout{30000};
    // Called on the reading thread for each frame as it arrives, before any
    // ReadFrame can return it.
    std::function<void(const std::string& body)> onFrame;
    // Called on the reading thread for each frame the host should not have
    // sent; bodies are checked to be one JSON object only when it is set. A
    // length too large or output cut short inside a frame also ends the
    // reading: the stream cannot be followed any further.
    std::function<void(const std::string& why)> onMalformed;
  };

  explicit HostSession(Options options);
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  bool started() const { return mPid > 0; }
  pid_t pid() const { return mPid; }

  // False when the host went away or stopped reading for the write timeout
  // (errno is then ETIMEDOUT).
  bool SendRaw(std::string_view bytes);
  bool SendFrame(std::string_view body);
  bool SendStopWord();
  // End of input, as when the browser closes the pipe.
  void CloseInput();
  // Stops reading the host's stdout, as a browser that went away.
  void CloseOutput();

  // The oldest frame not yet read; nullopt on timeout or at the end of output.
  std::optional<std::string> ReadFrame(Milliseconds timeout);
  // Reads frames until one satisfies `done`; returns every frame read, the
  // matching one last, or nullopt when time or output ran out first.
  std::optional<std::vector<std::string>> ReadFramesUntil(
      const std::function<bool(const std::string&)>& done, Milliseconds timeout);
  // True once the host's output has ended, within `timeout`.
  bool WaitForEndOfOutput(Milliseconds timeout);
  // True when the output has ended and every frame has been read.
  bool AtEndOfOutput();

  // The exit code of a normal exit, 128 + the signal's number for a host
  // killed by one; nullopt while it is still running after `timeout`.
  std::optional<int> WaitForExit(Milliseconds timeout);
  void Kill();

 private:
  void Start(const Options& options);
  void ReadOutput();
  // Splits the whole frames off the front of `pending`; false when the
  // stream broke.
  bool TakeFrames(std::string& pending);
  void Deliver(std::string body);
  void Malformed(const std::string& why);
  void EndOutput();

  Options mOptions;
  pid_t mPid = -1;
  std::optional<int> mExitCode;
  MacFileOperations::UniqueFd mInput, mOutput, mWakeRead, mWakeWrite;
  std::thread mReader;

  std::mutex mMutex;
  std::condition_variable mChanged;
  std::deque<std::string> mFrames;
  bool mOutputEnded = false;
};
