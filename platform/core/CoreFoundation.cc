#include "platform/core/CoreFoundation.h"

CFStringRef CFStringCreateWithUTF8(const std::string& text) {
  return new __QXCFString(text);
}
