#include "fuzz/FuzzClient.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "host/BrowserChannel.h"
#include "platform/app/Application.h"

namespace {

std::unique_ptr<CQXWebClientNativeMac> PrepareProcess() {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  // No session bus at all: every send and look-up fails at once, nothing
  // waits for an Assistant to start, and no input pays for a connection
  // attempt.
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  unsetenv("XDG_RUNTIME_DIR");

  // Every input logs: millions of lines must not reach the system log.
  setlogmask(LOG_MASK(LOG_EMERG));
  // Log records carry the local time: a fixed zone spares reading the zone
  // file for every line.
  setenv("TZ", "UTC", 1);

  // Frames go to /dev/null: the channel copies fd 1 before pointing it at stderr.
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null < 0 || dup2(null, STDOUT_FILENO) < 0) {
    perror("/dev/null");
    std::abort();
  }
  close(null);
  BrowserChannel::Standard();

  QXApplication::sharedApplication();
  auto client = std::make_unique<CQXWebClientNativeMac>();
  xwstring response;
  client->Initialize(response);

  return client;
}

}  // namespace

CQXWebClientNativeMac& QXFuzzFreshClient() {
  static const std::unique_ptr<CQXWebClientNativeMac> client = PrepareProcess();
  client->Reset();
  CFileList files;
  files.emplace(xwstring_pair("/docs/a.txt", "a.txt"), 3.0);
  files.emplace(xwstring_pair("/docs/sub/c.txt", "sub/c.txt"), 1.0);
  client->AddFiles(files);
  client->SetDownloadLocation(L"/docs");
  return *client;
}

// Set up before libFuzzer reads the corpus, so that the first input's
// coverage is its own.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  QXFuzzFreshClient();
  return 0;
}
