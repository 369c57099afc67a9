// Arbitrary JSON, after one leading byte the target skips, into the upload
// record list, and what reads written out as the host writes it.
#include <json-c/json.h>

#include <cstdint>
#include <string>

#include "Common/FileList.h"
#include "Common/JsonObjectPtr.h"
#include "fuzz/FuzzClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1)
    return 0;
  const JsonObjectPtr value(json_tokener_parse(QXFuzzText(data + 1, size - 1).c_str()));
  CFileList read;
  std::string written;
  if (value != nullptr && read.FromJSON(value.get()))
    AppendFileListEntriesJSON(read.begin(), read.end(), written);
  return 0;
}
