// Peak resident memory of the real host binary while it takes one large
// request, beside the target of six times the request's size. The requests:
// a 64 MiB frame (a parameter whose name fills it) and a QueueFilesForUpload
// of 1,000,000 entries. Faceless, the host's alert refuses the queue, so the
// figure is what it holds while reading the request, not an upload list.
//
// Usage: host_memory_bench [HOST-BINARY]
// (default: host/quorvex-webclient-host in the build tree beside bench/).
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/FrameCodec.h"
#include "tools/hostsession/HostEnvironment.h"
#include "tools/hostsession/HostSession.h"

namespace {

constexpr double kTargetFactor = 6.0;
constexpr double kMB = 1e6;

std::string LargeFrame(size_t size) {
  const std::string head = R"({"type":"Request","code":"SetParameter","name":")";
  const std::string tail = "\"}";
  return head + std::string(size - head.size() - tail.size(), 'n') + tail;
}

// Entries of 40 bytes each, as a page queueing a large folder's files sends them.
std::string QueueRequest(size_t entries) {
  std::string body = R"({"type":"Request","code":"QueueFilesForUpload","files_ul":[)";
  body.reserve(body.size() + entries * 40 + 2);
  char entry[64];
  for (size_t i = 0; i < entries; ++i) {
    snprintf(entry, sizeof entry, R"(%s{"file_path":"/tmp/queue/f%07zu.txt"})", i ? "," : "", i);
    body += entry;
  }
  return body + "]}";
}

struct Run {
  double peakMB;
  double seconds;
};

// Runs the host with `input` as its whole standard input and returns its
// peak resident set.
Run RunHost(const std::string& binary, const std::string& input) {
  const int fd = memfd_create("frames", MFD_CLOEXEC);
  if (fd < 0 || write(fd, input.data(), input.size()) != static_cast<ssize_t>(input.size()) ||
      lseek(fd, 0, SEEK_SET) != 0) {
    perror("memfd");
    exit(1);
  }
  // Built before fork, as the child may only make async-signal-safe calls.
  std::vector<std::string> environment = ChangedEnvironment(FacelessHostChanges());
  std::vector<char*> envp;
  for (auto& entry : environment)
    envp.push_back(entry.data());
  envp.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fd, 0);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execle(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr), envp.data());
    _exit(127);
  }
  close(fd);
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    fprintf(stderr, "%s did not run to its end\n", binary.c_str());
    exit(1);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {usage.ru_maxrss * 1024.0 / kMB, seconds};
}

void Measure(const std::string& binary, const char* what, const std::string& body, double idleMB) {
  const Run run = RunHost(binary, EncodeFrame(body) + StopWordBytes());
  const double requestMB = body.size() / kMB;
  const double heldMB = run.peakMB - idleMB;
  printf(
      "%-40s request %7.1f MB  peak %7.1f MB  above idle %7.1f MB = %4.1fx  target %4.1fx "
      "(%7.1f MB)  %6.2f s\n",
      what, requestMB, run.peakMB, heldMB, heldMB / requestMB, kTargetFactor,
      kTargetFactor * requestMB, run.seconds);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string binary = argc > 1 ? argv[1] : HostBesideThisProgram();
  printf("host: %s\n", binary.c_str());
  const Run idle = RunHost(binary, StopWordBytes());
  printf("%-40s peak %7.1f MB\n", "idle (stop word only)", idle.peakMB);
  Measure(binary, "64 MiB frame (SetParameter)", LargeFrame(64 << 20), idle.peakMB);
  Measure(binary, "QueueFilesForUpload of 1,000,000 entries", QueueRequest(1000000), idle.peakMB);
  return 0;
}
