// Scoped ownership of Apple Event descriptors and the builder the client
// layer adds event parameters with. Every failed Apple Event Manager call
// is thrown as its OSErr, so callers catch one type at their boundary.
#pragma once

#include "platform/appleevents/AETypes.h"

inline void ThrowIfOSErr(OSErr err) {
  if (err != noErr)
    throw err;
}

class StAEDescriptor {
 public:
  StAEDescriptor() = default;
  StAEDescriptor(unsigned int type, const void* data, int size);
  ~StAEDescriptor();
  StAEDescriptor(const StAEDescriptor&) = delete;
  StAEDescriptor& operator=(const StAEDescriptor&) = delete;

  // The held descriptor itself, for platform calls that fill or read it.
  operator AEDesc*() { return &mDesc; }
  operator AEDesc&() { return mDesc; }
  operator const AEDesc*() const { return &mDesc; }

 private:
  AEDesc mDesc{typeNull, nullptr};
};

class UAEDesc {
 public:
  // Onto a null target, which first becomes an empty record; on an Apple
  // Event it adds a parameter.
  static void AddKeyDesc(AEDesc* target, unsigned int keyword, const AEDesc& value);
};
