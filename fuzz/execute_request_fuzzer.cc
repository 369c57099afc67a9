// Arbitrary request bodies, handed over as the host hands a frame's bytes,
// into the real client.
#include <cstdint>
#include <string>

#include "fuzz/FuzzClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QXFuzzFreshClient().ExecuteRequestUTF8(QXFuzzText(data, size).c_str());
  return 0;
}
