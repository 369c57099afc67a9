// Arbitrary texts into the real client, each both as a request body, handed
// over as the host hands a frame's bytes, and as a notification, as the
// Assistant's status events deliver them.
#include <cstdint>
#include <string>

#include "fuzz/FuzzClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = QXFuzzText(data, size);
  QXFuzzFreshClient().ExecuteRequestUTF8(text.c_str());
  QXFuzzFreshClient().HandleNotification(text.c_str());
  return 0;
}
