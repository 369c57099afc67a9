#pragma once

#include <cstdint>

// Sixtieths of a second since the system started, as a 32-bit count.
uint32_t TickCount();
