// Requests per second through the real host binary: the browser's frames in,
// the host's log records out. Each request has a code no operation answers,
// so its only answer is the "ExecuteRequest" record: the figures measure the
// channel, the reader, the request entry and the logger, not a handler.
//
// Usage: host_requests_bench [HOST-BINARY]
// (default: host/quorvex-webclient-host in the build tree beside bench/).
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/HostBench.h"

namespace {

using Clock = std::chrono::steady_clock;

// A request of `size` bytes with an unknown code.
std::string Request(size_t size) {
  std::string head = R"({"version":"8.2.0x431","type":"Request","code":"BenchNoOp","pad":")";
  std::string tail = "\"}";
  size_t pad = size > head.size() + tail.size() ? size - head.size() - tail.size() : 0;
  return head + std::string(pad, 'p') + tail;
}

bool ReadFully(int fd, char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = read(fd, buffer + done, size - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WriteFully(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

class Host {
 public:
  explicit Host(const std::string& binary) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
      return;
    mPid = fork();
    if (mPid == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 2);
      ExecFacelessHost(binary);
    }
    close(in[0]);
    close(out[1]);
    mInput = in[1];
    mOutput = out[0];
  }
  ~Host() {
    if (mInput >= 0)
      close(mInput);
    if (mPid > 0)
      waitpid(mPid, nullptr, 0);
    if (mOutput >= 0)
      close(mOutput);
  }

  bool ok() const { return mPid > 0; }
  int input() const { return mInput; }

  // Reads one frame; false at the end of output.
  bool ReadFrame(std::string& body) {
    unsigned char word[4];
    if (!ReadFully(mOutput, reinterpret_cast<char*>(word), 4))
      return false;
    size_t n = word[0] | (word[1] << 8) | (word[2] << 16) | (size_t{word[3]} << 24);
    body.resize(n);
    return ReadFully(mOutput, body.data(), n);
  }

  // Reads frames until `count` "ExecuteRequest" records came.
  bool AwaitRecords(size_t count) {
    std::string body;
    for (size_t seen = 0; seen < count;) {
      if (!ReadFrame(body))
        return false;
      if (body.find("\"text\": \"ExecuteRequest\"") != std::string::npos)
        ++seen;
    }
    return true;
  }

 private:
  pid_t mPid = -1;
  int mInput = -1;
  int mOutput = -1;
};

// Frames written by a thread while this one reads the answers, as a browser
// does, so that neither pipe fills up.
void Pipelined(const std::string& binary, size_t count, size_t size) {
  Host host(binary);
  std::string first;
  if (!host.ok() || !host.ReadFrame(first) || !host.ReadFrame(first)) {
    fprintf(stderr, "cannot start %s\n", binary.c_str());
    exit(1);
  }
  std::string frame = Frame(Request(size));
  auto start = Clock::now();
  std::thread writer([&] {
    for (size_t i = 0; i < count; ++i)
      if (!WriteFully(host.input(), frame))
        break;
  });
  bool complete = host.AwaitRecords(count);
  auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
  writer.join();
  if (!complete) {
    fprintf(stderr, "the host ended early\n");
    exit(1);
  }
  printf("%6zu requests of %6zu bytes, pipelined: %8.3f s  %10.0f requests/s  %8.2f MB/s in\n",
         count, frame.size() - 4, seconds, count / seconds, count * frame.size() / seconds / 1e6);
}

// One request at a time, each sent only after the previous one's record.
void RoundTrips(const std::string& binary, size_t count, size_t size) {
  Host host(binary);
  std::string first;
  if (!host.ok() || !host.ReadFrame(first) || !host.ReadFrame(first))
    exit(1);
  std::string frame = Frame(Request(size));
  auto start = Clock::now();
  for (size_t i = 0; i < count; ++i)
    if (!WriteFully(host.input(), frame) || !host.AwaitRecords(1))
      exit(1);
  auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
  printf("%6zu requests of %6zu bytes, one at a time: %8.3f s  %8.1f us per round trip\n", count,
         frame.size() - 4, seconds, seconds / count * 1e6);
}

std::string DefaultHost() {
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
  return path.substr(0, path.find_last_of('/') + 1) + "../host/quorvex-webclient-host";
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  std::string binary = argc > 1 ? argv[1] : DefaultHost();
  printf("host: %s\n", binary.c_str());
  Pipelined(binary, 10000, 60);
  Pipelined(binary, 10000, 10240);
  RoundTrips(binary, 2000, 60);
  RoundTrips(binary, 2000, 10240);
  return 0;
}
