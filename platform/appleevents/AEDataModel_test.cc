#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/appleevents/AppleEvents.h"

namespace {

// Owns a descriptor for the length of a test.
struct Desc {
  AEDesc d{typeNull, nullptr};
  ~Desc() { AEDisposeDesc(&d); }
  AEDesc* operator&() { return &d; }
};

std::string Text(const AEDesc* desc) {
  std::string text(AEGetDescDataSize(desc), '\0');
  EXPECT_EQ(AEGetDescData(desc, text.data(), text.size()), noErr);
  return text;
}

TEST(AEDataModel, PlainDataKeepsItsTypeAndBytesAndBadArgumentsAreRejected) {
  Desc text;
  ASSERT_EQ(AECreateDesc(typeChar, "h\0llo", 5, &text), noErr);
  EXPECT_EQ(text.d.descriptorType, typeChar);
  EXPECT_EQ(Text(&text), std::string("h\0llo", 5));

  Desc empty;
  ASSERT_EQ(AECreateDesc(typeChar, nullptr, 0, &empty), noErr);
  EXPECT_NE(empty.d.dataHandle, nullptr);
  EXPECT_EQ(AEGetDescDataSize(&empty), 0);

  Desc null;
  ASSERT_EQ(AECreateDesc(typeNull, nullptr, 0, &null), noErr);
  EXPECT_EQ(null.d.dataHandle, nullptr);

  char buffer[2];
  ASSERT_EQ(AEGetDescData(&text, buffer, 2), noErr);
  EXPECT_EQ(std::string(buffer, 2), std::string("h\0", 2));

  Desc d;
  EXPECT_EQ(AECreateDesc(typeChar, nullptr, 3, &d), paramErr);
  EXPECT_EQ(AECreateDesc(typeChar, "x", -1, &d), paramErr);
  EXPECT_EQ(AECreateDesc(typeAERecord, "x", 1, &d), paramErr);
  EXPECT_EQ(d.d.dataHandle, nullptr);
  EXPECT_EQ(AECreateDesc(typeChar, "x", 1, nullptr), paramErr);
}

TEST(AEDataModel, ListsAppendReplaceIndexAndDuplicate) {
  Desc list;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
  EXPECT_EQ(list.d.descriptorType, typeAEList);
  ASSERT_EQ(AEPutPtr(&list, 0, typeChar, "a", 1), noErr);
  ASSERT_EQ(AEPutPtr(&list, 2, typeChar, "b", 1), noErr);
  ASSERT_EQ(AEPutPtr(&list, 1, typeChar, "c", 1), noErr);
  EXPECT_EQ(AEPutPtr(&list, 4, typeChar, "d", 1), errAEIllegalIndex);
  long count = 0;
  ASSERT_EQ(AECountItems(&list, &count), noErr);
  EXPECT_EQ(count, 2);
  Desc item;
  AEKeyword keyword = 0;
  ASSERT_EQ(AEGetNthDesc(&list, 1, typeWildCard, &keyword, &item), noErr);
  EXPECT_EQ(Text(&item), "c");
  EXPECT_EQ(keyword, AEKeyword(typeWildCard));
  // Results are overwritten, never released: the caller releases them first.
  AEDisposeDesc(&item);
  EXPECT_EQ(AEGetNthDesc(&list, 3, typeWildCard, &keyword, &item), errAEIllegalIndex);
  EXPECT_EQ(AEGetNthDesc(&list, 0, typeWildCard, &keyword, &item), errAEIllegalIndex);

  Desc text;
  AECreateDesc(typeChar, "x", 1, &text);
  EXPECT_EQ(AEPutDesc(&text, 0, &item), errAEWrongDataType);
  EXPECT_EQ(AECountItems(&text, &count), errAEWrongDataType);

  Desc copy;
  ASSERT_EQ(AEDuplicateDesc(&list, &copy), noErr);
  EXPECT_NE(copy.d.dataHandle, list.d.dataHandle) << "a duplicate owns its own data";
  ASSERT_EQ(AEPutPtr(&list, 0, typeChar, "e", 1), noErr);
  AECountItems(&copy, &count);
  EXPECT_EQ(count, 2);
  AECountItems(&list, &count);
  EXPECT_EQ(count, 3);
}

TEST(AEDataModel, RecordsAreKeyedAndReplaceByKey) {
  Desc record;
  ASSERT_EQ(AECreateList(nullptr, 0, true, &record), noErr);
  EXPECT_EQ(record.d.descriptorType, typeAERecord);
  ASSERT_EQ(AEPutKeyPtr(&record, QXFourCC("abcd"), typeChar, "one", 3), noErr);
  ASSERT_EQ(AEPutKeyPtr(&record, QXFourCC("efgh"), typeChar, "two", 3), noErr);
  ASSERT_EQ(AEPutKeyPtr(&record, QXFourCC("abcd"), typeChar, "three", 5), noErr);
  long count = 0;
  AECountItems(&record, &count);
  EXPECT_EQ(count, 2);
  Desc value;
  ASSERT_EQ(AEGetKeyDesc(&record, QXFourCC("abcd"), typeChar, &value), noErr);
  EXPECT_EQ(Text(&value), "three");
  AEKeyword keyword = 0;
  AEDisposeDesc(&value);
  ASSERT_EQ(AEGetNthDesc(&record, 2, typeWildCard, &keyword, &value), noErr);
  EXPECT_EQ(keyword, AEKeyword(QXFourCC("efgh")));
  AEDisposeDesc(&value);
  EXPECT_EQ(AEGetKeyDesc(&record, QXFourCC("none"), typeWildCard, &value), errAEDescNotFound);
  EXPECT_EQ(value.d.dataHandle, nullptr);
  ASSERT_EQ(AEDeleteKeyDesc(&record, QXFourCC("abcd")), noErr);
  EXPECT_EQ(AEDeleteKeyDesc(&record, QXFourCC("abcd")), errAEDescNotFound);
  AECountItems(&record, &count);
  EXPECT_EQ(count, 1);
}

TEST(AEDataModel, EventsHoldAttributesAndParameters) {
  ProcessSerialNumber psn{1, 8};
  Desc address;
  ASSERT_EQ(AECreateDesc(typeProcessSerialNumber, &psn, sizeof psn, &address), noErr);
  Desc event;
  ASSERT_EQ(AECreateAppleEvent(QXFourCC("Laso"), QXFourCC("ADMN"), &address, kAutoGenerateReturnID,
                               kAnyTransactionID, &event),
            noErr);
  EXPECT_EQ(event.d.descriptorType, typeAppleEvent);
  AEEventClass eventClass = 0;
  ASSERT_EQ(
      AEGetAttributePtr(&event, keyEventClassAttr, typeType, nullptr, &eventClass, 4, nullptr),
      noErr);
  EXPECT_EQ(eventClass, AEEventClass(QXFourCC("Laso")));
  ProcessSerialNumber target{};
  Size size = 0;
  DescType type = 0;
  ASSERT_EQ(
      AEGetAttributePtr(&event, keyAddressAttr, typeWildCard, &type, &target, sizeof target, &size),
      noErr);
  EXPECT_EQ(type, typeProcessSerialNumber);
  EXPECT_EQ(target.lowLongOfPSN, 8u);

  ASSERT_EQ(AEPutParamPtr(&event, keyDirectObject, typeChar, "{}", 2), noErr);
  long count = 0;
  AECountItems(&event, &count);
  EXPECT_EQ(count, 1);

  // Type and size alone, then the data cut to the buffer.
  type = 0;
  size = 0;
  ASSERT_EQ(AEGetParamPtr(&event, keyDirectObject, typeChar, &type, nullptr, 0, &size), noErr);
  EXPECT_EQ(type, typeChar);
  EXPECT_EQ(size, 2);
  char first = 0;
  ASSERT_EQ(AEGetParamPtr(&event, keyDirectObject, typeChar, &type, &first, 1, &size), noErr);
  EXPECT_EQ(first, '{');
  EXPECT_EQ(size, 2);
  EXPECT_EQ(AEGetParamPtr(&event, QXFourCC("none"), typeChar, &type, nullptr, 0, &size),
            errAEDescNotFound);

  Desc text;
  AECreateDesc(typeChar, "x", 1, &text);
  EXPECT_EQ(AEPutAttributePtr(&text, QXFourCC("xxxx"), typeChar, "x", 1), errAENotAppleEvent);
  EXPECT_EQ(AEGetParamPtr(&text, keyDirectObject, typeChar, &type, nullptr, 0, &size),
            errAEWrongDataType);

  AEDesc noAddress{typeNull, nullptr};
  Desc a, b;  // Auto-generated return IDs differ.
  AECreateAppleEvent(QXFourCC("Laso"), QXFourCC("ADMN"), &noAddress, kAutoGenerateReturnID, 0, &a);
  AECreateAppleEvent(QXFourCC("Laso"), QXFourCC("ADMN"), &noAddress, kAutoGenerateReturnID, 0, &b);
  int32_t firstID = 0, secondID = 0;
  AEGetAttributePtr(&a, keyReturnIDAttr, typeSInt32, nullptr, &firstID, 4, nullptr);
  AEGetAttributePtr(&b, keyReturnIDAttr, typeSInt32, nullptr, &secondID, 4, nullptr);
  EXPECT_NE(firstID, secondID);
}

template <typename T>
T Value(const AEDesc* desc) {
  T value{};
  EXPECT_EQ(AEGetDescDataSize(desc), Size(sizeof value));
  AEGetDescData(desc, &value, sizeof value);
  return value;
}

TEST(AECoercion, NumbersConvertWithinRangeAndMalformedOnesDoNot) {
  Desc from, to;
  int16_t small = -7;
  AECreateDesc(typeSInt16, &small, 2, &from);
  ASSERT_EQ(AECoerceDesc(&from, typeSInt32, &to), noErr);
  EXPECT_EQ(Value<int32_t>(&to), -7);
  AEDisposeDesc(&to);
  ASSERT_EQ(AECoerceDesc(&from, typeIEEE64BitFloatingPoint, &to), noErr);
  EXPECT_EQ(Value<double>(&to), -7.0);
  AEDisposeDesc(&to);
  EXPECT_EQ(AECoerceDesc(&from, typeMagnitude, &to), errAECoercionFail);
  EXPECT_EQ(to.d.dataHandle, nullptr);

  Desc big;
  int64_t large = int64_t(1) << 40;
  AECreateDesc(typeSInt64, &large, 8, &big);
  EXPECT_EQ(AECoerceDesc(&big, typeSInt32, &to), errAECoercionFail);
  ASSERT_EQ(AECoerceDesc(&big, typeIEEE64BitFloatingPoint, &to), noErr);
  EXPECT_EQ(Value<double>(&to), 1099511627776.0);
  AEDisposeDesc(&to);

  Desc fraction;
  double half = 2.5;
  AECreateDesc(typeIEEE64BitFloatingPoint, &half, 8, &fraction);
  EXPECT_EQ(AECoerceDesc(&fraction, typeSInt32, &to), errAECoercionFail);

  // Eight-byte magnitudes keep their value; a four-byte one becomes a long.
  Desc magnitude;
  uint64_t refCon = 0x12345678;
  AECreateDesc(typeMagnitude, &refCon, 8, &magnitude);
  ASSERT_EQ(AECoerceDesc(&magnitude, typeSInt64, &to), noErr);
  EXPECT_EQ(Value<int64_t>(&to), 0x12345678);
  AEDisposeDesc(&to);
  int32_t id = 42;
  Desc asLong;
  AECreateDesc(typeSInt32, &id, 4, &asLong);
  ASSERT_EQ(AECoerceDesc(&asLong, typeMagnitude, &to), noErr);
  EXPECT_EQ(Value<uint32_t>(&to), 42u);

  // Malformed numbers and text do not coerce.
  AEDisposeDesc(&to);
  Desc shortLong;
  AECreateDesc(typeSInt32, "ab", 2, &shortLong);
  EXPECT_EQ(AECoerceDesc(&shortLong, typeSInt16, &to), errAECoercionFail);
  Desc text;
  AECreateDesc(typeChar, "12", 2, &text);
  EXPECT_EQ(AECoerceDesc(&text, typeMagnitude, &to), errAECoercionFail);
  EXPECT_EQ(AECoerceDesc(&text, typeAERecord, &to), errAECoercionFail);
  ASSERT_EQ(AECoerceDesc(&text, typeWildCard, &to), noErr);
  EXPECT_EQ(to.d.descriptorType, typeChar);
}

TEST(AECoercion, RecordsAndEventsConvertIntoEachOtherAndParametersOnTheWayOut) {
  Desc record;
  AECreateList(nullptr, 0, true, &record);
  AEPutKeyPtr(&record, QXFourCC("kobj"), typeChar, "x", 1);
  Desc location;
  ASSERT_EQ(AECoerceDesc(&record, typeInsertionLoc, &location), noErr);
  EXPECT_EQ(location.d.descriptorType, typeInsertionLoc);
  Desc item;
  ASSERT_EQ(AEGetKeyDesc(&location, QXFourCC("kobj"), typeChar, &item), noErr);
  EXPECT_EQ(Text(&item), "x");

  Desc event;
  ASSERT_EQ(AECoerceDesc(&record, typeAppleEvent, &event), noErr);
  Desc param;
  ASSERT_EQ(AEGetParamDesc(&event, QXFourCC("kobj"), typeChar, &param), noErr);
  Desc back;
  ASSERT_EQ(AECoerceDesc(&event, typeAERecord, &back), noErr);
  EXPECT_EQ(back.d.descriptorType, typeAERecord);
  long count = 0;
  AECountItems(&back, &count);
  EXPECT_EQ(count, 1);

  Desc list, to;
  AECreateList(nullptr, 0, false, &list);
  EXPECT_EQ(AECoerceDesc(&list, typeAERecord, &to), errAECoercionFail);
  EXPECT_EQ(AECoerceDesc(&record, typeChar, &to), errAECoercionFail);

  // Parameters are coerced on the way out.
  int16_t value = 300;
  AEPutKeyPtr(&record, QXFourCC("valu"), typeSInt16, &value, 2);
  Desc asLong;
  ASSERT_EQ(AEGetKeyDesc(&record, QXFourCC("valu"), typeSInt32, &asLong), noErr);
  EXPECT_EQ(Value<int32_t>(&asLong), 300);
  DescType type = 0;
  Size size = 0;
  EXPECT_EQ(AEGetParamPtr(&record, QXFourCC("valu"), typeBoolean, &type, nullptr, 0, &size),
            errAECoercionFail);
}

}  // namespace
