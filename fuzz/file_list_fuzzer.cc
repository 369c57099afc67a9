// Arbitrary JSON into the upload record list (first byte even) or the path
// set (odd). What reads must write out and read back the same: the same
// keys byte for byte, in the same order, and the same whole-number sizes.
#include <json-c/json.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "Common/FileList.h"
#include "Common/JsonObjectPtr.h"

namespace {

void Check(bool condition) {
  if (!condition)
    std::abort();
}

const char* TextOf(const xwstring& text) {
  const char* bytes = text;
  return bytes != nullptr ? bytes : "";
}

bool SameText(const xwstring& left, const xwstring& right) {
  return std::strcmp(TextOf(left), TextOf(right)) == 0;
}

// The container as the browser would send it back: serialised and parsed.
template <typename Container>
void CheckRoundTrip(Container& read, Container& again) {
  json_object* out = nullptr;
  Check(read.ToJSON(out));
  const JsonObjectPtr written(out);
  const JsonObjectPtr parsed(json_tokener_parse(json_object_to_json_string(written.get())));
  Check(parsed != nullptr && again.FromJSON(parsed.get()));
  Check(again.size() == read.size());
}

void CheckFileList(json_object* value) {
  CFileList read;
  if (!read.FromJSON(value))
    return;
  CFileList again;
  CheckRoundTrip(read, again);
  for (auto left = read.begin(), right = again.begin(); left != read.end(); ++left, ++right) {
    Check(SameText(left->first.first, right->first.first));
    Check(SameText(left->first.second, right->first.second));
    const double size = left->second;
    if (std::isfinite(size) && std::trunc(size) == size)
      Check(right->second == size);
  }
}

void CheckPathSet(json_object* value) {
  json_xwstringset read;
  if (!read.FromJSON(value))
    return;
  json_xwstringset again;
  CheckRoundTrip(read, again);
  for (auto left = read.begin(), right = again.begin(); left != read.end(); ++left, ++right)
    Check(SameText(*left, *right));
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
  if (data[0] % 2 == 0)
    CheckFileList(value.get());
  else
    CheckPathSet(value.get());
  return 0;
}
