#include "tools/qxclient/HostSession.h"

#include <fcntl.h>
#include <json-c/json.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kLargestFrame = 1048576;

// Reads exactly `size` bytes unless the output ends; returns the count.
size_t ReadFully(int fd, char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = read(fd, buffer + done, size - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    done += static_cast<size_t>(n);
  }
  return done;
}

std::optional<std::string> Member(json_object* object, const char* name) {
  json_object* member = nullptr;
  if (!json_object_object_get_ex(object, name, &member) ||
      !json_object_is_type(member, json_type_string))
    return std::nullopt;
  return std::string(json_object_get_string(member));
}

bool Matches(const std::string& frame, const std::string& word, bool logText) {
  json_object* parsed = json_tokener_parse(frame.c_str());
  bool match = logText ? Member(parsed, "type") == "Log" && Member(parsed, "text") == word
                       : Member(parsed, "code") == word;
  json_object_put(parsed);
  return match;
}

bool IsLogRecord(const std::string& frame) {
  json_object* parsed = json_tokener_parse(frame.c_str());
  bool log = Member(parsed, "type") == "Log";
  json_object_put(parsed);
  return log;
}

bool IsWholeJsonObject(const std::string& body) {
  json_tokener* tokener = json_tokener_new();
  json_object* parsed = json_tokener_parse_ex(tokener, body.data(), static_cast<int>(body.size()));
  bool whole = json_tokener_get_error(tokener) == json_tokener_success &&
               static_cast<size_t>(json_tokener_get_parse_end(tokener)) == body.size() &&
               json_object_is_type(parsed, json_type_object);
  json_object_put(parsed);
  json_tokener_free(tokener);
  return whole;
}

}  // namespace

HostSession::HostSession(const std::vector<std::string>& command, Options options)
    : mOptions(options) {
  signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> args = command;
  std::vector<char*> argv;
  for (auto& arg : args)
    argv.push_back(arg.data());
  argv.push_back(nullptr);

  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0)
    return;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return;
  }
  mPid = fork();
  if (mPid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    execvp(argv[0], argv.data());
    dprintf(2, "qxclient: cannot start %s: %s\n", argv[0], strerror(errno));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  if (mPid < 0) {
    close(in[1]);
    close(out[0]);
    return;
  }
  mInput = in[1];
  mOutput = out[0];
  mReader = std::thread([this] { ReadFrames(); });
}

HostSession::~HostSession() {
  if (mPid > 0) {
    kill(mPid, SIGKILL);
    waitpid(mPid, nullptr, 0);
  }
  CloseInput();
  bool ended;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    ended = mOutputEnded;
  }
  if (ended) {
    mReader.join();
    close(mOutput);
  } else if (mReader.joinable()) {
    mReader.detach();  // the process is ending; the pipe goes with it
  }
}

void HostSession::Malformed(const std::string& why) {
  fprintf(stderr, "qxclient: MALFORMED FRAME: %s\n", why.c_str());
  std::lock_guard<std::mutex> lock(mMutex);
  mMalformed = true;
}

void HostSession::ReadFrames() {
  for (;;) {
    unsigned char word[4];
    size_t got = ReadFully(mOutput, reinterpret_cast<char*>(word), sizeof word);
    if (got == 0)
      break;
    if (got < sizeof word) {
      Malformed("output ended inside a length word (" + std::to_string(got) + " of 4 bytes)");
      break;
    }
    size_t length = word[0] | (word[1] << 8) | (word[2] << 16) | (size_t{word[3]} << 24);
    if (length > kLargestFrame) {
      Malformed("length " + std::to_string(length) + " exceeds " + std::to_string(kLargestFrame));
      break;
    }
    std::string body(length, '\0');
    got = ReadFully(mOutput, body.data(), length);
    if (got < length) {
      Malformed("output ended after " + std::to_string(got) + " of " + std::to_string(length) +
                " body bytes");
      break;
    }
    if (!IsWholeJsonObject(body))
      Malformed("body is not one JSON object: " + body.substr(0, 200));

    if (mOptions.printLogRecords || !IsLogRecord(body)) {
      // Only JSON whitespace can hold a line break, so one frame stays one line.
      std::string line = body;
      std::replace(line.begin(), line.end(), '\n', ' ');
      std::replace(line.begin(), line.end(), '\r', ' ');
      printf("%s\n", line.c_str());
      fflush(stdout);
    }
    std::lock_guard<std::mutex> lock(mMutex);
    mFrames.push_back(std::move(body));
    mChanged.notify_all();
  }
  std::lock_guard<std::mutex> lock(mMutex);
  mOutputEnded = true;
  mChanged.notify_all();
}

bool HostSession::WriteAll(const std::string& bytes) {
  if (mInput < 0)
    return false;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(mInput, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      fprintf(stderr, "qxclient: the host stopped reading: %s\n", strerror(errno));
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool HostSession::SendFrame(const std::string& body) {
  uint32_t n = static_cast<uint32_t>(body.size());
  std::string frame{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                    static_cast<char>((n >> 16) & 0xFF), static_cast<char>(n >> 24)};
  return WriteAll(frame + body);
}

bool HostSession::SendStopWord() {
  return WriteAll(std::string(4, '\xFF'));
}

void HostSession::CloseInput() {
  if (mInput >= 0)
    close(mInput);
  mInput = -1;
}

bool HostSession::WaitFor(const std::string& word, bool logText,
                          std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mMutex);
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    for (; mWaitFrom < mFrames.size(); ++mWaitFrom) {
      if (Matches(mFrames[mWaitFrom], word, logText)) {
        ++mWaitFrom;
        return true;
      }
    }
    if (mOutputEnded)
      return false;
    if (mChanged.wait_until(lock, deadline) == std::cv_status::timeout &&
        mWaitFrom == mFrames.size())
      return false;
  }
}

std::optional<int> HostSession::Finish(std::chrono::milliseconds timeout) {
  CloseInput();
  auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  for (;;) {
    pid_t done = waitpid(mPid, &status, WNOHANG);
    if (done == mPid)
      break;
    if (done < 0 && errno != EINTR)
      return std::nullopt;
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(mPid, SIGKILL);
      waitpid(mPid, nullptr, 0);
      mPid = -1;
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  mPid = -1;
  // Frames the host wrote before it ended may still be in the pipe: print
  // them all. Output held open by a process the host left behind is not
  // waited for beyond the deadline.
  std::unique_lock<std::mutex> lock(mMutex);
  mChanged.wait_until(
      lock, std::max(deadline, std::chrono::steady_clock::now() + std::chrono::seconds(2)),
      [this] { return mOutputEnded; });
  if (!mOutputEnded)
    fprintf(stderr, "qxclient: the host's output stayed open after it ended\n");
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool HostSession::sawMalformedFrame() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mMalformed;
}
