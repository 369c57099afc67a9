// Requests per second through the real host binary: the browser's frames in,
// the host's log records out. Each request has a code no operation answers,
// so its only answer is the "ExecuteRequest" record: the figures measure the
// channel, the reader, the request entry and the logger, not a handler.
//
// Usage: host_requests_bench [HOST-BINARY]
// (default: host/quorvex-webclient-host in the build tree beside bench/).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "host/FrameCodec.h"
#include "tools/hostsession/HostEnvironment.h"
#include "tools/hostsession/HostSession.h"

namespace {

using Clock = std::chrono::steady_clock;

// A request of `size` bytes with an unknown code.
std::string Request(size_t size) {
  std::string head = R"({"version":"8.2.0x431","type":"Request","code":"BenchNoOp","pad":")";
  std::string tail = "\"}";
  size_t pad = size > head.size() + tail.size() ? size - head.size() - tail.size() : 0;
  return head + std::string(pad, 'p') + tail;
}

class Host {
 public:
  explicit Host(const std::string& binary) : mSession(Faceless(binary)) {}

  // Both frames the host greets with came.
  bool ok() { return mSession.ReadFrame(kPatience) && mSession.ReadFrame(kPatience); }
  bool Send(const std::string& frame) { return mSession.SendRaw(frame); }

  // Reads frames until `count` "ExecuteRequest" records came.
  bool AwaitRecords(size_t count) {
    for (size_t seen = 0; seen < count;) {
      std::optional<std::string> body = mSession.ReadFrame(kPatience);
      if (!body)
        return false;
      if (body->find("\"text\": \"ExecuteRequest\"") != std::string::npos)
        ++seen;
    }
    return true;
  }

 private:
  static constexpr std::chrono::seconds kPatience{30};

  static HostSession::Options Faceless(const std::string& binary) {
    HostSession::Options options;
    options.command = {binary};
    options.environment = ChangedEnvironment(FacelessHostChanges());
    options.stderrPath = "/dev/null";
    return options;
  }

  HostSession mSession;
};

// Frames written by a thread while this one reads the answers, as a browser
// does, so that neither pipe fills up.
void Pipelined(const std::string& binary, size_t count, size_t size) {
  Host host(binary);
  if (!host.ok()) {
    fprintf(stderr, "cannot start %s\n", binary.c_str());
    exit(1);
  }
  const std::string frame = EncodeFrame(Request(size));
  auto start = Clock::now();
  std::thread writer([&] {
    for (size_t i = 0; i < count; ++i)
      if (!host.Send(frame))
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
         count, frame.size() - kLengthWordSize, seconds, count / seconds,
         count * frame.size() / seconds / 1e6);
}

// One request at a time, each sent only after the previous one's record.
void RoundTrips(const std::string& binary, size_t count, size_t size) {
  Host host(binary);
  if (!host.ok())
    exit(1);
  const std::string frame = EncodeFrame(Request(size));
  auto start = Clock::now();
  for (size_t i = 0; i < count; ++i)
    if (!host.Send(frame) || !host.AwaitRecords(1))
      exit(1);
  auto seconds = std::chrono::duration<double>(Clock::now() - start).count();
  printf("%6zu requests of %6zu bytes, one at a time: %8.3f s  %8.1f us per round trip\n", count,
         frame.size() - kLengthWordSize, seconds, seconds / count * 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  std::string binary = argc > 1 ? argv[1] : HostBesideThisProgram();
  printf("host: %s\n", binary.c_str());
  Pipelined(binary, 10000, 60);
  Pipelined(binary, 10000, 10240);
  RoundTrips(binary, 2000, 60);
  RoundTrips(binary, 2000, 10240);
  return 0;
}
