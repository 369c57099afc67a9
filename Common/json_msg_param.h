// Lenient typed accessors for one member of a parsed JSON message: reading
// never fails, a missing or mistyped member reads as the type's default.
#pragma once

#include <json-c/json.h>

// json-c returns small negative error codes in place of object pointers;
// null, those and the absent marker are all unusable.
bool json_msg_is_usable(const json_object* object);
json_object* json_msg_absent();

class json_msg_param_base {
 public:
  virtual ~json_msg_param_base();
  operator json_object*() const { return mObject; }

 protected:
  json_msg_param_base(json_object* message, const char* name);
  explicit json_msg_param_base(json_object* value);

  json_object* mParent;
  json_object* mObject;

 private:
  json_msg_param_base(const json_msg_param_base&) = delete;
  json_msg_param_base& operator=(const json_msg_param_base&) = delete;
};

template <typename T>
class json_msg_param;

template <>
class json_msg_param<char*> : public json_msg_param_base {
 public:
  json_msg_param(json_object* message, const char* name);
  operator char*() const;
  bool operator==(const char* other) const;
};

template <>
class json_msg_param<int> : public json_msg_param_base {
 public:
  json_msg_param(json_object* message, const char* name);
  operator int() const;
};

template <>
class json_msg_param<double> : public json_msg_param_base {
 public:
  json_msg_param(json_object* message, const char* name);
  operator double() const;
};

class json_msg_param_array : public json_msg_param_base {
 public:
  json_msg_param_array(json_object* message, const char* name);
  explicit json_msg_param_array(json_object* value);
  int length() const;
  json_object* operator[](int index) const;
};
