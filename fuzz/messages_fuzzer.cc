// Arbitrary texts into the real client, each both as a request body, handed
// over as the host hands a frame's bytes, and as a notification, as the
// Assistant's status events deliver them. Each text is also read as a whole
// message and as one list element, and must read as json-c reads it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "Common/MessageParser.h"
#include "fuzz/FuzzClient.h"
#include "platform/core/TextConversion.h"

namespace {

bool SameLists(const CFileList& a, const CFileList& b) {
  if (a.size() != b.size())
    return false;
  for (auto x = a.begin(), y = b.begin(); x != a.end(); ++x, ++y) {
    if (strcmp(TextOf(x->first.first), TextOf(y->first.first)) != 0 ||
        strcmp(TextOf(x->first.second), TextOf(y->first.second)) != 0 ||
        memcmp(&x->second, &y->second, sizeof(double)) != 0)
      return false;
  }
  return true;
}

void CheckAgainstJsonC(const char* text) {
  CFileList quick, slow;
  if (const char* end = QuickListReader().Read(text, quick)) {
    const std::unique_ptr<json_tokener, void (*)(json_tokener*)> tokener(
        json_tokener_new_ex(JSON_TOKENER_DEFAULT_DEPTH - 2), json_tokener_free);
    const int length = static_cast<int>(end - text);
    const JsonObjectPtr element(json_tokener_parse_ex(tokener.get(), text, length));
    if (json_tokener_get_error(tokener.get()) != json_tokener_success ||
        json_tokener_get_parse_end(tokener.get()) != static_cast<size_t>(length))
      abort();
    slow.InsertFromJSON(element.get());
    if (!SameLists(quick, slow))
      abort();
  }
  if (!QXIsValidUTF8(text, strlen(text)))
    return;
  const JsonObjectPtr ours = ParseMessage(text), theirs(json_tokener_parse(text));
  // What we refuse may still come back from json-c: a text that ends in a
  // comment gives its last complete value. What we accept it must accept.
  if (!json_object_is_type(ours.get(), json_type_object))
    return;
  if (!json_object_is_type(theirs.get(), json_type_object))
    abort();
  CFileList ourList, theirList;
  if (TakeFileList(ours.get(), ourList) != TakeFileList(theirs.get(), theirList) ||
      !SameLists(ourList, theirList))
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text = QXFuzzText(data, size);
  CheckAgainstJsonC(text.c_str());
  QXFuzzFreshClient().ExecuteRequestUTF8(text.c_str());
  QXFuzzFreshClient().HandleNotification(text.c_str());
  return 0;
}
