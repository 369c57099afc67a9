// Arbitrary JSON into the upload record list (first byte even) or the path
// set (odd), and what reads written out again.
#include <json-c/json.h>

#include <cstdint>
#include <string>

#include "Common/FileList.h"
#include "Common/JsonObjectPtr.h"
#include "fuzz/FuzzClient.h"

namespace {

template <typename Container>
void ReadAndWrite(json_object* value) {
  Container read;
  json_object* out = nullptr;
  if (value != nullptr && read.FromJSON(value) && read.ToJSON(out))
    json_object_put(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1)
    return 0;
  const JsonObjectPtr value(json_tokener_parse(QXFuzzText(data + 1, size - 1).c_str()));
  if (data[0] % 2 == 0)
    ReadAndWrite<CFileList>(value.get());
  else
    ReadAndWrite<json_xwstringset>(value.get());
  return 0;
}
