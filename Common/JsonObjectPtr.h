// Owns one json-c reference, so a message is released on every path out of
// its handler, exceptions included.
#pragma once

#include <json-c/json.h>

#include <memory>

#include "Common/json_msg_param.h"

struct JsonObjectRelease {
  void operator()(json_object* object) const {
    if (json_msg_is_usable(object))
      json_object_put(object);
  }
};

using JsonObjectPtr = std::unique_ptr<json_object, JsonObjectRelease>;
