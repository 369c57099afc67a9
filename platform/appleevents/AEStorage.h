// What a descriptor's handle holds. Internal to the Apple Event layer.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/appleevents/AETypes.h"

struct OpaqueAEDataStorage;

// One owned descriptor inside a container: a list item (keyword 0), a keyed
// record item, an event parameter or an event attribute.
struct AEItem {
  AEKeyword keyword = 0;
  DescType type = typeNull;
  std::unique_ptr<OpaqueAEDataStorage> storage;
};

struct OpaqueAEDataStorage {
  // The shape decides which calls apply; a record keeps its shape when it is
  // coerced to another type (an insertion location, an object specifier).
  enum class Kind { Data, List, Record, Event };

  explicit OpaqueAEDataStorage(Kind k) : kind(k) {}

  Kind kind;
  std::vector<uint8_t> bytes;
  std::vector<AEItem> items;
  std::vector<AEItem> attributes;
};

namespace ae_internal {

std::unique_ptr<OpaqueAEDataStorage> Clone(const OpaqueAEDataStorage* storage);
// Takes ownership of the storage into a descriptor.
AEDesc MakeDesc(DescType type, std::unique_ptr<OpaqueAEDataStorage> storage);
// Copies an item into a new descriptor the caller owns.
AEDesc CopyItem(const AEItem& item);
// Puts a copy of the descriptor under the keyword, replacing an item already there.
void PutKeyed(std::vector<AEItem>& items, AEKeyword keyword, const AEDesc& desc);
const AEItem* FindKeyed(const std::vector<AEItem>& items, AEKeyword keyword);

inline bool IsKind(const AEDesc* desc, OpaqueAEDataStorage::Kind kind) {
  return desc != nullptr && desc->dataHandle != nullptr && desc->dataHandle->kind == kind;
}

}  // namespace ae_internal
