// A minimal string object in the shape of CoreFoundation's, for interfaces
// that hand an owned string to their caller.
#pragma once

#include <string>

struct __QXCFType {
  virtual ~__QXCFType() = default;
};

struct __QXCFString : __QXCFType {
  explicit __QXCFString(std::string utf8) : text(std::move(utf8)) {}
  std::string text;
};

typedef const __QXCFType* CFTypeRef;
typedef const __QXCFString* CFStringRef;

// A new string the caller owns and deletes.
CFStringRef CFStringCreateWithUTF8(const std::string& text);
