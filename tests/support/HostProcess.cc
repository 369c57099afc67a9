#include "tests/support/HostProcess.h"

#include "tests/support/Frames.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <json-c/json.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

extern char** environ;

namespace {

constexpr size_t kLargestFrame = 1048576;
constexpr int kWriteTimeoutMs = 30000;

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Tail(const std::string& text, size_t limit) {
  if (text.size() <= limit)
    return text;
  return "[...]" + text.substr(text.size() - limit);
}

// The environment a host gets unless the test says otherwise: no desktop
// session to talk to by accident, and the system log captured.
std::map<std::string, std::string> ChildEnvironment(const HostProcess::Environment& overrides,
                                                    const std::string& syslogPath) {
  std::map<std::string, std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const char* equals = strchr(*entry, '=');
    if (equals != nullptr)
      env[std::string(*entry, static_cast<size_t>(equals - *entry))] = equals + 1;
  }
  env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=/nonexistent-qx-bus";
  env.erase("DISPLAY");
  env.erase("WAYLAND_DISPLAY");
  env["NO_AT_BRIDGE"] = "1";
  env["QX_SYSLOG_CAPTURE_FILE"] = syslogPath;
  std::string preload = QX_SYSLOG_CAPTURE_LIBRARY;
  if (!env["LD_PRELOAD"].empty())
    preload += ":" + env["LD_PRELOAD"];
  env["LD_PRELOAD"] = preload;
  // The preloaded shim comes before the sanitizer runtime.
  std::string asan = env["ASAN_OPTIONS"];
  env["ASAN_OPTIONS"] = (asan.empty() ? "" : asan + ":") + "verify_asan_link_order=0";

  for (const auto& [name, value] : overrides) {
    if (value)
      env[name] = *value;
    else
      env.erase(name);
  }
  return env;
}

std::optional<std::string> ValidateBody(const std::string& body) {
  json_tokener* tokener = json_tokener_new();
  json_object* parsed = json_tokener_parse_ex(tokener, body.data(), static_cast<int>(body.size()));
  bool whole = json_tokener_get_error(tokener) == json_tokener_success &&
               static_cast<size_t>(json_tokener_get_parse_end(tokener)) == body.size();
  bool object = json_object_is_type(parsed, json_type_object);
  json_object_put(parsed);
  json_tokener_free(tokener);
  if (!whole)
    return "body is not one JSON text";
  if (!object)
    return "body is not a JSON object";
  return std::nullopt;
}

}  // namespace

HostProcess::HostProcess(Options options) : mBinary(options.binary) {
  signal(SIGPIPE, SIG_IGN);  // a write to a child that went away returns EPIPE instead

  std::string base = (std::filesystem::temp_directory_path() / "qx-host-XXXXXX").string();
  if (mkdtemp(base.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp: " << strerror(errno);
    return;
  }
  mTempDir = base;
  mSyslogPath = mTempDir + "/syslog.log";
  mStderrPath = mTempDir + "/stderr.log";

  // Everything the child needs is built before fork: only async-signal-safe
  // calls may run between fork and exec.
  std::vector<std::string> argvStrings{options.binary};
  argvStrings.insert(argvStrings.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv;
  for (auto& arg : argvStrings)
    argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStrings;
  for (const auto& [name, value] : ChildEnvironment(options.environment, mSyslogPath))
    envStrings.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& entry : envStrings)
    envp.push_back(entry.data());
  envp.push_back(nullptr);

  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(mWakePipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe2: " << strerror(errno);
    return;
  }
  int err = open(mStderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const char* cwd = options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str();
  const bool closeStderr = options.closeStderr;

  mPid = fork();
  if (mPid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    if (closeStderr)
      close(2);
    else if (err >= 0)
      dup2(err, 2);
    if (cwd != nullptr && chdir(cwd) != 0)
      _exit(126);
    execve(argv[0], argv.data(), envp.data());
    static const char kFailed[] = "HostProcess: exec failed\n";
    ssize_t ignored = write(2, kFailed, sizeof kFailed - 1);
    (void)ignored;
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  if (err >= 0)
    close(err);
  if (mPid < 0) {
    ADD_FAILURE() << "fork: " << strerror(errno);
    close(in[1]);
    close(out[0]);
    return;
  }
  mStdin = in[1];
  fcntl(mStdin, F_SETFL, fcntl(mStdin, F_GETFL) | O_NONBLOCK);
  mStdout = out[0];
  mReader = std::thread([this] { ReadOutput(); });
}

HostProcess::~HostProcess() {
  Kill();
  CloseStdout();
  CloseStdin();
  if (mWakePipe[0] >= 0)
    close(mWakePipe[0]);
  if (mWakePipe[1] >= 0)
    close(mWakePipe[1]);
  if (::testing::Test::HasFailure() && !mTempDir.empty()) {
    std::cerr << "---- stderr of " << mBinary << " ----\n"
              << Tail(StderrText(), 20000) << "---- host system log ----\n"
              << Tail(ReadWholeFile(mSyslogPath), 20000) << "---- end ----" << std::endl;
  }
  if (!mTempDir.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(mTempDir, ignored);
  }
}

void HostProcess::ReadOutput() {
  char buffer[65536];
  for (;;) {
    pollfd fds[2] = {{mStdout, POLLIN, 0}, {mWakePipe[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR)
        continue;
      break;
    }
    if (fds[1].revents != 0)
      return;  // asked to stop; the output is not over
    ssize_t n = read(mStdout, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
      continue;
    if (n <= 0)
      break;
    std::lock_guard<std::mutex> lock(mMutex);
    mOutput.append(buffer, static_cast<size_t>(n));
    mArrived.notify_all();
  }
  std::lock_guard<std::mutex> lock(mMutex);
  mOutputEnded = true;
  mArrived.notify_all();
}

void HostProcess::ReportMalformedLocked(const std::string& why) {
  if (!mMalformedReported)
    ADD_FAILURE() << "malformed frame from " << mBinary << ": " << why << "; bytes: \""
                  << Tail(mOutput, 300) << "\"";
  mMalformedReported = true;
  // The stream cannot be followed any further.
  mOutput.clear();
  mTaken = 0;
  mOutputEnded = true;
}

std::optional<std::string> HostProcess::TakeFrameLocked() {
  const size_t available = mOutput.size() - mTaken;
  if (available < 4)
    return std::nullopt;
  const auto* bytes = reinterpret_cast<const unsigned char*>(mOutput.data() + mTaken);
  size_t length = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (size_t{bytes[3]} << 24);
  if (length > kLargestFrame) {
    ReportMalformedLocked("length " + std::to_string(length) + " exceeds " +
                          std::to_string(kLargestFrame));
    return std::nullopt;
  }
  if (available < 4 + length)
    return std::nullopt;
  std::string body = mOutput.substr(mTaken + 4, length);
  mTaken += 4 + length;
  // Taken bytes are dropped only once they are most of the buffer, so that
  // reading many queued frames stays linear.
  if (mTaken * 2 >= mOutput.size()) {
    mOutput.erase(0, mTaken);
    mTaken = 0;
  }
  if (auto problem = ValidateBody(body))
    ADD_FAILURE() << "malformed frame from " << mBinary << ": " << *problem << ": "
                  << Tail(body, 300);
  return body;
}

std::optional<std::string> HostProcess::ReadFrame(int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> lock(mMutex);
  for (;;) {
    if (auto frame = TakeFrameLocked())
      return frame;
    if (mOutputEnded) {
      if (mOutput.size() > mTaken)
        ReportMalformedLocked("output ended inside a frame (" +
                              std::to_string(mOutput.size() - mTaken) + " bytes left)");
      return std::nullopt;
    }
    if (mArrived.wait_until(lock, deadline) == std::cv_status::timeout) {
      if (auto frame = TakeFrameLocked())
        return frame;
      return std::nullopt;
    }
  }
}

std::optional<std::vector<std::string>> HostProcess::ReadFramesUntil(
    const std::function<bool(const std::string&)>& done, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::vector<std::string> frames;
  while (auto frame = ReadFrame(RemainingMs(deadline))) {
    frames.push_back(*frame);
    if (done(*frame))
      return frames;
  }
  return std::nullopt;
}

std::vector<std::string> HostProcess::ReadFramesUntilQuiet(int quietMs) {
  std::vector<std::string> frames;
  while (auto frame = ReadFrame(quietMs))
    frames.push_back(*frame);
  return frames;
}

bool HostProcess::AtEndOfOutput() {
  std::lock_guard<std::mutex> lock(mMutex);
  return mOutputEnded && mOutput.size() == mTaken;
}

bool HostProcess::WriteAll(const char* bytes, size_t size) {
  if (mStdin < 0)
    return false;
  auto deadline = Clock::now() + std::chrono::milliseconds(kWriteTimeoutMs);
  while (size > 0) {
    ssize_t n = write(mStdin, bytes, size);
    if (n > 0) {
      bytes += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd fd{mStdin, POLLOUT, 0};
      int left = RemainingMs(deadline);
      if (left == 0 || poll(&fd, 1, left) == 0) {
        ADD_FAILURE() << mBinary << " stopped reading its input for " << kWriteTimeoutMs << " ms";
        return false;
      }
      continue;
    }
    return false;  // EPIPE: the child closed its input or ended
  }
  return true;
}

bool HostProcess::SendFrame(const std::string& body) {
  std::string frame = EncodeFrame(body);
  return WriteAll(frame.data(), frame.size());
}

bool HostProcess::SendRaw(const std::string& bytes) {
  return WriteAll(bytes.data(), bytes.size());
}

bool HostProcess::SendStopWord() {
  return SendRaw(std::string(4, '\xFF'));
}

void HostProcess::CloseStdin() {
  if (mStdin >= 0)
    close(mStdin);
  mStdin = -1;
}

void HostProcess::CloseStdout() {
  if (mReader.joinable()) {
    char wake = 1;
    ssize_t ignored = write(mWakePipe[1], &wake, 1);
    (void)ignored;
    mReader.join();
  }
  if (mStdout >= 0)
    close(mStdout);
  mStdout = -1;
}

std::optional<int> HostProcess::WaitForExit(int timeoutMs) {
  if (mExitCode || mPid <= 0)
    return mExitCode;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    pid_t done = waitpid(mPid, &status, WNOHANG);
    if (done == mPid) {
      mExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return mExitCode;
    }
    if (done < 0 && errno != EINTR)
      return std::nullopt;
    if (Clock::now() >= deadline)
      return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void HostProcess::Kill() {
  if (mPid <= 0 || mExitCode)
    return;
  if (WaitForExit(0))
    return;
  kill(mPid, SIGKILL);
  int status = 0;
  while (waitpid(mPid, &status, 0) < 0 && errno == EINTR) {
  }
  mExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> HostProcess::SyslogLines() const {
  std::vector<std::string> lines;
  std::istringstream text(ReadWholeFile(mSyslogPath));
  for (std::string line; std::getline(text, line);)
    lines.push_back(line);
  return lines;
}

bool HostProcess::WaitForSyslogLine(const std::string& fragment, int timeoutMs) const {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    for (const auto& line : SyslogLines())
      if (line.find(fragment) != std::string::npos)
        return true;
    if (Clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string HostProcess::StderrText() const {
  return ReadWholeFile(mStderrPath);
}
