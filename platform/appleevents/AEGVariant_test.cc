#include "platform/appleevents/AEGVariant.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/appleevents/AppleEvents.h"

namespace {

struct Desc {
  AEDesc d{typeNull, nullptr};
  ~Desc() { AEDisposeDesc(&d); }
  AEDesc* operator&() { return &d; }
};

// Encoding, decoding and encoding again must give the same GVariant: the
// tree survived whole, types, keywords and order included.
void ExpectRoundTrip(const AEDesc* desc) {
  g_autoptr(GVariant) first = g_variant_ref_sink(AEDescToGVariant(desc));
  Desc decoded;
  ASSERT_EQ(AEDescFromGVariant(first, &decoded), noErr);
  EXPECT_EQ(decoded.d.descriptorType, desc->descriptorType);
  g_autoptr(GVariant) second = g_variant_ref_sink(AEDescToGVariant(&decoded.d));
  g_autofree char* a = g_variant_print(first, TRUE);
  g_autofree char* b = g_variant_print(second, TRUE);
  EXPECT_STREQ(a, b);
  // Serialised as D-Bus carries it, too.
  g_autoptr(GBytes) bytes = g_variant_get_data_as_bytes(first);
  g_autoptr(GVariant) wire =
      g_variant_ref_sink(g_variant_new_from_bytes(G_VARIANT_TYPE("(uv)"), bytes, TRUE));
  Desc fromWire;
  EXPECT_EQ(AEDescFromGVariant(wire, &fromWire), noErr);
}

TEST(AEGVariant, EveryKindRoundTrips) {
  Desc null;
  ExpectRoundTrip(&null.d);

  Desc plain;
  AECreateDesc(typeChar, "caf\xC3\xA9\0x", 7, &plain);
  ExpectRoundTrip(&plain.d);
  Desc empty;
  AECreateDesc(typeChar, nullptr, 0, &empty);
  ExpectRoundTrip(&empty.d);

  Desc list;
  AECreateList(nullptr, 0, false, &list);
  AEPutPtr(&list, 0, typeChar, "a", 1);
  AEPutDesc(&list, 0, &null.d);
  ExpectRoundTrip(&list.d);

  Desc record;
  AECreateList(nullptr, 0, true, &record);
  AEPutKeyPtr(&record, QXFourCC("kpos"), typeEnumerated, "befo", 4);
  AEPutKeyDesc(&record, QXFourCC("list"), &list.d);
  ExpectRoundTrip(&record.d);

  Desc location;
  AECoerceDesc(&record, typeInsertionLoc, &location);
  ExpectRoundTrip(&location.d);

  ProcessSerialNumber psn{1, 43};
  Desc address;
  AECreateDesc(typeProcessSerialNumber, &psn, sizeof psn, &address);
  Desc event;
  AECreateAppleEvent(QXFourCC("Laso"), QXFourCC("ADMN"), &address, 7, 0, &event);
  uint64_t refCon = 0xABCDEF;
  AEPutParamPtr(&event, QXFourCC("navG"), typeMagnitude, &refCon, 8);
  AEPutParamDesc(&event, QXFourCC("reco"), &record.d);
  AEPutParamPtr(&event, QXFourCC("NMsg"), typeChar, "{}", 2);
  ExpectRoundTrip(&event.d);

  // The decoded event answers the calls made of it.
  g_autoptr(GVariant) value = g_variant_ref_sink(AEDescToGVariant(&event.d));
  Desc decoded;
  ASSERT_EQ(AEDescFromGVariant(value, &decoded), noErr);
  char text[3] = {};
  Size size = 0;
  ASSERT_EQ(AEGetParamPtr(&decoded, QXFourCC("NMsg"), typeChar, nullptr, text, 2, &size), noErr);
  EXPECT_STREQ(text, "{}");
  AEEventID id = 0;
  ASSERT_EQ(AEGetAttributePtr(&decoded, keyEventIDAttr, typeType, nullptr, &id, 4, nullptr), noErr);
  EXPECT_EQ(id, AEEventID(QXFourCC("ADMN")));

  // An event nested in a list nested in an event.
  Desc outer;
  AECreateAppleEvent(QXFourCC("Laso"), QXFourCC("assS"), &address, 8, 0, &outer);
  Desc nested;
  AECreateList(nullptr, 0, false, &nested);
  AEPutDesc(&nested, 0, &event.d);
  AEPutParamDesc(&outer, keyDirectObject, &nested.d);
  ExpectRoundTrip(&outer.d);
}

TEST(AEGVariant, MalformedValuesAreRejectedWithACode) {
  const char* malformed[] = {
      "'garbage'",
      "(uint32 1, 5)",
      "(uint32 1413830740, <'a string'>)",
      "(uint32 1413830740, <int32 5>)",
      "(uint32 1818850164, <[<(uint32 1, <'x'>)>]>)",
      "(uint32 1818850164, <[(uint32 1, <[byte 1]>), (uint32 2, <true>)]>)",
      "(uint32 1919247215, <[(uint32 1, (uint32 1, <@as []>))]>)",
      "(uint32 1634039412, <([(uint32 1, (uint32 1, <[byte 1]>))], [(uint32 2, (uint32 3, "
      "<5>))])>)",
      "(uint32 1853189228, <[byte 1]>)",
  };
  for (const char* text : malformed) {
    g_autoptr(GError) error = nullptr;
    g_autoptr(GVariant) value = g_variant_parse(nullptr, text, nullptr, nullptr, &error);
    ASSERT_NE(value, nullptr) << text << ": " << error->message;
    Desc decoded;
    EXPECT_EQ(AEDescFromGVariant(value, &decoded), errAENotAEDesc) << text;
    EXPECT_EQ(decoded.d.dataHandle, nullptr) << text;
  }
  Desc none;
  EXPECT_EQ(AEDescFromGVariant(nullptr, &none), errAENotAEDesc);
}

TEST(AEGVariant, UnknownTypesTravelAsTheyAreAndRepeatedKeysKeepTheLast) {
  g_autoptr(GVariant) value = g_variant_ref_sink(
      g_variant_parse(nullptr, "(uint32 2054847098, <[byte 1, 2]>)", nullptr, nullptr, nullptr));
  Desc decoded;
  ASSERT_EQ(AEDescFromGVariant(value, &decoded), noErr);
  EXPECT_EQ(decoded.d.descriptorType, QXFourCC("zzzz"));
  EXPECT_EQ(AEGetDescDataSize(&decoded.d), 2);

  // Of repeated keys the last is kept.
  g_autoptr(GVariant) repeated = g_variant_ref_sink(
      g_variant_parse(nullptr,
                      "(uint32 1919247215, <[(uint32 1, (uint32 1413830740, <[byte 65]>)),"
                      " (uint32 1, (uint32 1413830740, <[byte 66]>))]>)",
                      nullptr, nullptr, nullptr));
  Desc record;
  ASSERT_EQ(AEDescFromGVariant(repeated, &record), noErr);
  long count = 0;
  AECountItems(&record.d, &count);
  EXPECT_EQ(count, 1);
  char c = 0;
  AEGetParamPtr(&record.d, 1, typeChar, nullptr, &c, 1, nullptr);
  EXPECT_EQ(c, 'B');
}

}  // namespace
