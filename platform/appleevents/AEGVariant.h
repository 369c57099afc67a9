// A descriptor tree as a GVariant, the form in which events travel over
// D-Bus. A descriptor is "(uv)": its type and a payload that is "ay" for
// plain data, "a(uv)" for a list, "a(u(uv))" for a record (keyword, item)
// and "(a(u(uv))a(u(uv)))" for an Apple Event (attributes, parameters).
#pragma once

#include <glib.h>

#include "platform/appleevents/AETypes.h"

inline constexpr char kAEDescriptorGVariantType[] = "(uv)";

// A new floating GVariant of the descriptor.
GVariant* AEDescToGVariant(const AEDesc* desc);
// errAENotAEDesc for anything that is not a descriptor of the form above.
OSErr AEDescFromGVariant(GVariant* value, AEDesc* result);
