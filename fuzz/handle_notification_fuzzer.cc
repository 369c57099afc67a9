// Arbitrary notification texts, as the Assistant's status events deliver
// them, into the real client.
#include <cstdint>
#include <string>

#include "fuzz/FuzzClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CQXWebClientNativeMac& client = QXFuzzFreshClient();
  const std::string text(reinterpret_cast<const char*>(data), size);
  client.HandleNotification(text.c_str());
  return 0;
}
