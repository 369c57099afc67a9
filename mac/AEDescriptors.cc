#include "mac/AEDescriptors.h"

#include "platform/appleevents/AppleEvents.h"

StAEDescriptor::StAEDescriptor(unsigned int type, const void* data, int size) {
  ThrowIfOSErr(AECreateDesc(type, data, size, &mDesc));
}

StAEDescriptor::~StAEDescriptor() {
  AEDisposeDesc(&mDesc);
}

void UAEDesc::AddKeyDesc(AEDesc* target, unsigned int keyword, const AEDesc& value) {
  if (target->descriptorType == typeNull)
    ThrowIfOSErr(AECreateList(nullptr, 0, true, target));
  ThrowIfOSErr(AEPutParamDesc(target, keyword, &value));
}
