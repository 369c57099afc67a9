// The host under test, started through HostSession the way a browser starts
// it, with what tests need around it: a faceless environment, stderr kept in
// a file and the system log captured by a preloaded shim, both printed when
// the test fails, and a malformed frame failing the test. Every wait has a
// timeout and the destructor kills a host that is still running.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tools/hostsession/HostEnvironment.h"
#include "tools/hostsession/HostSession.h"

class HostProcess {
 public:
  // Applied after the harness defaults, so they win.
  using Environment = EnvironmentChanges;

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
    return mSession ? mSession->pid() : -1;
  }

  // Each false (and a test failure) when the child stopped reading for 30 s;
  // false when it went away. SendRaw writes bytes as they are, for length
  // words and cut-off frames.
  bool SendFrame(const std::string& body);
  bool SendRaw(const std::string& bytes);
  bool SendStopWord();
  // End of input, as when the browser closes the pipe.
  void CloseStdin();
  // Stops reading the child's stdout, as a browser that went away.
  void CloseStdout();

  // The next frame's body; nullopt on timeout or end of output.
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
  bool Sent(bool sent);

  std::string mBinary;
  std::string mTempDir;
  std::string mSyslogPath;
  std::string mStderrPath;
  std::optional<HostSession> mSession;
};
