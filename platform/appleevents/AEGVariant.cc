#include "platform/appleevents/AEGVariant.h"

#include <algorithm>

#include "platform/appleevents/AEStorage.h"
#include "platform/appleevents/AppleEvents.h"

using Kind = OpaqueAEDataStorage::Kind;
using namespace ae_internal;

namespace {

constexpr char kDataType[] = "ay";
constexpr char kListType[] = "a(uv)";
constexpr char kRecordType[] = "a(u(uv))";
constexpr char kEventType[] = "(a(u(uv))a(u(uv)))";

GVariant* Encode(DescType type, const OpaqueAEDataStorage* storage);

GVariant* EncodeKeyed(const std::vector<AEItem>& items) {
  GVariantBuilder builder;
  g_variant_builder_init(&builder, G_VARIANT_TYPE(kRecordType));
  for (const AEItem& item : items) {
    g_variant_builder_add(&builder, "(u@(uv))", item.keyword,
                          Encode(item.type, item.storage.get()));
  }
  return g_variant_builder_end(&builder);
}

GVariant* EncodePayload(const OpaqueAEDataStorage* storage) {
  if (storage == nullptr) {
    return g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, nullptr, 0, 1);
  }
  switch (storage->kind) {
    case Kind::List: {
      GVariantBuilder builder;
      g_variant_builder_init(&builder, G_VARIANT_TYPE(kListType));
      for (const AEItem& item : storage->items) {
        g_variant_builder_add_value(&builder, Encode(item.type, item.storage.get()));
      }
      return g_variant_builder_end(&builder);
    }
    case Kind::Record:
      return EncodeKeyed(storage->items);
    case Kind::Event:
      return g_variant_new("(@a(u(uv))@a(u(uv)))", EncodeKeyed(storage->attributes),
                           EncodeKeyed(storage->items));
    case Kind::Data:
      break;
  }
  return g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, storage->bytes.data(),
                                   storage->bytes.size(), 1);
}

GVariant* Encode(DescType type, const OpaqueAEDataStorage* storage) {
  return g_variant_new("(uv)", type, EncodePayload(storage));
}

std::unique_ptr<OpaqueAEDataStorage> Decode(GVariant* value, DescType* type, bool* ok);

bool DecodeKeyed(GVariant* array, std::vector<AEItem>& items) {
  GVariantIter iter;
  g_variant_iter_init(&iter, array);
  AEKeyword keyword;
  GVariant* child;
  while (g_variant_iter_next(&iter, "(u@(uv))", &keyword, &child)) {
    AEItem item{keyword, typeNull, nullptr};
    bool ok = true;
    item.storage = Decode(child, &item.type, &ok);
    g_variant_unref(child);
    if (!ok)
      return false;
    // A repeated keyword replaces the earlier item, as a put would.
    auto same = std::find_if(items.begin(), items.end(),
                             [&](const AEItem& existing) { return existing.keyword == keyword; });
    if (same != items.end()) {
      *same = std::move(item);
    } else {
      items.push_back(std::move(item));
    }
  }
  return true;
}

std::unique_ptr<OpaqueAEDataStorage> Decode(GVariant* value, DescType* type, bool* ok) {
  *ok = false;
  if (!g_variant_is_of_type(value, G_VARIANT_TYPE(kAEDescriptorGVariantType)))
    return nullptr;
  g_autoptr(GVariant) payload = nullptr;
  g_variant_get(value, "(uv)", type, &payload);
  std::unique_ptr<OpaqueAEDataStorage> storage;
  if (g_variant_is_of_type(payload, G_VARIANT_TYPE(kDataType))) {
    gsize size = 0;
    const auto* bytes = static_cast<const uint8_t*>(g_variant_get_fixed_array(payload, &size, 1));
    // A null descriptor has no data; 'null' with data is not one we make.
    if (*type == typeNull) {
      *ok = size == 0;
      return nullptr;
    }
    storage = std::make_unique<OpaqueAEDataStorage>(Kind::Data);
    storage->bytes.assign(bytes, bytes + size);
  } else if (g_variant_is_of_type(payload, G_VARIANT_TYPE(kListType))) {
    storage = std::make_unique<OpaqueAEDataStorage>(Kind::List);
    GVariantIter iter;
    g_variant_iter_init(&iter, payload);
    while (GVariant* child = g_variant_iter_next_value(&iter)) {
      AEItem item{0, typeNull, nullptr};
      bool childOk = true;
      item.storage = Decode(child, &item.type, &childOk);
      g_variant_unref(child);
      if (!childOk)
        return nullptr;
      storage->items.push_back(std::move(item));
    }
  } else if (g_variant_is_of_type(payload, G_VARIANT_TYPE(kRecordType))) {
    storage = std::make_unique<OpaqueAEDataStorage>(Kind::Record);
    if (!DecodeKeyed(payload, storage->items))
      return nullptr;
  } else if (g_variant_is_of_type(payload, G_VARIANT_TYPE(kEventType))) {
    storage = std::make_unique<OpaqueAEDataStorage>(Kind::Event);
    g_autoptr(GVariant) attributes = g_variant_get_child_value(payload, 0);
    g_autoptr(GVariant) parameters = g_variant_get_child_value(payload, 1);
    if (!DecodeKeyed(attributes, storage->attributes) || !DecodeKeyed(parameters, storage->items)) {
      return nullptr;
    }
  } else {
    return nullptr;
  }
  *ok = true;
  return storage;
}

}  // namespace

GVariant* AEDescToGVariant(const AEDesc* desc) {
  return Encode(desc->descriptorType, desc->dataHandle);
}

OSErr AEDescFromGVariant(GVariant* value, AEDesc* result) {
  if (result == nullptr)
    return paramErr;
  AEInitializeDesc(result);
  if (value == nullptr)
    return errAENotAEDesc;
  DescType type = typeNull;
  bool ok = false;
  auto storage = Decode(value, &type, &ok);
  if (!ok)
    return errAENotAEDesc;
  *result = MakeDesc(type, std::move(storage));
  return noErr;
}
