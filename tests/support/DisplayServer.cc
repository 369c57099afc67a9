#include "tests/support/DisplayServer.h"

#include "tests/support/VirtualDisplay.h"
#include "tests/support/WaylandDisplay.h"

std::unique_ptr<DisplayServer> StartDisplayServer(DesktopKind kind) {
  if (kind == DesktopKind::kWayland)
    return std::make_unique<WaylandDisplay>();
  return std::make_unique<VirtualDisplay>();
}
