#include "platform/core/CoreFoundation.h"

CFStringRef CFStringCreateWithUTF8(const std::string& text) { return new __QXCFString(text); }

CFTypeRef CFRetain(CFTypeRef object) {
  if (object != nullptr) ++const_cast<__QXCFType*>(object)->refCount;
  return object;
}

void CFRelease(CFTypeRef object) {
  auto* mutableObject = const_cast<__QXCFType*>(object);
  if (--mutableObject->refCount == 0) delete mutableObject;
}

const std::string& CFStringGetUTF8(CFStringRef string) {
  static const std::string empty;
  return string != nullptr ? string->text : empty;
}

void WC_CFReleaseIfNotNULL(CFTypeRef object) {
  if (object != nullptr) CFRelease(object);
}
