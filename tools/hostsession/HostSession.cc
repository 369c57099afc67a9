#include "tools/hostsession/HostSession.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "host/FrameCodec.h"
#include "tools/hostsession/FrameJson.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (auto& text : strings)
    pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

std::string HostBesideThisProgram() {
  char self[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
  dir = dir.substr(0, dir.find_last_of('/') + 1);
  for (const char* candidate : {"quorvex-webclient-host", "../host/quorvex-webclient-host",
                                "../../host/quorvex-webclient-host"}) {
    const std::string path = dir + candidate;
    if (access(path.c_str(), X_OK) == 0)
      return path;
  }
  return "quorvex-webclient-host";
}

HostSession::HostSession(Options options) : mOptions(std::move(options)) {
  signal(SIGPIPE, SIG_IGN);  // a write to a host that went away returns EPIPE instead
  Start(mOptions);
}

HostSession::~HostSession() {
  Kill();
  CloseOutput();
}

void HostSession::Start(const Options& options) {
  int in[2], out[2], wake[2];
  if (options.command.empty() || pipe2(in, O_CLOEXEC) != 0)
    return;
  MacFileOperations::UniqueFd hostInput(in[0]);
  mInput.reset(in[1]);
  if (pipe2(out, O_CLOEXEC) != 0)
    return;
  MacFileOperations::UniqueFd hostOutput(out[1]);
  mOutput.reset(out[0]);
  if (pipe2(wake, O_CLOEXEC) != 0)
    return;
  mWakeRead.reset(wake[0]);
  mWakeWrite.reset(wake[1]);
  MacFileOperations::UniqueFd error;
  if (!options.stderrPath.empty())
    error.reset(open(options.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));

  // Everything the child needs is built before fork: the caller may have
  // threads, and only async-signal-safe calls may run between fork and exec.
  std::vector<std::string> args = options.command;
  std::vector<char*> argv = Pointers(args);
  std::vector<std::string> entries = options.environment.value_or(std::vector<std::string>());
  std::vector<char*> envp = Pointers(entries);
  char* const* childEnvironment = options.environment ? envp.data() : environ;
  const std::string failure =
      std::string(program_invocation_short_name) + ": cannot start " + args[0] + ": ";

  mPid = fork();
  if (mPid == 0) {
    dup2(hostInput.get(), 0);
    dup2(hostOutput.get(), 1);
    if (options.closeStderr)
      close(2);
    else if (error)
      dup2(error.get(), 2);
    execvpe(argv[0], argv.data(), childEnvironment);
    const char* why = strerrordesc_np(errno);
    if (write(2, failure.data(), failure.size()) > 0 && write(2, why, strlen(why)) > 0)
      (void)!write(2, "\n", 1);
    _exit(127);
  }
  if (mPid < 0)
    return;
  fcntl(mInput.get(), F_SETFL, fcntl(mInput.get(), F_GETFL) | O_NONBLOCK);
  mReader = std::thread([this] { ReadOutput(); });
}

void HostSession::ReadOutput() {
  std::string pending;
  char buffer[65536];
  for (;;) {
    pollfd fds[2] = {{mOutput.get(), POLLIN, 0}, {mWakeRead.get(), POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR)
      break;
    if (fds[1].revents != 0)
      break;  // asked to stop: what is left is not the host's fault
    ssize_t n = read(mOutput.get(), buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
      continue;
    if (n <= 0) {
      if (pending.size() >= kLengthWordSize) {
        const size_t length = DecodeLengthWord(pending.data());
        Malformed("output ended after " + std::to_string(pending.size() - kLengthWordSize) +
                  " of " + std::to_string(length) + " body bytes");
      } else if (!pending.empty()) {
        Malformed("output ended inside a length word (" + std::to_string(pending.size()) +
                  " of 4 bytes)");
      }
      break;
    }
    pending.append(buffer, static_cast<size_t>(n));
    if (!TakeFrames(pending))
      break;
  }
  EndOutput();
}

bool HostSession::TakeFrames(std::string& pending) {
  size_t taken = 0;
  while (pending.size() - taken >= kLengthWordSize) {
    const size_t length = DecodeLengthWord(pending.data() + taken);
    if (length > kLargestFrameText) {
      Malformed("length " + std::to_string(length) + " exceeds " +
                std::to_string(kLargestFrameText));
      return false;
    }
    if (pending.size() - taken < kLengthWordSize + length)
      break;
    Deliver(pending.substr(taken + kLengthWordSize, length));
    taken += kLengthWordSize + length;
  }
  pending.erase(0, taken);
  return true;
}

void HostSession::Deliver(std::string body) {
  // Parsing every body is the reader's largest cost: only done for a caller
  // who hears of malformed ones, so a bench reads as fast as the host writes.
  if (mOptions.onMalformed && !IsOneJsonObject(body))
    Malformed("body is not one JSON object: " + body.substr(0, 200));
  if (mOptions.onFrame)
    mOptions.onFrame(body);
  std::lock_guard<std::mutex> lock(mMutex);
  mFrames.push_back(std::move(body));
  mChanged.notify_all();
}

void HostSession::Malformed(const std::string& why) {
  if (mOptions.onMalformed)
    mOptions.onMalformed(why);
}

void HostSession::EndOutput() {
  std::lock_guard<std::mutex> lock(mMutex);
  mOutputEnded = true;
  mChanged.notify_all();
}

bool HostSession::SendRaw(std::string_view bytes) {
  if (!mInput)
    return false;
  const auto deadline = Clock::now() + mOptions.writeTimeout;
  while (!bytes.empty()) {
    ssize_t n = write(mInput.get(), bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
    } else if (n < 0 && errno == EAGAIN) {
      pollfd writable{mInput.get(), POLLOUT, 0};
      const int left = RemainingMs(deadline);
      if (left == 0 || poll(&writable, 1, left) == 0) {
        errno = ETIMEDOUT;
        return false;
      }
    } else if (!(n < 0 && errno == EINTR)) {
      return false;  // EPIPE: the host closed its input or ended
    }
  }
  return true;
}

bool HostSession::SendFrame(std::string_view body) {
  return SendRaw(EncodeFrame(body));
}

bool HostSession::SendStopWord() {
  return SendRaw(StopWordBytes());
}

void HostSession::CloseInput() {
  mInput.reset();
}

void HostSession::CloseOutput() {
  if (mReader.joinable()) {
    (void)!write(mWakeWrite.get(), "x", 1);
    mReader.join();
  }
  mOutput.reset();
}

std::optional<std::string> HostSession::ReadFrame(Milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mMutex);
  mChanged.wait_for(lock, timeout, [this] { return !mFrames.empty() || mOutputEnded; });
  if (mFrames.empty())
    return std::nullopt;
  std::string frame = std::move(mFrames.front());
  mFrames.pop_front();
  return frame;
}

std::optional<std::vector<std::string>> HostSession::ReadFramesUntil(
    const std::function<bool(const std::string&)>& done, Milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::vector<std::string> frames;
  while (auto frame = ReadFrame(Milliseconds(RemainingMs(deadline)))) {
    frames.push_back(std::move(*frame));
    if (done(frames.back()))
      return frames;
  }
  return std::nullopt;
}

bool HostSession::WaitForEndOfOutput(Milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mMutex);
  return mChanged.wait_for(lock, timeout, [this] { return mOutputEnded; });
}

bool HostSession::AtEndOfOutput() {
  std::lock_guard<std::mutex> lock(mMutex);
  return mOutputEnded && mFrames.empty();
}

std::optional<int> HostSession::WaitForExit(Milliseconds timeout) {
  if (mExitCode || mPid <= 0)
    return mExitCode;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(mPid, &status, WNOHANG);
    if (done == mPid) {
      mExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return mExitCode;
    }
    if ((done < 0 && errno != EINTR) || Clock::now() >= deadline)
      return std::nullopt;
    std::this_thread::sleep_for(Milliseconds(5));
  }
}

void HostSession::Kill() {
  if (mPid <= 0 || WaitForExit(Milliseconds(0)))
    return;
  kill(mPid, SIGKILL);
  int status = 0;
  while (waitpid(mPid, &status, 0) < 0 && errno == EINTR) {
  }
  mExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
