// Arbitrary byte streams as the browser's input: every frame is read until
// the end of input or the stop word, and each body must be exactly the bytes
// that followed its length word (cut short only where the input ends) and
// survive a round trip through the wide form unchanged.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/FrameCodec.h"
#include "host/FrameReader.h"
#include "platform/core/TextConversion.h"

namespace {

int InputFile() {
  static const int fd = memfd_create("frames", MFD_CLOEXEC);
  if (fd < 0)
    std::abort();
  return fd;
}

void Check(bool condition) {
  if (!condition)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = InputFile();
  Check(ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0);
  Check(write(fd, data, size) == static_cast<ssize_t>(size));
  Check(lseek(fd, 0, SEEK_SET) == 0);

  // Setting 16 MB aside for every hostile length word would only slow the
  // search down; the bytes read are the same with any reservation.
  FrameReader reader(fd, 4096);
  std::string body;
  size_t offset = 0;
  for (;;) {
    const FrameReader::Result result = reader.Read(body);
    if (result == FrameReader::Result::kEndOfInput) {
      Check(size - offset < kLengthWordSize && body.empty());
      break;
    }
    Check(size - offset >= kLengthWordSize);
    const uint32_t length = DecodeLengthWord(reinterpret_cast<const char*>(data + offset));
    offset += kLengthWordSize;
    if (result == FrameReader::Result::kStopWord) {
      Check(length == kFrameStopWord);
      break;
    }
    const size_t expected = std::min<size_t>(length, size - offset);
    Check(body.size() == expected && std::memcmp(body.data(), data + offset, expected) == 0);
    offset += expected;

    const std::wstring text = QXDecodeUTF8(body.data(), body.size());
    Check(QXEncodeUTF8(text.data(), text.size()) == body);
  }
  return 0;
}
