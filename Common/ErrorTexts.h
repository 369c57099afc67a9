// The texts of the errors the browser is told of: printf formats whose
// arguments the reporting call passes.
#pragma once

#include "Common/Protocol.h"

// The format for `id`, or null for an id that has none.
const char* QXErrorText(tErrorStringID id);
