// The descriptor model and its GVariant form.
#include <gtest/gtest.h>

#include <string>

#include "platform/appleevents/AEGVariant.h"
#include "platform/appleevents/AppleEvents.h"

namespace {

struct Desc {
  AEDesc d{typeNull, nullptr};
  ~Desc() { AEDisposeDesc(&d); }
  AEDesc* operator&() { return &d; }
};

GVariant* Parsed(const std::string& text) {
  return g_variant_ref_sink(g_variant_new_parsed(text.c_str()));
}

std::string Printed(GVariant* value) {
  g_autofree char* text = g_variant_print(value, TRUE);
  return text;
}

// The status event of docs/assistant-protocol.md, with a record parameter.
const char kStatusEvent[] =
    "(uint32 0x61657674, <([(uint32 0x6576636c, (uint32 0x74797065, <[byte 0x6f, 0x73, 0x61, "
    "0x4c]>)), (uint32 0x65766964, (uint32 0x74797065, <[byte 0x53, 0x73, 0x73, 0x61]>)), "
    "(uint32 0x61646472, (uint32 0x6e756c6c, <@ay []>)), (uint32 0x72746964, (uint32 "
    "0x6c6f6e67, <[byte 0x07, 0, 0, 0]>)), (uint32 0x7472616e, (uint32 0x6c6f6e67, <[byte 0, 0, "
    "0, 0]>))], [(uint32 0x53547231, (uint32 0x6d61676e, <[byte 0x3c, 0x2b, 0x1a, 0]>)), (uint32 "
    "0x4e4d7367, (uint32 0x54455854, <[byte 0x7b, 0x7d]>)), (uint32 0x53547232, (uint32 "
    "0x7265636f, "
    "<@a(u(uv)) [(1, (0x6e756c6c, <@ay []>))]>))])>)";

TEST(AEGVariant, AnEventTravelsInTheDocumentedFormAndComesBackWhole) {
  Desc noAddress, event, record, null;
  ASSERT_EQ(AECreateAppleEvent(QXFourCC("Laso"), QXFourCC("assS"), &noAddress, 7, 0, &event),
            noErr);
  uint32_t refCon = 0x1a2b3c;
  AEPutParamPtr(&event, QXFourCC("STr1"), typeMagnitude, &refCon, 4);
  AEPutParamPtr(&event, QXFourCC("NMsg"), typeChar, "{}", 2);
  AECreateList(nullptr, 0, true, &record);
  AEPutParamDesc(&record, 1, &null.d);
  AEPutParamDesc(&event, QXFourCC("STr2"), &record.d);
  g_autoptr(GVariant) expected = Parsed(kStatusEvent);
  g_autoptr(GVariant) encoded = g_variant_ref_sink(AEDescToGVariant(&event.d));
  EXPECT_EQ(Printed(encoded), Printed(expected));

  Desc decoded;
  ASSERT_EQ(AEDescFromGVariant(encoded, &decoded), noErr);
  g_autoptr(GVariant) again = g_variant_ref_sink(AEDescToGVariant(&decoded.d));
  EXPECT_EQ(Printed(again), Printed(encoded));
}

template <typename T>
std::string Bytes(T value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// What a status event's refCon may be: a magnitude as it is, or a whole
// number from 0 to 4294967295 of another numeric type; text never is.
TEST(AEDataModel, OnlyWholeNumbersCoerceToAMagnitude) {
  const struct {
    DescType type;
    std::string data;
    OSErr result;
    uint32_t value;
  } rows[] = {
      {typeMagnitude, "\1", noErr, 1},
      {typeIEEE64BitFloatingPoint, Bytes(4294967295.0), noErr, 4294967295u},
      {typeIEEE64BitFloatingPoint, Bytes(1.5), errAECoercionFail, 0},
      {typeSInt16, Bytes(int16_t(-1)), errAECoercionFail, 0},
      {typeChar, "1234", errAECoercionFail, 0},
  };
  for (const auto& row : rows) {
    Desc noAddress, event;
    AECreateAppleEvent(1, 2, &noAddress, kAutoGenerateReturnID, kAnyTransactionID, &event);
    AEPutParamPtr(&event, 1, row.type, row.data.data(), Size(row.data.size()));
    uint32_t value = 0;
    EXPECT_EQ(AEGetParamPtr(&event, 1, typeMagnitude, nullptr, &value, 4, nullptr), row.result);
    EXPECT_EQ(value, row.value) << row.type;
  }
}

}  // namespace
