// A child process spoken to the way a browser speaks to its native host:
// frames on its stdin, frames read from its stdout, stderr kept in a file and
// the system log captured by a preloaded shim. Every wait has a timeout and
// the destructor kills a child that is still running.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class HostProcess {
 public:
  // Environment changes for the child: a value sets the variable, nullopt
  // removes it. Applied after the harness defaults, so they win.
  using Environment = std::map<std::string, std::optional<std::string>>;

  struct Options {
    std::string binary = DefaultBinary();
    std::vector<std::string> args;
    Environment environment;
    std::string workingDirectory;  // empty: the test's own
    bool closeStderr = false;      // start the child without fd 2
  };

  // The host under test; e2e suites learn its path from their build.
  static std::string DefaultBinary() {
#ifdef QX_HOST_BINARY
    return QX_HOST_BINARY;
#else
    return "quorvex-webclient-host";
#endif
  }

  // Starts the child at once; a failure to start fails the test.
  HostProcess() : HostProcess(Options()) {}
  explicit HostProcess(Options options);
  ~HostProcess();

  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  pid_t Pid() const {
    return mPid;
  }

  // Writes one frame (4-byte little-endian length + bytes). False (and a
  // test failure) when the child stopped reading for 30 s or went away.
  bool SendFrame(const std::string& body);
  // Writes bytes as they are, for length words and cut-off frames.
  bool SendRaw(const std::string& bytes);
  // The stop word 0xFFFFFFFF.
  bool SendStopWord();
  // End of input, as when the browser closes the pipe.
  void CloseStdin();
  // Stops reading the child's stdout, as a browser that went away.
  void CloseStdout();

  // The next frame's body; nullopt on timeout or end of output. A frame that
  // is cut short, longer than the host may send, or not JSON fails the test.
  std::optional<std::string> ReadFrame(int timeoutMs);
  // Reads frames until one satisfies `done`; returns every frame read, the
  // matching one last, or nullopt when time or output ran out first.
  std::optional<std::vector<std::string>> ReadFramesUntil(
      const std::function<bool(const std::string&)>& done, int timeoutMs);
  // Every frame that arrives within `quietMs` of the previous one.
  std::vector<std::string> ReadFramesUntilQuiet(int quietMs);
  // True when the child closed its stdout and every frame has been read.
  bool AtEndOfOutput();

  // Exit code of a normal exit, 128 + signal number for a child killed by a
  // signal, nullopt while it is still running after `timeoutMs`.
  std::optional<int> WaitForExit(int timeoutMs);
  void Kill();

  // The captured system log, one element per line, and the child's stderr.
  std::vector<std::string> SyslogLines() const;
  bool WaitForSyslogLine(const std::string& fragment, int timeoutMs) const;
  std::string StderrText() const;
  // A fresh folder that lives as long as this object.
  const std::string& TempDir() const {
    return mTempDir;
  }

 private:
  void ReadOutput();
  bool WriteAll(const char* bytes, size_t size);
  std::optional<std::string> TakeFrameLocked();
  void ReportMalformedLocked(const std::string& why);

  std::string mBinary;
  std::string mTempDir;
  std::string mSyslogPath;
  std::string mStderrPath;
  pid_t mPid = -1;
  std::optional<int> mExitCode;
  int mStdin = -1;
  int mStdout = -1;
  int mWakePipe[2] = {-1, -1};

  std::thread mReader;
  mutable std::mutex mMutex;
  std::condition_variable mArrived;
  std::string mOutput;  // bytes read, from the first not yet dropped
  size_t mTaken = 0;    // bytes at the start of mOutput already taken as frames
  bool mOutputEnded = false;
  bool mMalformedReported = false;
};
