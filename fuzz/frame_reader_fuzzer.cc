// Arbitrary byte streams as the browser's input, read frame by frame until
// the end of input or the stop word.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/FrameReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("frames", MFD_CLOEXEC);
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size) ||
      lseek(fd, 0, SEEK_SET) != 0)
    std::abort();
  // Setting 16 MB aside for every hostile length word would only slow the
  // search down; the bytes read are the same with any reservation.
  FrameReader reader(fd, 4096);
  std::string body;
  while (reader.Read(body) == FrameReader::Result::kFrame) {
  }
  return 0;
}
