// Reading the JSON in a host's frames.
#pragma once

#include <json-c/json.h>

#include <memory>
#include <optional>
#include <string>

struct JsonDeleter {
  void operator()(json_object* object) const { json_object_put(object); }
};
using JsonPtr = std::unique_ptr<json_object, JsonDeleter>;

// Null when the text does not start with JSON.
JsonPtr ParseJson(const std::string& text);
// True when the whole text is one JSON object, as every frame must be.
bool IsOneJsonObject(const std::string& text);
// The string member `name` of the frame, nullopt when missing or not a string.
std::optional<std::string> FrameString(const std::string& frame, const char* name);
