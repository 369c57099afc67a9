#include "Common/json_msg_param.h"

#include <strings.h>

#include <cstdint>

namespace {

// json-c hands back small negative error codes in place of object pointers.
constexpr uintptr_t kLastErrorValues = 4000;

const char kEmptyText[] = "";

bool HasType(const json_object* object, json_type type) {
  return json_msg_is_usable(object) && json_object_get_type(object) == type;
}

// The member's text when it is a string, else null.
const char* StringOf(const json_object* object) {
  return HasType(object, json_type_string)
             ? json_object_get_string(const_cast<json_object*>(object))
             : nullptr;
}

bool EqualsIgnoringCase(const json_object* object, const char* other) {
  const char* text = StringOf(object);
  if (text == nullptr)
    return other == nullptr;
  return other != nullptr && strcasecmp(text, other) == 0;
}

}  // namespace

bool json_msg_is_usable(const json_object* object) {
  const auto value = reinterpret_cast<uintptr_t>(object);
  return value != 0 && value < UINTPTR_MAX - kLastErrorValues + 1;
}

json_object* json_msg_absent() {
  return reinterpret_cast<json_object*>(UINTPTR_MAX);
}

json_msg_param_base::json_msg_param_base(json_object* message, const char* name)
    : mParent(message), mObject(json_msg_absent()) {
  if (!json_msg_is_usable(message))
    return;
  json_object_get(message);
  if (json_object_get_type(message) != json_type_object)
    return;
  json_object* member = json_object_object_get(message, name);
  if (member != nullptr)
    mObject = member;
}

json_msg_param_base::json_msg_param_base(json_object* value)
    : mParent(json_msg_absent()), mObject(value) {}

json_msg_param_base::~json_msg_param_base() {
  if (json_msg_is_usable(mParent))
    json_object_put(mParent);
}

json_msg_param<char*>::json_msg_param(json_object* message, const char* name)
    : json_msg_param_base(message, name) {}

json_msg_param<char*>::operator char*() const {
  const char* text = StringOf(mObject);
  // The shared empty text is never written through this pointer.
  return const_cast<char*>(text != nullptr ? text : kEmptyText);
}

bool json_msg_param<char*>::operator==(const char* other) const {
  return EqualsIgnoringCase(mObject, other);
}

json_msg_param<int>::json_msg_param(json_object* message, const char* name)
    : json_msg_param_base(message, name) {}

json_msg_param<int>::operator int() const {
  return HasType(mObject, json_type_int) ? json_object_get_int(mObject) : 0;
}

json_msg_param<double>::json_msg_param(json_object* message, const char* name)
    : json_msg_param_base(message, name) {}

json_msg_param<double>::operator double() const {
  return HasType(mObject, json_type_double) ? json_object_get_double(mObject) : 0.0;
}

json_msg_param_array::json_msg_param_array(json_object* message, const char* name)
    : json_msg_param_base(message, name) {}

json_msg_param_array::json_msg_param_array(json_object* value) : json_msg_param_base(value) {}

int json_msg_param_array::length() const {
  return HasType(mObject, json_type_array) ? static_cast<int>(json_object_array_length(mObject))
                                           : 0;
}

json_object* json_msg_param_array::operator[](int index) const {
  if (!HasType(mObject, json_type_array))
    return json_msg_absent();
  return json_object_array_get_idx(mObject, static_cast<size_t>(index));
}
