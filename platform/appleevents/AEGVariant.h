// A descriptor tree as a GVariant, the form in which events travel over
// D-Bus and in which descriptors hold their payload. A descriptor is
// "(uv)": its type and a payload that is "ay" for plain data, "a(uv)" for a
// list, "a(u(uv))" for a record (keyword, item) and "(a(u(uv))a(u(uv)))" for
// an Apple Event (attributes, parameters).
#pragma once

#include <glib.h>

#include "platform/appleevents/AETypes.h"

inline constexpr char kAEDescriptorGVariantType[] = "(uv)";
inline constexpr char kAEDataGVariantType[] = "ay";
inline constexpr char kAERecordGVariantType[] = "a(u(uv))";
inline constexpr char kAEEventGVariantType[] = "(a(u(uv))a(u(uv)))";

// A new floating GVariant of the descriptor; it shares the payload.
GVariant* AEDescToGVariant(const AEDesc* desc);
// errAENotAEDesc for anything that is not a descriptor of the form above,
// at any depth; a 'null' descriptor has no data.
OSErr AEDescFromGVariant(GVariant* value, AEDesc* result);
