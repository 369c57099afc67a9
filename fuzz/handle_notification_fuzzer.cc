// Arbitrary notification texts, as the Assistant's status events deliver
// them, into the real client.
#include <cstdint>
#include <string>

#include "fuzz/FuzzClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QXFuzzFreshClient().HandleNotification(QXFuzzText(data, size).c_str());
  return 0;
}
