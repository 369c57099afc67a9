// Arbitrary request bodies, decoded as the host decodes a frame, into the
// real client.
#include <cstdint>
#include <string>

#include "fuzz/FuzzClient.h"
#include "platform/core/TextConversion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CQXWebClientNativeMac& client = QXFuzzFreshClient();
  std::wstring text = QXDecodeUTF8(reinterpret_cast<const char*>(data), size);
  client.ExecuteRequest(text.data());
  return 0;
}
