#include "platform/appleevents/AEGVariant.h"

namespace {

bool IsDescriptor(GVariant* value);

bool AreKeyedDescriptors(GVariant* record) {
  for (gsize i = 0, n = g_variant_n_children(record); i < n; ++i) {
    g_autoptr(GVariant) item = g_variant_get_child_value(record, i);
    g_autoptr(GVariant) desc = g_variant_get_child_value(item, 1);
    if (!IsDescriptor(desc))
      return false;
  }
  return true;
}

bool IsPayload(DescType type, GVariant* payload) {
  if (g_variant_is_of_type(payload, G_VARIANT_TYPE(kAEDataGVariantType)))
    return type != typeNull || g_variant_n_children(payload) == 0;
  if (g_variant_is_of_type(payload, G_VARIANT_TYPE("a(uv)"))) {
    for (gsize i = 0, n = g_variant_n_children(payload); i < n; ++i) {
      g_autoptr(GVariant) item = g_variant_get_child_value(payload, i);
      if (!IsDescriptor(item))
        return false;
    }
    return true;
  }
  if (g_variant_is_of_type(payload, G_VARIANT_TYPE(kAERecordGVariantType)))
    return AreKeyedDescriptors(payload);
  if (!g_variant_is_of_type(payload, G_VARIANT_TYPE(kAEEventGVariantType)))
    return false;
  g_autoptr(GVariant) attributes = g_variant_get_child_value(payload, 0);
  g_autoptr(GVariant) parameters = g_variant_get_child_value(payload, 1);
  return AreKeyedDescriptors(attributes) && AreKeyedDescriptors(parameters);
}

bool IsDescriptor(GVariant* value) {
  if (!g_variant_is_of_type(value, G_VARIANT_TYPE(kAEDescriptorGVariantType)))
    return false;
  DescType type = typeNull;
  g_autoptr(GVariant) payload = nullptr;
  g_variant_get(value, "(uv)", &type, &payload);
  return IsPayload(type, payload);
}

}  // namespace

GVariant* AEDescToGVariant(const AEDesc* desc) {
  GVariant* payload = desc->dataHandle;
  if (payload == nullptr)
    payload = g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, nullptr, 0, 1);
  return g_variant_new("(uv)", desc->descriptorType, payload);
}

OSErr AEDescFromGVariant(GVariant* value, AEDesc* result) {
  if (result == nullptr)
    return paramErr;
  *result = AEDesc{typeNull, nullptr};
  if (value == nullptr || !IsDescriptor(value))
    return errAENotAEDesc;
  DescType type = typeNull;
  GVariant* payload = nullptr;
  g_variant_get(value, "(uv)", &type, &payload);
  // A null descriptor holds nothing, whichever way it came.
  if (type == typeNull && g_variant_is_of_type(payload, G_VARIANT_TYPE(kAEDataGVariantType)))
    g_clear_pointer(&payload, g_variant_unref);
  *result = AEDesc{type, payload};
  return noErr;
}
