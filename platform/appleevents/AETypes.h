// The Apple Event descriptor model and result codes, kept with the classic
// names so that the client layer reads the same on every platform.
#pragma once

#include <cstdint>

typedef int16_t OSErr;
typedef uint32_t FourCharCode;
typedef FourCharCode DescType;
typedef FourCharCode AEKeyword;
typedef FourCharCode AEEventClass;
typedef FourCharCode AEEventID;
typedef int32_t AESendMode;
typedef int16_t AESendPriority;
typedef int32_t AEReturnID;
typedef int32_t AETransactionID;
typedef intptr_t SRefCon;
typedef long Size;

// A descriptor's payload is the GVariant it travels as (AEGVariant.h), held
// by reference and never changed in place; released with AEDisposeDesc.
typedef struct _GVariant* AEDataStorage;

struct AEDesc {
  DescType descriptorType;
  AEDataStorage dataHandle;
};
typedef AEDesc AEDescList;
typedef AEDesc AEAddressDesc;
typedef AEDesc AppleEvent;

struct ProcessSerialNumber {
  uint32_t highLongOfPSN;
  uint32_t lowLongOfPSN;
};

typedef OSErr (*AEEventHandlerProcPtr)(const AppleEvent* event, AppleEvent* reply,
                                       SRefCon handlerRefCon);
typedef AEEventHandlerProcPtr AEEventHandlerUPP;

constexpr FourCharCode QXFourCC(const char (&code)[5]) {
  return (FourCharCode(uint8_t(code[0])) << 24) | (FourCharCode(uint8_t(code[1])) << 16) |
         (FourCharCode(uint8_t(code[2])) << 8) | FourCharCode(uint8_t(code[3]));
}

enum : OSErr {
  noErr = 0,
  paramErr = -50,
  errAECoercionFail = -1700,
  errAEDescNotFound = -1701,
  errAEWrongDataType = -1703,
  errAENotAEDesc = -1704,
  errAENotAppleEvent = -1707,
  errAEEventNotHandled = -1708,
  errAETimeout = -1712,
  errAEHandlerNotFound = -1717,
  procNotFound = -600,
  connectionInvalid = -609,
  // Not a classic code: the event is larger than the session bus carries.
  errQXMessageTooLarge = -1790,
};

enum : DescType {
  typeNull = QXFourCC("null"),
  typeAEList = QXFourCC("list"),
  typeAERecord = QXFourCC("reco"),
  typeAppleEvent = QXFourCC("aevt"),
  typeChar = QXFourCC("TEXT"),
  typeProcessSerialNumber = QXFourCC("psn "),
  typeMagnitude = QXFourCC("magn"),
  typeBoolean = QXFourCC("bool"),
  typeSInt16 = QXFourCC("shor"),
  typeSInt32 = QXFourCC("long"),
  typeSInt64 = QXFourCC("comp"),
  typeIEEE32BitFloatingPoint = QXFourCC("sing"),
  typeIEEE64BitFloatingPoint = QXFourCC("doub"),
  typeType = QXFourCC("type"),
  typeWildCard = QXFourCC("****"),
};

enum : AEKeyword {
  keyDirectObject = QXFourCC("----"),
  keyErrorNumber = QXFourCC("errn"),
  keyEventClassAttr = QXFourCC("evcl"),
  keyEventIDAttr = QXFourCC("evid"),
  keyAddressAttr = QXFourCC("addr"),
  // The process that sent a received event, as typeProcessSerialNumber.
  keyOriginalAddressAttr = QXFourCC("from"),
  keyReturnIDAttr = QXFourCC("rtid"),
  keyTransactionIDAttr = QXFourCC("tran"),
};

enum : AEEventClass { kCoreEventClass = QXFourCC("aevt") };
enum : AEEventID { kAEAnswer = QXFourCC("ansr") };

enum : uint32_t { kNoProcess = 0 };

enum : AESendMode {
  kAENoReply = 0x00000001,
  kAEWaitReply = 0x00000003,
  kAENeverInteract = 0x00000010,
};

enum : AESendPriority { kAENormalPriority = 0 };
enum : AEReturnID { kAutoGenerateReturnID = -1 };
enum : AETransactionID { kAnyTransactionID = 0 };
