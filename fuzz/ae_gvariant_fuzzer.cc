// Arbitrary bytes as the body of a received Apple Event: decoded as the bus
// delivers it (untrusted, possibly not in normal form), dispatched to the
// status handler, read the way the client reads a status event and encoded
// again.
#include <glib.h>

#include <cstdint>

#include "fuzz/FuzzClient.h"
#include "mac/AEDescriptors.h"
#include "platform/appleevents/AEGVariant.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/BusConnection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_autoptr(GBytes) bytes = g_bytes_new(data, size);
  g_autoptr(GVariant) body = g_variant_ref_sink(
      g_variant_new_from_bytes(G_VARIANT_TYPE(kAEDescriptorGVariantType), bytes, FALSE));
  CQXWebClientNativeMac& client = QXFuzzFreshClient();
  g_autoptr(GVariant) parameters = g_variant_ref_sink(g_variant_new_tuple(&body, 1));
  g_variant_unref(g_variant_ref_sink(QXReceiveAppleEvent(":1.7", parameters)));

  // Without a bus no sender owns the Assistant's name, so the handler stops
  // at its sender check; this is what it would have done.
  StAEDescriptor event;
  if (AEDescFromGVariant(body, event) != noErr)
    return 0;
  client.HandleStatusEvent(event);
  g_variant_unref(g_variant_ref_sink(AEDescToGVariant(event)));
  return 0;
}
