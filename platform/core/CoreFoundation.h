// A minimal reference-counted string object in the shape of CoreFoundation's,
// for interfaces that hand an owned string to their caller.
#pragma once

#include <string>

struct __QXCFType {
  virtual ~__QXCFType() = default;
  long refCount = 1;
};

struct __QXCFString : __QXCFType {
  explicit __QXCFString(std::string utf8) : text(std::move(utf8)) {}
  std::string text;
};

typedef const __QXCFType* CFTypeRef;
typedef const __QXCFString* CFStringRef;

// A new string the caller owns (one reference).
CFStringRef CFStringCreateWithUTF8(const std::string& text);
CFTypeRef CFRetain(CFTypeRef object);
void CFRelease(CFTypeRef object);
// The string's UTF-8 text; empty for null.
const std::string& CFStringGetUTF8(CFStringRef string);

void WC_CFReleaseIfNotNULL(CFTypeRef object);
