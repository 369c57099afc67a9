// qxclient: plays the browser's side of the native-messaging channel.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "tools/hostsession/FrameJson.h"
#include "tools/hostsession/HostSession.h"

namespace {

const char kUsage[] =
    "Usage: qxclient [OPTION]... [LINE]... [-- COMMAND [ARG]...]\n"
    "Starts COMMAND (default: quorvex-webclient-host beside qxclient) as a browser starts\n"
    "its native-messaging host, sends it the script LINEs (or, with none, the lines\n"
    "of standard input) and prints every frame it answers as one JSON line.\n"
    "\n"
    "Script lines:\n"
    "  {...}        a JSON request, sent as one frame\n"
    "  STOP         the stop word 0xFFFFFFFF\n"
    "  CLOSE        closes the host's input (end of input)\n"
    "  SLEEP MS     waits MS milliseconds\n"
    "  WAIT CODE    waits for a frame whose \"code\" is CODE\n"
    "  WAITLOG TEXT waits for a log record whose text is TEXT (the rest of the line)\n"
    "               (both skip frames that an earlier wait already matched)\n"
    "  # ...        a comment; empty lines are skipped\n"
    "After the script the host's input is closed and its output read to the end.\n"
    "\n"
    "Options:\n"
    "  --timeout S  seconds a WAIT and the host's ending may take (default 30)\n"
    "  --no-log     does not print log records\n"
    "  --echo       prints each script line, prefixed \"> \", before running it, and\n"
    "               the comments as they are\n"
    "\n"
    "Exit status: 0 the host ended with status 0 and every frame was well formed;\n"
    "1 a malformed frame, a failed write or a WAIT that timed out; 2 usage;\n"
    "3 the host ended with another status or by a signal; 4 the host did not end in\n"
    "time and was killed.\n";

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos)
    return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

using std::chrono::milliseconds;

// The frame: printed as one line unless it is a log record left out.
void Print(const std::string& frame, bool printLogRecords) {
  if (!printLogRecords && FrameString(frame, "type") == "Log")
    return;
  // Only JSON whitespace can hold a line break, so one frame stays one line.
  std::string line = frame;
  std::replace(line.begin(), line.end(), '\n', ' ');
  std::replace(line.begin(), line.end(), '\r', ' ');
  printf("%s\n", line.c_str());
  fflush(stdout);
}

bool Sent(bool sent) {
  if (!sent)
    fprintf(stderr, "qxclient: the host stopped reading: %s\n", strerror(errno));
  return sent;
}

// Runs one script line; false when it failed.
bool RunLine(HostSession& host, const std::string& line, milliseconds timeout) {
  if (line == "STOP")
    return Sent(host.SendStopWord());
  if (line == "CLOSE") {
    host.CloseInput();
    return true;
  }
  if (line.rfind("SLEEP ", 0) == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(atol(line.c_str() + 6)));
    return true;
  }
  bool logText = line.rfind("WAITLOG ", 0) == 0;
  if (logText || line.rfind("WAIT ", 0) == 0) {
    std::string word = Trim(line.substr(line.find(' ')));
    // Frames an earlier wait passed over are not looked at again.
    auto matches = [&](const std::string& frame) {
      return logText ? FrameString(frame, "type") == "Log" && FrameString(frame, "text") == word
                     : FrameString(frame, "code") == word;
    };
    if (host.ReadFramesUntil(matches, timeout))
      return true;
    fprintf(stderr, "qxclient: no frame \"%s\" within %lld ms\n", word.c_str(),
            static_cast<long long>(timeout.count()));
    return false;
  }
  return Sent(host.SendFrame(line));
}

// Closes the host's input and waits for it to end, killing it after
// `timeout`. The exit code, or nullopt when it had to be killed.
std::optional<int> Finish(HostSession& host, milliseconds timeout) {
  host.CloseInput();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::optional<int> status = host.WaitForExit(timeout);
  if (!status) {
    host.Kill();
    return std::nullopt;
  }
  // Frames the host wrote before it ended may still be in the pipe: print
  // them all. Output held open by a process the host left behind is not
  // waited for beyond the deadline.
  const auto left =
      std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
  if (!host.WaitForEndOfOutput(std::max<milliseconds>(left, std::chrono::seconds(2))))
    fprintf(stderr, "qxclient: the host's output stayed open after it ended\n");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> script;
  std::vector<std::string> command;
  bool printLogRecords = true;
  bool echo = false;
  long timeoutSeconds = 30;

  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--") {
      command.assign(argv + i + 1, argv + argc);
      break;
    } else if (arg == "--help" || arg == "-h") {
      fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--timeout" && i + 1 < argc) {
      timeoutSeconds = atol(argv[++i]);
    } else if (arg == "--no-log") {
      printLogRecords = false;
    } else if (arg == "--echo") {
      echo = true;
    } else if (arg.rfind("--", 0) == 0) {
      fprintf(stderr, "qxclient: unknown option %s\n\n%s", arg.c_str(), kUsage);
      return 2;
    } else {
      script.push_back(arg);
    }
  }
  if (command.empty())
    command.push_back(HostBesideThisProgram());
  if (timeoutSeconds <= 0) {
    fprintf(stderr, "qxclient: --timeout takes a positive number of seconds\n");
    return 2;
  }
  const milliseconds timeout(timeoutSeconds * 1000);

  std::atomic<bool> malformed{false};
  HostSession::Options options;
  options.command = command;
  options.writeTimeout = timeout;
  options.onFrame = [printLogRecords](const std::string& frame) { Print(frame, printLogRecords); };
  options.onMalformed = [&malformed](const std::string& why) {
    fprintf(stderr, "qxclient: MALFORMED FRAME: %s\n", why.c_str());
    malformed = true;
  };
  HostSession host(options);
  if (!host.started()) {
    fprintf(stderr, "qxclient: cannot start %s\n", command[0].c_str());
    return 3;
  }

  bool ok = true;
  auto run = [&](const std::string& raw) {
    std::string line = Trim(raw);
    if (line.empty())
      return;
    if (line[0] == '#') {
      if (echo)
        printf("%s\n", line.c_str());
      return;
    }
    if (echo) {
      printf("> %s\n", line.c_str());
      fflush(stdout);
    }
    ok = RunLine(host, line, timeout) && ok;
  };
  if (script.empty()) {
    for (std::string line; std::getline(std::cin, line);)
      run(line);
  } else {
    for (const auto& line : script)
      run(line);
  }

  std::optional<int> status = Finish(host, timeout);
  if (!status) {
    fprintf(stderr, "qxclient: the host did not end within %ld s and was killed\n", timeoutSeconds);
    return 4;
  }
  if (*status != 0) {
    fprintf(stderr, "qxclient: the host ended with status %d\n", *status);
    return 3;
  }
  return ok && !malformed ? 0 : 1;
}
