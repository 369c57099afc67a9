#include "Assistant/Mac/Cocoa/MacFileOperations/PlatformLog.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace MacFileOperations {

void PlatformLog(const char* text) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::fprintf(stderr, "%s.%03ld %s[%ld] %s\n", stamp, now.tv_nsec / 1000000,
               program_invocation_short_name, static_cast<long>(getpid()), text);
}

}  // namespace MacFileOperations
