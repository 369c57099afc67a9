#include "mac/AEDescriptors.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/appleevents/AppleEvents.h"

namespace {

std::string Data(const AEDesc& desc) {
  std::string data(AEGetDescDataSize(&desc), '\0');
  AEGetDescData(&desc, data.data(), data.size());
  return data;
}

TEST(StAEDescriptor, ScalarConstructorsMakeTheirTypes) {
  StAEDescriptor null;
  EXPECT_TRUE(null.IsNull());
  EXPECT_EQ(static_cast<AEDesc&>(null).descriptorType, typeNull);

  StAEDescriptor flag(static_cast<unsigned char>(1));
  EXPECT_EQ(static_cast<AEDesc&>(flag).descriptorType, typeBoolean);
  EXPECT_EQ(Data(flag), std::string(1, '\1'));
  StAEDescriptor small(static_cast<short>(-2));
  EXPECT_EQ(static_cast<AEDesc&>(small).descriptorType, typeSInt16);
  EXPECT_EQ(AEGetDescDataSize(small), 2);
  StAEDescriptor number(7);
  EXPECT_EQ(static_cast<AEDesc&>(number).descriptorType, typeSInt32);
  EXPECT_EQ(AEGetDescDataSize(number), 4);
  StAEDescriptor code(static_cast<unsigned int>(QXFourCC("abcd")));
  EXPECT_EQ(static_cast<AEDesc&>(code).descriptorType, typeType);
  const unsigned char pascal[] =
      "\x03"
      "abcdef";
  StAEDescriptor text(pascal);
  EXPECT_EQ(static_cast<AEDesc&>(text).descriptorType, typeChar);
  EXPECT_EQ(Data(text), "abc");
  StAEDescriptor empty(typeChar, "", 0);
  EXPECT_FALSE(empty.IsNull());
  EXPECT_EQ(Data(empty), "");
}

TEST(StAEDescriptor, CopiesOwnTheirData) {
  StAEDescriptor original(typeChar, "abc", 3);
  StAEDescriptor copy(original);
  EXPECT_NE(static_cast<AEDesc&>(copy).dataHandle, static_cast<AEDesc&>(original).dataHandle);
  EXPECT_EQ(Data(copy), "abc");
  original.Assign(5);
  EXPECT_EQ(Data(copy), "abc");
  copy.Assign(copy);
  EXPECT_EQ(Data(copy), "abc");
  copy = original;
  EXPECT_EQ(static_cast<AEDesc&>(copy).descriptorType, typeSInt32);
  copy.Dispose();
  EXPECT_TRUE(copy.IsNull());
}

TEST(StAEDescriptor, FailuresAreThrownAndLeaveNoHandle) {
  try {
    StAEDescriptor bad(typeChar, nullptr, 4);
    FAIL() << "no throw";
  } catch (OSErr err) {
    EXPECT_EQ(err, paramErr);
  }
  StAEDescriptor holder(typeChar, "x", 1);
  EXPECT_THROW(holder.GetParamDesc(holder, keyDirectObject, typeChar), OSErr);
  EXPECT_TRUE(holder.IsNull());
}

TEST(StAEDescriptor, ParametersOfContainers) {
  StAEDescriptor record;
  StAEDescriptor value(typeChar, "v", 1);
  UAEDesc::AddKeyDesc(record, QXFourCC("key1"), value);
  EXPECT_EQ(static_cast<AEDesc&>(record).descriptorType, typeAERecord);

  StAEDescriptor found(record, QXFourCC("key1"), typeChar);
  EXPECT_EQ(Data(found), "v");
  StAEDescriptor missing(record, QXFourCC("none"), typeChar);
  EXPECT_TRUE(missing.IsNull());
  StAEDescriptor fromNull(StAEDescriptor(), QXFourCC("key1"), typeChar);
  EXPECT_TRUE(fromNull.IsNull());
  // Another record type is coerced to a record first; plain data cannot be.
  StAEDescriptor location;
  UAEDesc::MakeInsertionLoc(value, QXFourCC("befo"), location);
  StAEDescriptor object(location, keyAEObject, typeChar);
  EXPECT_EQ(Data(object), "v");
  EXPECT_THROW(StAEDescriptor(value, QXFourCC("key1"), typeChar), OSErr);

  StAEDescriptor optional;
  EXPECT_EQ(optional.GetOptionalParamDesc(record, QXFourCC("none"), typeChar), errAEDescNotFound);
  EXPECT_EQ(optional.GetOptionalParamDesc(record, QXFourCC("key1"), typeChar), noErr);
  EXPECT_EQ(Data(optional), "v");
  EXPECT_THROW(optional.GetOptionalParamDesc(record, QXFourCC("key1"), typeSInt32), OSErr);
}

TEST(UAEDesc, BooleansAndParametersOfEvents) {
  AEDesc flag{typeNull, nullptr};
  ASSERT_EQ(UAEDesc::MakeBooleanDesc(1, &flag), noErr);
  EXPECT_EQ(flag.descriptorType, typeBoolean);
  AEDisposeDesc(&flag);

  StAEDescriptor address;
  StAEDescriptor event;
  ASSERT_EQ(AECreateAppleEvent(QXFourCC("Laso"), QXFourCC("ADMN"), address, kAutoGenerateReturnID,
                               kAnyTransactionID, event),
            noErr);
  StAEDescriptor value(typeChar, "x", 1);
  UAEDesc::AddKeyDesc(event, keyDirectObject, value);
  UAEDesc::AddKeyDesc(event, QXFourCC("navG"), value);
  EXPECT_EQ(static_cast<AEDesc&>(event).descriptorType, typeAppleEvent);
  long count = 0;
  AECountItems(event, &count);
  EXPECT_EQ(count, 2);
}

TEST(UAEDesc, AddDescBuildsLists) {
  StAEDescriptor target;
  StAEDescriptor first(1);
  UAEDesc::AddDesc(target, 0, first);
  EXPECT_EQ(static_cast<AEDesc&>(target).descriptorType, typeSInt32);
  UAEDesc::AddPtr(target, 0, typeChar, "two", 3);
  EXPECT_EQ(static_cast<AEDesc&>(target).descriptorType, typeAEList);
  long count = 0;
  AECountItems(target, &count);
  EXPECT_EQ(count, 2);
  StAEDescriptor item;
  AEGetNthDesc(target, 2, typeWildCard, nullptr, item);
  EXPECT_EQ(Data(item), "two");
  EXPECT_THROW(UAEDesc::AddPtr(target, 9, typeChar, "x", 1), OSErr);
}

TEST(UAEDesc, RangesAndIndexesAreObjectSpecifiers) {
  StAEDescriptor container;
  StAEDescriptor single;
  UAEDesc::MakeRange(container, QXFourCC("file"), 3, 3, single);
  EXPECT_EQ(static_cast<AEDesc&>(single).descriptorType, typeObjectSpecifier);
  StAEDescriptor form(single, keyAEKeyForm, typeEnumerated);
  DescType expectedForm = formAbsolutePosition;
  EXPECT_EQ(Data(form), std::string(reinterpret_cast<const char*>(&expectedForm), 4));
  StAEDescriptor index(single, keyAEKeyData, typeSInt32);
  EXPECT_EQ(Data(index), Data(StAEDescriptor(3)));

  StAEDescriptor range;
  UAEDesc::MakeRange(container, QXFourCC("file"), 2, 5, range);
  StAEDescriptor ends(range, keyAEKeyData, typeWildCard);
  EXPECT_EQ(static_cast<AEDesc&>(ends).descriptorType, typeRangeDescriptor);
  StAEDescriptor stop(ends, keyAERangeStop, typeWildCard);
  StAEDescriptor stopIndex(stop, keyAEKeyData, typeSInt32);
  EXPECT_EQ(Data(stopIndex), Data(StAEDescriptor(5)));
  StAEDescriptor stopContainer(stop, keyAEContainer, typeWildCard);
  EXPECT_EQ(static_cast<AEDesc&>(stopContainer).descriptorType, typeCurrentContainer);
}

TEST(PlatformHelpers, LibraryFolderAndLogLines) {
  EXPECT_EQ(CocoaGetLibraryDirectory(), std::string(g_get_home_dir()) + "/Library");
  testing::internal::CaptureStderr();
  InvokeNSLog("plain line");
  InvokeNSLogW(L"wide \u00e9");
  std::string logged = testing::internal::GetCapturedStderr();
  EXPECT_NE(logged.find("plain line\n"), std::string::npos);
  EXPECT_NE(logged.find("wide \xC3\xA9\n"), std::string::npos);
}

}  // namespace
