// Descriptors over their GVariant payload. Payloads are immutable, so a put
// builds the container's new payload around the old items and shares them.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "platform/appleevents/AEGVariant.h"
#include "platform/appleevents/AppleEvents.h"

namespace {

using DescGuard = std::unique_ptr<AEDesc, OSErr (*)(AEDesc*)>;

enum class Part { Attributes, Parameters };

bool HasShape(const AEDesc* desc, const char* type) {
  return desc != nullptr && desc->dataHandle != nullptr &&
         g_variant_is_of_type(desc->dataHandle, G_VARIANT_TYPE(type));
}

// A new reference to the keyed items of `desc`: an event's attributes or
// parameters, or a record's items as parameters. Null when it has none.
GVariant* Keyed(const AEDesc* desc, Part part) {
  if (HasShape(desc, kAEEventGVariantType))
    return g_variant_get_child_value(desc->dataHandle, part == Part::Attributes ? 0 : 1);
  if (part == Part::Parameters && HasShape(desc, kAERecordGVariantType))
    return g_variant_ref(desc->dataHandle);
  return nullptr;
}

OSErr PutKeyed(AEDesc* desc, Part part, AEKeyword keyword, const AEDesc* value) {
  if (desc == nullptr || value == nullptr)
    return paramErr;
  g_autoptr(GVariant) items = Keyed(desc, part);
  if (items == nullptr)
    return part == Part::Attributes ? errAENotAppleEvent : errAEWrongDataType;
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE(kAERecordGVariantType));
  for (gsize i = 0, n = g_variant_n_children(items); i < n; ++i) {
    g_autoptr(GVariant) item = g_variant_get_child_value(items, i);
    AEKeyword existing = 0;
    g_variant_get_child(item, 0, "u", &existing);
    if (existing != keyword)
      g_variant_builder_add_value(&builder, item);
  }
  g_variant_builder_add(&builder, "(u@(uv))", keyword, AEDescToGVariant(value));
  GVariant* updated = g_variant_builder_end(&builder);
  if (HasShape(desc, kAEEventGVariantType)) {
    g_autoptr(GVariant) other =
        Keyed(desc, part == Part::Attributes ? Part::Parameters : Part::Attributes);
    updated = part == Part::Attributes ? g_variant_new("(@a(u(uv))@a(u(uv)))", updated, other)
                                       : g_variant_new("(@a(u(uv))@a(u(uv)))", other, updated);
  }
  g_variant_unref(desc->dataHandle);
  desc->dataHandle = g_variant_ref_sink(updated);
  return noErr;
}

OSErr PutKeyedPtr(AEDesc* desc, Part part, AEKeyword keyword, DescType typeCode,
                  const void* dataPtr, Size dataSize) {
  AEDesc value{typeNull, nullptr};
  DescGuard guard(&value, AEDisposeDesc);
  OSErr err = AECreateDesc(typeCode, dataPtr, dataSize, &value);
  return err != noErr ? err : PutKeyed(desc, part, keyword, &value);
}

std::optional<long double> NumberOf(const AEDesc* desc) {
  if (!HasShape(desc, kAEDataGVariantType))
    return std::nullopt;
  gsize size = 0;
  const void* data = g_variant_get_fixed_array(desc->dataHandle, &size, 1);
  auto read = [&](auto value) -> std::optional<long double> {
    if (size != sizeof value)
      return std::nullopt;
    std::memcpy(&value, data, size);
    return static_cast<long double>(value);
  };
  switch (desc->descriptorType) {
    case typeBoolean:
      return read(uint8_t{});
    case typeSInt16:
      return read(int16_t{});
    case typeSInt32:
      return read(int32_t{});
    case typeSInt64:
      return read(int64_t{});
    case typeIEEE32BitFloatingPoint:
      return read(float{});
    case typeIEEE64BitFloatingPoint:
      return read(double{});
    default:
      return std::nullopt;
  }
}

// The one coercion anybody asks for: a number of any type to a 4-byte
// magnitude, when it is one.
OSErr Coerce(AEDesc* desc, DescType desiredType) {
  if (desiredType == typeWildCard || desiredType == desc->descriptorType)
    return noErr;
  std::optional<long double> number = NumberOf(desc);
  if (desiredType != typeMagnitude || !number || !std::isfinite(*number) ||
      std::trunc(*number) != *number || *number < 0 || *number > UINT32_MAX) {
    return errAECoercionFail;
  }
  auto magnitude = static_cast<uint32_t>(*number);
  AEDisposeDesc(desc);
  return AECreateDesc(typeMagnitude, &magnitude, sizeof magnitude, desc);
}

OSErr GetKeyed(const AEDesc* desc, Part part, AEKeyword keyword, DescType desiredType,
               AEDesc* result) {
  if (desc == nullptr || result == nullptr)
    return paramErr;
  *result = AEDesc{typeNull, nullptr};
  g_autoptr(GVariant) items = Keyed(desc, part);
  if (items == nullptr)
    return part == Part::Attributes ? errAENotAppleEvent : errAEWrongDataType;
  // A repeated keyword keeps the last item.
  g_autoptr(GVariant) found = nullptr;
  for (gsize i = 0, n = g_variant_n_children(items); i < n; ++i) {
    AEKeyword existing = 0;
    GVariant* item = nullptr;
    g_variant_get_child(items, i, "(u@(uv))", &existing, &item);
    if (existing == keyword)
      std::swap(found, item);
    g_clear_pointer(&item, g_variant_unref);
  }
  if (found == nullptr)
    return errAEDescNotFound;
  OSErr err = AEDescFromGVariant(found, result);
  if (err == noErr)
    err = Coerce(result, desiredType);
  if (err != noErr)
    AEDisposeDesc(result);
  return err;
}

OSErr GetKeyedPtr(const AEDesc* desc, Part part, AEKeyword keyword, DescType desiredType,
                  DescType* actualType, void* dataPtr, Size maximumSize, Size* actualSize) {
  if (maximumSize < 0)
    return paramErr;
  AEDesc value{typeNull, nullptr};
  DescGuard guard(&value, AEDisposeDesc);
  OSErr err = GetKeyed(desc, part, keyword, desiredType, &value);
  if (err != noErr)
    return err;
  if (value.dataHandle != nullptr && !HasShape(&value, kAEDataGVariantType))
    return errAEWrongDataType;
  if (actualType != nullptr)
    *actualType = value.descriptorType;
  if (actualSize != nullptr)
    *actualSize = AEGetDescDataSize(&value);
  if (dataPtr != nullptr && maximumSize > 0)
    AEGetDescData(&value, dataPtr, maximumSize);
  return noErr;
}

}  // namespace

OSErr AECreateDesc(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* result) {
  if (result == nullptr)
    return paramErr;
  *result = AEDesc{typeNull, nullptr};
  // Containers are made with AECreateList and AECreateAppleEvent.
  if (dataSize < 0 || (dataPtr == nullptr && dataSize > 0) || typeCode == typeAEList ||
      typeCode == typeAERecord || typeCode == typeAppleEvent) {
    return paramErr;
  }
  if (typeCode == typeNull && dataSize == 0)
    return noErr;
  *result = AEDesc{typeCode, g_variant_ref_sink(g_variant_new_fixed_array(
                                 G_VARIANT_TYPE_BYTE, dataPtr, static_cast<gsize>(dataSize), 1))};
  return noErr;
}

OSErr AEDisposeDesc(AEDesc* desc) {
  if (desc == nullptr)
    return paramErr;
  g_clear_pointer(&desc->dataHandle, g_variant_unref);
  desc->descriptorType = typeNull;
  return noErr;
}

Size AEGetDescDataSize(const AEDesc* desc) {
  if (!HasShape(desc, kAEDataGVariantType))
    return 0;
  return static_cast<Size>(g_variant_n_children(desc->dataHandle));
}

OSErr AEGetDescData(const AEDesc* desc, void* dataPtr, Size maximumSize) {
  if (desc == nullptr || (dataPtr == nullptr && maximumSize > 0) || maximumSize < 0)
    return paramErr;
  if (desc->dataHandle != nullptr && !HasShape(desc, kAEDataGVariantType))
    return errAEWrongDataType;
  Size size = std::min(AEGetDescDataSize(desc), maximumSize);
  if (size > 0) {
    gsize length = 0;
    std::memcpy(dataPtr, g_variant_get_fixed_array(desc->dataHandle, &length, 1),
                static_cast<size_t>(size));
  }
  return noErr;
}

OSErr AECreateList(const void* factoringPtr, Size factoredSize, bool isRecord, AEDescList* result) {
  if (result == nullptr)
    return paramErr;
  *result = AEDesc{typeNull, nullptr};
  // Factored lists are a size optimisation we have no need of.
  if (factoringPtr != nullptr || factoredSize != 0)
    return paramErr;
  const char* type = isRecord ? kAERecordGVariantType : "a(uv)";
  *result = AEDesc{isRecord ? typeAERecord : typeAEList,
                   g_variant_ref_sink(g_variant_new_array(
                       g_variant_type_element(G_VARIANT_TYPE(type)), nullptr, 0))};
  return noErr;
}

OSErr AECreateAppleEvent(AEEventClass eventClass, AEEventID eventID, const AEAddressDesc* target,
                         AEReturnID returnID, AETransactionID transactionID, AppleEvent* result) {
  if (result == nullptr)
    return paramErr;
  *result = AEDesc{typeNull, nullptr};
  if (target == nullptr)
    return paramErr;
  static std::atomic<int32_t> sLastReturnID{0};
  if (returnID == kAutoGenerateReturnID)
    returnID = ++sLastReturnID;
  AppleEvent event{typeAppleEvent,
                   g_variant_ref_sink(g_variant_new_parsed("(@a(u(uv)) [], @a(u(uv)) [])"))};
  DescGuard guard(&event, AEDisposeDesc);
  PutKeyedPtr(&event, Part::Attributes, keyEventClassAttr, typeType, &eventClass,
              sizeof eventClass);
  PutKeyedPtr(&event, Part::Attributes, keyEventIDAttr, typeType, &eventID, sizeof eventID);
  PutKeyed(&event, Part::Attributes, keyAddressAttr, target);
  PutKeyedPtr(&event, Part::Attributes, keyReturnIDAttr, typeSInt32, &returnID, sizeof returnID);
  PutKeyedPtr(&event, Part::Attributes, keyTransactionIDAttr, typeSInt32, &transactionID,
              sizeof transactionID);
  *result = *guard.release();
  return noErr;
}

OSErr AEPutParamDesc(AppleEvent* event, AEKeyword keyword, const AEDesc* desc) {
  return PutKeyed(event, Part::Parameters, keyword, desc);
}

OSErr AEPutParamPtr(AppleEvent* event, AEKeyword keyword, DescType typeCode, const void* dataPtr,
                    Size dataSize) {
  return PutKeyedPtr(event, Part::Parameters, keyword, typeCode, dataPtr, dataSize);
}

OSErr AEGetParamDesc(const AppleEvent* event, AEKeyword keyword, DescType desiredType,
                     AEDesc* result) {
  return GetKeyed(event, Part::Parameters, keyword, desiredType, result);
}

OSErr AEGetParamPtr(const AppleEvent* event, AEKeyword keyword, DescType desiredType,
                    DescType* actualType, void* dataPtr, Size maximumSize, Size* actualSize) {
  return GetKeyedPtr(event, Part::Parameters, keyword, desiredType, actualType, dataPtr,
                     maximumSize, actualSize);
}

OSErr AEPutAttributePtr(AppleEvent* event, AEKeyword keyword, DescType typeCode,
                        const void* dataPtr, Size dataSize) {
  return PutKeyedPtr(event, Part::Attributes, keyword, typeCode, dataPtr, dataSize);
}

OSErr AEGetAttributePtr(const AppleEvent* event, AEKeyword keyword, DescType desiredType,
                        DescType* actualType, void* dataPtr, Size maximumSize, Size* actualSize) {
  return GetKeyedPtr(event, Part::Attributes, keyword, desiredType, actualType, dataPtr,
                     maximumSize, actualSize);
}
