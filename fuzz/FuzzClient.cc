#include "fuzz/FuzzClient.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "host/BrowserChannel.h"
#include "platform/app/Application.h"

namespace {

std::unique_ptr<CQXWebClientNativeMac> PrepareProcess() {
  // No display and no session bus: nothing waits for a panel, a connection
  // or an Assistant to start.
  for (const char* name :
       {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"})
    unsetenv(name);
  // Every input logs: millions of lines must not reach the system log, nor
  // pay for reading the zone file.
  setlogmask(LOG_MASK(LOG_EMERG));
  setenv("TZ", "UTC", 1);
  // Frames go to /dev/null: the channel copies fd 1 before pointing it at stderr.
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null < 0 || dup2(null, STDOUT_FILENO) < 0)
    std::abort();
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
