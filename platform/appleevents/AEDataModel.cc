#include <atomic>
#include <cstring>

#include "platform/appleevents/AEStorage.h"
#include "platform/appleevents/AppleEvents.h"

using Kind = OpaqueAEDataStorage::Kind;

namespace ae_internal {

namespace {

void CloneItems(const std::vector<AEItem>& from, std::vector<AEItem>& to) {
  to.reserve(from.size());
  for (const AEItem& item : from)
    to.push_back({item.keyword, item.type, Clone(item.storage.get())});
}

}  // namespace

std::unique_ptr<OpaqueAEDataStorage> Clone(const OpaqueAEDataStorage* storage) {
  if (storage == nullptr)
    return nullptr;
  auto copy = std::make_unique<OpaqueAEDataStorage>(storage->kind);
  copy->bytes = storage->bytes;
  CloneItems(storage->items, copy->items);
  CloneItems(storage->attributes, copy->attributes);
  return copy;
}

AEDesc MakeDesc(DescType type, std::unique_ptr<OpaqueAEDataStorage> storage) {
  return AEDesc{type, storage.release()};
}

AEDesc CopyItem(const AEItem& item) {
  return MakeDesc(item.type, Clone(item.storage.get()));
}

void PutKeyed(std::vector<AEItem>& items, AEKeyword keyword, const AEDesc& desc) {
  AEItem item{keyword, desc.descriptorType, Clone(desc.dataHandle)};
  for (AEItem& existing : items) {
    if (existing.keyword == keyword) {
      existing = std::move(item);
      return;
    }
  }
  items.push_back(std::move(item));
}

const AEItem* FindKeyed(const std::vector<AEItem>& items, AEKeyword keyword) {
  for (const AEItem& item : items) {
    if (item.keyword == keyword)
      return &item;
  }
  return nullptr;
}

}  // namespace ae_internal

using namespace ae_internal;

namespace {

// The items a keyed call works on: a record's, or an event's parameters.
std::vector<AEItem>* KeyedItems(AEDesc* desc) {
  if (IsKind(desc, Kind::Record) || IsKind(desc, Kind::Event))
    return &desc->dataHandle->items;
  return nullptr;
}

const std::vector<AEItem>* KeyedItems(const AEDesc* desc) {
  return KeyedItems(const_cast<AEDesc*>(desc));
}

OSErr GetItem(const AEItem* item, DescType desiredType, AEDesc* result) {
  if (item == nullptr)
    return errAEDescNotFound;
  AEDesc found = CopyItem(*item);
  OSErr err = AECoerceDesc(&found, desiredType, result);
  AEDisposeDesc(&found);
  return err;
}

OSErr GetItemPtr(const AEItem* item, DescType desiredType, DescType* actualType, void* dataPtr,
                 Size maximumSize, Size* actualSize) {
  AEDesc value{typeNull, nullptr};
  OSErr err = GetItem(item, desiredType, &value);
  if (err != noErr)
    return err;
  if (value.dataHandle != nullptr && value.dataHandle->kind != Kind::Data) {
    AEDisposeDesc(&value);
    return errAEWrongDataType;
  }
  if (actualType != nullptr)
    *actualType = value.descriptorType;
  if (actualSize != nullptr)
    *actualSize = AEGetDescDataSize(&value);
  if (dataPtr != nullptr && maximumSize > 0)
    AEGetDescData(&value, dataPtr, maximumSize);
  AEDisposeDesc(&value);
  return noErr;
}

OSErr PutPtr(OSErr (*put)(AEDesc*, AEKeyword, const AEDesc*), AEDesc* target, AEKeyword keyword,
             DescType typeCode, const void* dataPtr, Size dataSize) {
  AEDesc value{typeNull, nullptr};
  OSErr err = AECreateDesc(typeCode, dataPtr, dataSize, &value);
  if (err == noErr)
    err = put(target, keyword, &value);
  AEDisposeDesc(&value);
  return err;
}

bool IsContainerType(DescType type) {
  return type == typeAEList || type == typeAERecord || type == typeAppleEvent;
}

}  // namespace

void AEInitializeDesc(AEDesc* desc) {
  *desc = AEDesc{typeNull, nullptr};
}

OSErr AECreateDesc(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* result) {
  if (result == nullptr)
    return paramErr;
  AEInitializeDesc(result);
  if (dataSize < 0 || (dataPtr == nullptr && dataSize > 0) || IsContainerType(typeCode)) {
    return paramErr;
  }
  if (typeCode == typeNull && dataSize == 0)
    return noErr;
  auto storage = std::make_unique<OpaqueAEDataStorage>(Kind::Data);
  const auto* bytes = static_cast<const uint8_t*>(dataPtr);
  storage->bytes.assign(bytes, bytes + dataSize);
  *result = MakeDesc(typeCode, std::move(storage));
  return noErr;
}

OSErr AEDisposeDesc(AEDesc* desc) {
  if (desc == nullptr)
    return paramErr;
  delete desc->dataHandle;
  AEInitializeDesc(desc);
  return noErr;
}

OSErr AEDuplicateDesc(const AEDesc* desc, AEDesc* result) {
  if (desc == nullptr || result == nullptr)
    return paramErr;
  // The source may be the result itself.
  AEDesc copy = MakeDesc(desc->descriptorType, Clone(desc->dataHandle));
  *result = copy;
  return noErr;
}

Size AEGetDescDataSize(const AEDesc* desc) {
  if (!IsKind(desc, Kind::Data))
    return 0;
  return static_cast<Size>(desc->dataHandle->bytes.size());
}

OSErr AEGetDescData(const AEDesc* desc, void* dataPtr, Size maximumSize) {
  if (desc == nullptr || (dataPtr == nullptr && maximumSize > 0) || maximumSize < 0) {
    return paramErr;
  }
  if (desc->dataHandle != nullptr && desc->dataHandle->kind != Kind::Data) {
    return errAEWrongDataType;
  }
  Size size = std::min(AEGetDescDataSize(desc), maximumSize);
  if (size > 0)
    std::memcpy(dataPtr, desc->dataHandle->bytes.data(), size);
  return noErr;
}

OSErr AECreateList(const void* factoringPtr, Size factoredSize, bool isRecord, AEDescList* result) {
  if (result == nullptr)
    return paramErr;
  AEInitializeDesc(result);
  // Factored lists are a size optimisation we have no need of.
  if (factoringPtr != nullptr || factoredSize != 0)
    return paramErr;
  *result = MakeDesc(isRecord ? typeAERecord : typeAEList,
                     std::make_unique<OpaqueAEDataStorage>(isRecord ? Kind::Record : Kind::List));
  return noErr;
}

OSErr AECountItems(const AEDescList* list, long* count) {
  if (list == nullptr || count == nullptr)
    return paramErr;
  if (IsKind(list, Kind::Data) || list->dataHandle == nullptr)
    return errAEWrongDataType;
  *count = static_cast<long>(list->dataHandle->items.size());
  return noErr;
}

OSErr AEPutDesc(AEDescList* list, long index, const AEDesc* desc) {
  if (list == nullptr || desc == nullptr)
    return paramErr;
  if (!IsKind(list, Kind::List))
    return errAEWrongDataType;
  auto& items = list->dataHandle->items;
  AEItem item{0, desc->descriptorType, Clone(desc->dataHandle)};
  if (index == 0 || index == static_cast<long>(items.size()) + 1) {
    items.push_back(std::move(item));
  } else if (index >= 1 && index <= static_cast<long>(items.size())) {
    items[index - 1] = std::move(item);
  } else {
    return errAEIllegalIndex;
  }
  return noErr;
}

OSErr AEPutPtr(AEDescList* list, long index, DescType typeCode, const void* dataPtr,
               Size dataSize) {
  AEDesc value{typeNull, nullptr};
  OSErr err = AECreateDesc(typeCode, dataPtr, dataSize, &value);
  if (err == noErr)
    err = AEPutDesc(list, index, &value);
  AEDisposeDesc(&value);
  return err;
}

OSErr AEGetNthDesc(const AEDescList* list, long index, DescType desiredType, AEKeyword* keyword,
                   AEDesc* result) {
  if (list == nullptr || result == nullptr)
    return paramErr;
  AEInitializeDesc(result);
  if (list->dataHandle == nullptr || list->dataHandle->kind == Kind::Data) {
    return errAEWrongDataType;
  }
  const auto& items = list->dataHandle->items;
  if (index < 1 || index > static_cast<long>(items.size()))
    return errAEIllegalIndex;
  const AEItem& item = items[index - 1];
  if (keyword != nullptr)
    *keyword = list->dataHandle->kind == Kind::List ? AEKeyword(typeWildCard) : item.keyword;
  return GetItem(&item, desiredType, result);
}

OSErr AEPutKeyDesc(AERecord* record, AEKeyword keyword, const AEDesc* desc) {
  return AEPutParamDesc(record, keyword, desc);
}

OSErr AEPutKeyPtr(AERecord* record, AEKeyword keyword, DescType typeCode, const void* dataPtr,
                  Size dataSize) {
  return PutPtr(AEPutKeyDesc, record, keyword, typeCode, dataPtr, dataSize);
}

OSErr AEGetKeyDesc(const AERecord* record, AEKeyword keyword, DescType desiredType,
                   AEDesc* result) {
  return AEGetParamDesc(record, keyword, desiredType, result);
}

OSErr AEDeleteKeyDesc(AERecord* record, AEKeyword keyword) {
  return AEDeleteParam(record, keyword);
}

OSErr AECreateAppleEvent(AEEventClass eventClass, AEEventID eventID, const AEAddressDesc* target,
                         AEReturnID returnID, AETransactionID transactionID, AppleEvent* result) {
  if (result == nullptr)
    return paramErr;
  AEInitializeDesc(result);
  if (target == nullptr)
    return paramErr;
  static std::atomic<int32_t> sLastReturnID{0};
  if (returnID == kAutoGenerateReturnID)
    returnID = ++sLastReturnID;
  AppleEvent event = MakeDesc(typeAppleEvent, std::make_unique<OpaqueAEDataStorage>(Kind::Event));
  AEPutAttributePtr(&event, keyEventClassAttr, typeType, &eventClass, sizeof eventClass);
  AEPutAttributePtr(&event, keyEventIDAttr, typeType, &eventID, sizeof eventID);
  AEPutAttributeDesc(&event, keyAddressAttr, target);
  AEPutAttributePtr(&event, keyReturnIDAttr, typeSInt32, &returnID, sizeof returnID);
  AEPutAttributePtr(&event, keyTransactionIDAttr, typeSInt32, &transactionID, sizeof transactionID);
  *result = event;
  return noErr;
}

OSErr AEPutParamDesc(AppleEvent* event, AEKeyword keyword, const AEDesc* desc) {
  if (event == nullptr || desc == nullptr)
    return paramErr;
  std::vector<AEItem>* items = KeyedItems(event);
  if (items == nullptr)
    return errAEWrongDataType;
  PutKeyed(*items, keyword, *desc);
  return noErr;
}

OSErr AEPutParamPtr(AppleEvent* event, AEKeyword keyword, DescType typeCode, const void* dataPtr,
                    Size dataSize) {
  return PutPtr(AEPutParamDesc, event, keyword, typeCode, dataPtr, dataSize);
}

OSErr AEGetParamDesc(const AppleEvent* event, AEKeyword keyword, DescType desiredType,
                     AEDesc* result) {
  if (event == nullptr || result == nullptr)
    return paramErr;
  AEInitializeDesc(result);
  const std::vector<AEItem>* items = KeyedItems(event);
  if (items == nullptr)
    return errAEWrongDataType;
  return GetItem(FindKeyed(*items, keyword), desiredType, result);
}

OSErr AEGetParamPtr(const AppleEvent* event, AEKeyword keyword, DescType desiredType,
                    DescType* actualType, void* dataPtr, Size maximumSize, Size* actualSize) {
  if (event == nullptr || maximumSize < 0)
    return paramErr;
  const std::vector<AEItem>* items = KeyedItems(event);
  if (items == nullptr)
    return errAEWrongDataType;
  return GetItemPtr(FindKeyed(*items, keyword), desiredType, actualType, dataPtr, maximumSize,
                    actualSize);
}

OSErr AEDeleteParam(AppleEvent* event, AEKeyword keyword) {
  if (event == nullptr)
    return paramErr;
  std::vector<AEItem>* items = KeyedItems(event);
  if (items == nullptr)
    return errAEWrongDataType;
  for (auto it = items->begin(); it != items->end(); ++it) {
    if (it->keyword == keyword) {
      items->erase(it);
      return noErr;
    }
  }
  return errAEDescNotFound;
}

OSErr AEPutAttributeDesc(AppleEvent* event, AEKeyword keyword, const AEDesc* desc) {
  if (event == nullptr || desc == nullptr)
    return paramErr;
  if (!IsKind(event, Kind::Event))
    return errAENotAppleEvent;
  PutKeyed(event->dataHandle->attributes, keyword, *desc);
  return noErr;
}

OSErr AEPutAttributePtr(AppleEvent* event, AEKeyword keyword, DescType typeCode,
                        const void* dataPtr, Size dataSize) {
  return PutPtr(AEPutAttributeDesc, event, keyword, typeCode, dataPtr, dataSize);
}

OSErr AEGetAttributeDesc(const AppleEvent* event, AEKeyword keyword, DescType desiredType,
                         AEDesc* result) {
  if (event == nullptr || result == nullptr)
    return paramErr;
  AEInitializeDesc(result);
  if (!IsKind(event, Kind::Event))
    return errAENotAppleEvent;
  return GetItem(FindKeyed(event->dataHandle->attributes, keyword), desiredType, result);
}

OSErr AEGetAttributePtr(const AppleEvent* event, AEKeyword keyword, DescType desiredType,
                        DescType* actualType, void* dataPtr, Size maximumSize, Size* actualSize) {
  if (event == nullptr || maximumSize < 0)
    return paramErr;
  if (!IsKind(event, Kind::Event))
    return errAENotAppleEvent;
  return GetItemPtr(FindKeyed(event->dataHandle->attributes, keyword), desiredType, actualType,
                    dataPtr, maximumSize, actualSize);
}
