// Arbitrary JSON, after one leading byte the target skips, into the upload
// record list. What reads must write out and read back the same: the same
// keys byte for byte, in the same order, and the same whole-number sizes.
#include <json-c/json.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "Common/FileList.h"
#include "Common/JsonObjectPtr.h"

namespace {

void Check(bool condition) {
  if (!condition)
    std::abort();
}

bool SameText(const xwstring& left, const xwstring& right) {
  return std::strcmp(TextOf(left), TextOf(right)) == 0;
}

void CheckFileList(json_object* value) {
  CFileList read;
  if (!read.FromJSON(value))
    return;
  // The list as the browser would send it back: written as the host writes
  // it, then parsed.
  std::string written;
  AppendFileListEntriesJSON(read.begin(), read.end(), written);
  const JsonObjectPtr parsed(json_tokener_parse(written.c_str()));
  CFileList again;
  Check(parsed != nullptr && again.FromJSON(parsed.get()));
  Check(again.size() == read.size());
  for (auto left = read.begin(), right = again.begin(); left != read.end(); ++left, ++right) {
    Check(SameText(left->first.first, right->first.first));
    Check(SameText(left->first.second, right->first.second));
    const double size = left->second;
    if (std::isfinite(size) && std::trunc(size) == size)
      Check(right->second == size);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1)
    return 0;
  std::unique_ptr<json_tokener, decltype(&json_tokener_free)> tokener(json_tokener_new(),
                                                                      json_tokener_free);
  const JsonObjectPtr value(json_tokener_parse_ex(
      tokener.get(), reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1)));
  if (value == nullptr)
    return 0;
  CheckFileList(value.get());
  return 0;
}
