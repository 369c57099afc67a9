// The coercions the client layer needs: between numeric types, between the
// four-character-code types, records to and from Apple Events, and records
// to any other type that is not plain data (insertion locations, object
// specifiers), which keeps them records.
#include <cmath>
#include <cstring>
#include <optional>

#include "platform/appleevents/AEStorage.h"
#include "platform/appleevents/AppleEvents.h"

using Kind = OpaqueAEDataStorage::Kind;
using namespace ae_internal;

namespace {

// A number held exactly: integers as such, everything else as a double.
struct Number {
  bool integral;
  long double value;
};

bool IsNumericType(DescType type) {
  switch (type) {
    case typeSInt16:
    case typeSInt32:
    case typeSInt64:
    case typeMagnitude:
    case typeIEEE32BitFloatingPoint:
    case typeIEEE64BitFloatingPoint:
    case typeBoolean:
      return true;
    default:
      return false;
  }
}

bool IsCodeType(DescType type) {
  return type == typeType || type == typeEnumerated || type == typeKeyword;
}

// Types whose data has a fixed meaning, so a record cannot become one.
bool IsPlainDataType(DescType type) {
  return IsNumericType(type) || IsCodeType(type) || type == typeChar ||
         type == typeProcessSerialNumber || type == typeNull || type == typeAEList;
}

template <typename T>
std::optional<T> Read(const std::vector<uint8_t>& bytes) {
  if (bytes.size() != sizeof(T))
    return std::nullopt;
  T value;
  std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

std::optional<Number> ReadNumber(DescType type, const std::vector<uint8_t>& bytes) {
  auto integral = [](auto value) -> std::optional<Number> {
    if (!value)
      return std::nullopt;
    return Number{true, static_cast<long double>(*value)};
  };
  switch (type) {
    case typeSInt16:
      return integral(Read<int16_t>(bytes));
    case typeSInt32:
      return integral(Read<int32_t>(bytes));
    case typeSInt64:
      return integral(Read<int64_t>(bytes));
    case typeMagnitude:
      // A magnitude is 32 bits; 64 are accepted for values that need them.
      return bytes.size() == 8 ? integral(Read<uint64_t>(bytes)) : integral(Read<uint32_t>(bytes));
    case typeBoolean:
      return integral(Read<uint8_t>(bytes));
    case typeIEEE32BitFloatingPoint:
      if (auto value = Read<float>(bytes))
        return Number{false, *value};
      return std::nullopt;
    case typeIEEE64BitFloatingPoint:
      if (auto value = Read<double>(bytes))
        return Number{false, *value};
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

template <typename T>
OSErr MakeInteger(DescType type, const Number& number, long double low, long double high,
                  AEDesc* result) {
  long double value = number.value;
  if (!std::isfinite(value) || std::trunc(value) != value || value < low || value > high) {
    return errAECoercionFail;
  }
  T converted = static_cast<T>(value);
  return AECreateDesc(type, &converted, sizeof converted, result);
}

OSErr CoerceNumber(DescType toType, const Number& number, AEDesc* result) {
  switch (toType) {
    case typeSInt16:
      return MakeInteger<int16_t>(toType, number, INT16_MIN, INT16_MAX, result);
    case typeSInt32:
      return MakeInteger<int32_t>(toType, number, INT32_MIN, INT32_MAX, result);
    case typeSInt64:
      return MakeInteger<int64_t>(toType, number, static_cast<long double>(INT64_MIN),
                                  static_cast<long double>(INT64_MAX), result);
    case typeMagnitude:
      return MakeInteger<uint32_t>(toType, number, 0, UINT32_MAX, result);
    case typeBoolean:
      return MakeInteger<uint8_t>(toType, number, 0, 1, result);
    case typeIEEE32BitFloatingPoint: {
      float value = static_cast<float>(number.value);
      return AECreateDesc(toType, &value, sizeof value, result);
    }
    case typeIEEE64BitFloatingPoint: {
      double value = static_cast<double>(number.value);
      return AECreateDesc(toType, &value, sizeof value, result);
    }
    default:
      return errAECoercionFail;
  }
}

OSErr CoerceData(const AEDesc* desc, DescType toType, AEDesc* result) {
  const auto& bytes = desc->dataHandle->bytes;
  if (IsNumericType(desc->descriptorType) && IsNumericType(toType)) {
    std::optional<Number> number = ReadNumber(desc->descriptorType, bytes);
    if (!number)
      return errAECoercionFail;
    return CoerceNumber(toType, *number, result);
  }
  if (IsCodeType(desc->descriptorType) && IsCodeType(toType) && bytes.size() == 4) {
    return AECreateDesc(toType, bytes.data(), 4, result);
  }
  return errAECoercionFail;
}

// An event's parameters as a record, or a record's items as an event's
// parameters (an event with no attributes).
OSErr CoerceKeyed(const AEDesc* desc, DescType toType, AEDesc* result) {
  Kind from = desc->dataHandle->kind;
  if (toType == typeAppleEvent) {
    if (from != Kind::Record)
      return errAECoercionFail;
    auto storage = Clone(desc->dataHandle);
    storage->kind = Kind::Event;
    *result = MakeDesc(toType, std::move(storage));
    return noErr;
  }
  if (IsPlainDataType(toType))
    return errAECoercionFail;
  auto storage = Clone(desc->dataHandle);
  storage->kind = Kind::Record;
  storage->attributes.clear();
  *result = MakeDesc(toType, std::move(storage));
  return noErr;
}

}  // namespace

OSErr AECoerceDesc(const AEDesc* desc, DescType toType, AEDesc* result) {
  if (desc == nullptr || result == nullptr)
    return paramErr;
  if (toType == typeWildCard || toType == desc->descriptorType) {
    return AEDuplicateDesc(desc, result);
  }
  AEInitializeDesc(result);
  if (desc->dataHandle == nullptr)
    return errAECoercionFail;
  switch (desc->dataHandle->kind) {
    case Kind::Data:
      return CoerceData(desc, toType, result);
    case Kind::Record:
    case Kind::Event:
      return CoerceKeyed(desc, toType, result);
    case Kind::List:
      break;
  }
  return errAECoercionFail;
}
