#include "tools/hostsession/FrameJson.h"

namespace {

// The parsed text, and whether it ended where the text did.
std::pair<JsonPtr, bool> Parse(const std::string& text) {
  json_tokener* tokener = json_tokener_new();
  JsonPtr parsed(json_tokener_parse_ex(tokener, text.data(), static_cast<int>(text.size())));
  if (json_tokener_get_error(tokener) != json_tokener_success)
    parsed.reset();
  const bool whole = static_cast<size_t>(json_tokener_get_parse_end(tokener)) == text.size();
  json_tokener_free(tokener);
  return {std::move(parsed), whole};
}

}  // namespace

JsonPtr ParseJson(const std::string& text) {
  return Parse(text).first;
}

bool IsOneJsonObject(const std::string& text) {
  auto [parsed, whole] = Parse(text);
  return whole && json_object_is_type(parsed.get(), json_type_object);
}

std::optional<std::string> FrameString(const std::string& frame, const char* name) {
  JsonPtr parsed = ParseJson(frame);
  json_object* member = nullptr;
  if (!json_object_object_get_ex(parsed.get(), name, &member) ||
      !json_object_is_type(member, json_type_string))
    return std::nullopt;
  return std::string(json_object_get_string(member),
                     static_cast<size_t>(json_object_get_string_len(member)));
}
