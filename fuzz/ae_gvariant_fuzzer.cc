// Arbitrary bytes as the body of a received Apple Event: decoded as the bus
// delivers it (untrusted, possibly not in normal form), dispatched to the
// status handler, and read the way the client reads a status event. What
// decodes must encode to a form that decodes and encodes to itself.
#include <glib.h>

#include <cstdint>
#include <cstdlib>

#include "fuzz/FuzzClient.h"
#include "mac/AEDescriptors.h"
#include "platform/appleevents/AEGVariant.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/AssistantEvents.h"
#include "platform/appleevents/BusConnection.h"

namespace {

void Check(bool condition) {
  if (!condition)
    std::abort();
}

void ReadAsStatusEvent(CQXWebClientNativeMac& client, const AppleEvent* event) {
  StAEDescriptor refCon;
  AEGetParamDesc(event, kAE_Status_RefCon, typeMagnitude, refCon);
  client.HandleStatusEvent(event);
}

void CheckStableEncoding(const AEDesc* decoded) {
  g_autoptr(GVariant) first = g_variant_ref_sink(AEDescToGVariant(decoded));
  StAEDescriptor again;
  Check(AEDescFromGVariant(first, again) == noErr);
  g_autoptr(GVariant) second = g_variant_ref_sink(AEDescToGVariant(again));
  Check(g_variant_equal(first, second));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_autoptr(GBytes) bytes = g_bytes_new(data, size);
  g_autoptr(GVariant) body = g_variant_ref_sink(
      g_variant_new_from_bytes(G_VARIANT_TYPE(kAEDescriptorGVariantType), bytes, FALSE));

  // The handler table's path. Without a bus no sender owns the Assistant's
  // name, so the status handler stops at its sender check; the reading
  // below is what it would have done.
  CQXWebClientNativeMac& client = QXFuzzFreshClient();
  g_autoptr(GVariant) parameters = g_variant_ref_sink(g_variant_new_tuple(&body, 1));
  g_variant_unref(g_variant_ref_sink(QXReceiveAppleEvent(":1.7", parameters)));

  StAEDescriptor event;
  if (AEDescFromGVariant(body, event) != noErr)
    return 0;
  ReadAsStatusEvent(client, event);
  CheckStableEncoding(event);
  return 0;
}
