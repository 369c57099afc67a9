// Scoped ownership of Apple Event descriptors and builders for the
// descriptors the client layer makes. Every failed Apple Event Manager call
// is thrown as its OSErr, so callers catch one type at their boundary.
#pragma once

#include <string>

#include "platform/appleevents/AETypes.h"

class StAEDescriptor {
 public:
  StAEDescriptor();
  StAEDescriptor(unsigned int type, const void* data, int size);
  StAEDescriptor(const StAEDescriptor& other);
  // The parameter `keyword` of `container` as `desiredType`.
  StAEDescriptor(const AEDesc& container, unsigned int keyword, unsigned int desiredType);
  explicit StAEDescriptor(unsigned char value);
  explicit StAEDescriptor(short value);
  explicit StAEDescriptor(int value);
  explicit StAEDescriptor(unsigned int code);
  explicit StAEDescriptor(const unsigned char* pascalString);
  ~StAEDescriptor();

  StAEDescriptor& operator=(const StAEDescriptor& other) {
    Assign(other);
    return *this;
  }

  void Assign(unsigned char value);
  void Assign(short value);
  void Assign(int value);
  void Assign(unsigned int code);
  void Assign(const unsigned char* pascalString);
  void Assign(const StAEDescriptor& other);

  void GetParamDesc(const AEDesc& container, unsigned int keyword, unsigned int desiredType);
  // errAEDescNotFound is returned, not thrown.
  OSErr GetOptionalParamDesc(const AEDesc& container, unsigned int keyword,
                             unsigned int desiredType);

  void Dispose();
  void InitToNull();
  bool IsNull() const { return mDesc.dataHandle == nullptr; }

  operator AEDesc*() { return &mDesc; }
  operator AEDesc&() { return mDesc; }
  operator const AEDesc*() const { return &mDesc; }

 private:
  void Create(DescType type, const void* data, long size);

  AEDesc mDesc;
};

class UAEDesc {
 public:
  static void AddKeyDesc(AEDesc* target, unsigned int keyword, const AEDesc& value);
  static void AddDesc(AEDesc* target, long index, const AEDesc& item);
  static void AddPtr(AEDesc* target, long index, unsigned int type, const void* data, long size);
  static void MakeRange(const AEDesc& container, unsigned int objectClass, int start, int stop,
                        AEDesc* result);
  static void MakeInsertionLoc(const AEDesc& object, unsigned int position, AEDesc* result);
  static OSErr MakeBooleanDesc(unsigned char value, AEDesc* result);
};

// The user's Library folder: the home folder with "Library" appended.
std::string CocoaGetLibraryDirectory();
// One line on standard error, stamped with the time and the process.
void InvokeNSLog(const char* text);
void InvokeNSLogW(const std::wstring& text);
