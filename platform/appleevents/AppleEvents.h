// The Apple Event Manager's calls over our descriptor model. Every call
// returns noErr or the manager's own negative result code; output
// descriptors are left null on failure.
#pragma once

#include "platform/appleevents/AETypes.h"

typedef void* AEIdleUPP;
typedef void* AEFilterUPP;

// Descriptors.
OSErr AECreateDesc(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* result);
OSErr AEDisposeDesc(AEDesc* desc);
Size AEGetDescDataSize(const AEDesc* desc);
OSErr AEGetDescData(const AEDesc* desc, void* dataPtr, Size maximumSize);
OSErr AECreateList(const void* factoringPtr, Size factoredSize, bool isRecord, AEDescList* result);

// Apple Events. The parameter calls take records as well. A parameter asked
// for as typeMagnitude may be any whole number from 0 to 4294967295 of a
// numeric type; other types are only ever read as what they are
// (typeWildCard: whatever it is).
OSErr AECreateAppleEvent(AEEventClass eventClass, AEEventID eventID, const AEAddressDesc* target,
                         AEReturnID returnID, AETransactionID transactionID, AppleEvent* result);
OSErr AEPutParamDesc(AppleEvent* event, AEKeyword keyword, const AEDesc* desc);
OSErr AEPutParamPtr(AppleEvent* event, AEKeyword keyword, DescType typeCode, const void* dataPtr,
                    Size dataSize);
OSErr AEGetParamDesc(const AppleEvent* event, AEKeyword keyword, DescType desiredType,
                     AEDesc* result);
// With a null buffer or a maximum size of 0 only the type and size are reported.
OSErr AEGetParamPtr(const AppleEvent* event, AEKeyword keyword, DescType desiredType,
                    DescType* actualType, void* dataPtr, Size maximumSize, Size* actualSize);
OSErr AEPutAttributePtr(AppleEvent* event, AEKeyword keyword, DescType typeCode,
                        const void* dataPtr, Size dataSize);
OSErr AEGetAttributePtr(const AppleEvent* event, AEKeyword keyword, DescType desiredType,
                        DescType* actualType, void* dataPtr, Size maximumSize, Size* actualSize);

// Sending to the process of the event's keyAddressAttr: kAENoReply queues
// the event and returns; kAEWaitReply waits up to the timeout (ticks) for
// the handler's result, which the reply event then carries as
// keyErrorNumber when it is not noErr.
OSErr AESend(const AppleEvent* event, AppleEvent* reply, AESendMode sendMode,
             AESendPriority sendPriority, int32_t timeoutInTicks, AEIdleUPP idleProc,
             AEFilterUPP filterProc);

// Handlers, one per class and ID. Events are received on the default main
// context. This process is the only reader of its table, so a system
// handler is simply one more entry in it.
AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr proc);
void DisposeAEEventHandlerUPP(AEEventHandlerUPP handler);
OSErr AEInstallEventHandler(AEEventClass eventClass, AEEventID eventID, AEEventHandlerUPP handler,
                            SRefCon handlerRefCon, bool isSysHandler);
OSErr AERemoveEventHandler(AEEventClass eventClass, AEEventID eventID, AEEventHandlerUPP handler,
                           bool isSysHandler);
