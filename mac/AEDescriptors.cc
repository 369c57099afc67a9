#include "mac/AEDescriptors.h"

#include <glib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/appleevents/AppleEvents.h"
#include "platform/core/TextConversion.h"

namespace {

void ThrowIfOSErr(OSErr err) {
  if (err != noErr)
    throw err;
}

// Makes `result` a copy of the record coerced to `type`; releases the record.
void CoerceRecord(StAEDescriptor& record, DescType type, AEDesc* result) {
  ThrowIfOSErr(AECoerceDesc(record, type, result));
}

void MakeIndexSpecifier(const AEDesc& container, DescType objectClass, int index, AEDesc* result) {
  StAEDescriptor record;
  StAEDescriptor wanted(objectClass);
  DescType formCode = formAbsolutePosition;
  StAEDescriptor form(typeEnumerated, &formCode, sizeof formCode);
  StAEDescriptor position(index);
  UAEDesc::AddKeyDesc(record, keyAEDesiredClass, wanted);
  UAEDesc::AddKeyDesc(record, keyAEContainer, container);
  UAEDesc::AddKeyDesc(record, keyAEKeyForm, form);
  UAEDesc::AddKeyDesc(record, keyAEKeyData, position);
  CoerceRecord(record, typeObjectSpecifier, result);
}

}  // namespace

StAEDescriptor::StAEDescriptor() {
  InitToNull();
}

StAEDescriptor::StAEDescriptor(unsigned int type, const void* data, int size) {
  InitToNull();
  Create(type, data, size);
}

StAEDescriptor::StAEDescriptor(const StAEDescriptor& other) {
  InitToNull();
  ThrowIfOSErr(AEDuplicateDesc(&other.mDesc, &mDesc));
}

StAEDescriptor::StAEDescriptor(const AEDesc& container, unsigned int keyword,
                               unsigned int desiredType) {
  InitToNull();
  if (container.descriptorType == typeAppleEvent || container.descriptorType == typeAERecord) {
    AEGetParamDesc(&container, keyword, desiredType, &mDesc);
  } else if (container.descriptorType != typeNull) {
    StAEDescriptor record;
    ThrowIfOSErr(AECoerceDesc(&container, typeAERecord, record));
    OSErr err = AEGetParamDesc(record, keyword, desiredType, &mDesc);
    if (err != errAEDescNotFound)
      ThrowIfOSErr(err);
  }
}

StAEDescriptor::StAEDescriptor(unsigned char value) {
  InitToNull();
  Assign(value);
}

StAEDescriptor::StAEDescriptor(short value) {
  InitToNull();
  Assign(value);
}

StAEDescriptor::StAEDescriptor(int value) {
  InitToNull();
  Assign(value);
}

StAEDescriptor::StAEDescriptor(unsigned int code) {
  InitToNull();
  Assign(code);
}

StAEDescriptor::StAEDescriptor(const unsigned char* pascalString) {
  InitToNull();
  Assign(pascalString);
}

StAEDescriptor::~StAEDescriptor() {
  if (mDesc.dataHandle != nullptr)
    AEDisposeDesc(&mDesc);
}

void StAEDescriptor::Create(DescType type, const void* data, long size) {
  Dispose();
  ThrowIfOSErr(AECreateDesc(type, data, size, &mDesc));
}

void StAEDescriptor::Assign(unsigned char value) {
  Create(typeBoolean, &value, sizeof value);
}

void StAEDescriptor::Assign(short value) {
  Create(typeSInt16, &value, sizeof value);
}

void StAEDescriptor::Assign(int value) {
  Create(typeSInt32, &value, sizeof value);
}

void StAEDescriptor::Assign(unsigned int code) {
  Create(typeType, &code, sizeof code);
}

void StAEDescriptor::Assign(const unsigned char* pascalString) {
  Create(typeChar, pascalString + 1, pascalString[0]);
}

void StAEDescriptor::Assign(const StAEDescriptor& other) {
  if (&other == this)
    return;
  Dispose();
  ThrowIfOSErr(AEDuplicateDesc(&other.mDesc, &mDesc));
}

void StAEDescriptor::GetParamDesc(const AEDesc& container, unsigned int keyword,
                                  unsigned int desiredType) {
  Dispose();
  ThrowIfOSErr(AEGetParamDesc(&container, keyword, desiredType, &mDesc));
}

OSErr StAEDescriptor::GetOptionalParamDesc(const AEDesc& container, unsigned int keyword,
                                           unsigned int desiredType) {
  Dispose();
  OSErr err = AEGetParamDesc(&container, keyword, desiredType, &mDesc);
  if (err != errAEDescNotFound)
    ThrowIfOSErr(err);
  return err;
}

void StAEDescriptor::Dispose() {
  if (mDesc.dataHandle != nullptr)
    AEDisposeDesc(&mDesc);
  InitToNull();
}

void StAEDescriptor::InitToNull() {
  mDesc = AEDesc{typeNull, nullptr};
}

void UAEDesc::AddKeyDesc(AEDesc* target, unsigned int keyword, const AEDesc& value) {
  if (target->descriptorType == typeNull) {
    ThrowIfOSErr(AECreateList(nullptr, 0, true, target));
  }
  ThrowIfOSErr(AEPutParamDesc(target, keyword, &value));
}

void UAEDesc::AddDesc(AEDesc* target, long index, const AEDesc& item) {
  if (target->descriptorType == typeNull) {
    ThrowIfOSErr(AEDuplicateDesc(&item, target));
    return;
  }
  if (target->descriptorType != typeAEList) {
    StAEDescriptor list;
    ThrowIfOSErr(AECreateList(nullptr, 0, false, list));
    ThrowIfOSErr(AEPutDesc(list, 0, target));
    AEDisposeDesc(target);
    ThrowIfOSErr(AEDuplicateDesc(list, target));
  }
  ThrowIfOSErr(AEPutDesc(target, index, &item));
}

void UAEDesc::AddPtr(AEDesc* target, long index, unsigned int type, const void* data, long size) {
  StAEDescriptor item(type, data, static_cast<int>(size));
  AddDesc(target, index, item);
}

void UAEDesc::MakeRange(const AEDesc& container, unsigned int objectClass, int start, int stop,
                        AEDesc* result) {
  if (stop <= start) {
    MakeIndexSpecifier(container, objectClass, start, result);
    return;
  }
  StAEDescriptor current(typeCurrentContainer, nullptr, 0);
  StAEDescriptor first;
  StAEDescriptor last;
  MakeIndexSpecifier(current, objectClass, start, first);
  MakeIndexSpecifier(current, objectClass, stop, last);
  StAEDescriptor ends;
  AddKeyDesc(ends, keyAERangeStart, first);
  AddKeyDesc(ends, keyAERangeStop, last);
  StAEDescriptor range;
  CoerceRecord(ends, typeRangeDescriptor, range);

  StAEDescriptor record;
  StAEDescriptor wanted(objectClass);
  DescType formCode = formRange;
  StAEDescriptor form(typeEnumerated, &formCode, sizeof formCode);
  AddKeyDesc(record, keyAEDesiredClass, wanted);
  AddKeyDesc(record, keyAEContainer, container);
  AddKeyDesc(record, keyAEKeyForm, form);
  AddKeyDesc(record, keyAEKeyData, range);
  CoerceRecord(record, typeObjectSpecifier, result);
}

void UAEDesc::MakeInsertionLoc(const AEDesc& object, unsigned int position, AEDesc* result) {
  StAEDescriptor record;
  StAEDescriptor where(typeEnumerated, &position, sizeof position);
  AddKeyDesc(record, keyAEObject, object);
  AddKeyDesc(record, keyAEPosition, where);
  CoerceRecord(record, typeInsertionLoc, result);
}

OSErr UAEDesc::MakeBooleanDesc(unsigned char value, AEDesc* result) {
  return AECreateDesc(typeBoolean, &value, sizeof value, result);
}

std::string CocoaGetLibraryDirectory() {
  g_autofree char* path = g_build_filename(g_get_home_dir(), "Library", nullptr);
  return path;
}

void InvokeNSLog(const char* text) {
  g_autoptr(GDateTime) now = g_date_time_new_now_local();
  g_autofree char* stamp = g_date_time_format(now, "%Y-%m-%d %H:%M:%S.%f");
  // Milliseconds, not the microseconds %f gives.
  if (stamp != nullptr && std::strlen(stamp) > 3)
    stamp[std::strlen(stamp) - 3] = '\0';
  const char* program = g_get_prgname();
  std::fprintf(stderr, "%s %s[%d] %s\n", stamp != nullptr ? stamp : "",
               program != nullptr ? program : "", static_cast<int>(getpid()),
               text != nullptr ? text : "(null)");
}

void InvokeNSLogW(const std::wstring& text) {
  InvokeNSLog(QXEncodeUTF8(text.data(), text.size()).c_str());
}
