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
OSErr AEDuplicateDesc(const AEDesc* desc, AEDesc* result);
Size AEGetDescDataSize(const AEDesc* desc);
OSErr AEGetDescData(const AEDesc* desc, void* dataPtr, Size maximumSize);
void AEInitializeDesc(AEDesc* desc);
OSErr AECoerceDesc(const AEDesc* desc, DescType toType, AEDesc* result);

// Lists and records. A record is also any descriptor coerced from one, so
// keyed calls accept those as well as Apple Events (their parameters).
OSErr AECreateList(const void* factoringPtr, Size factoredSize, bool isRecord, AEDescList* result);
OSErr AECountItems(const AEDescList* list, long* count);
OSErr AEPutDesc(AEDescList* list, long index, const AEDesc* desc);
OSErr AEPutPtr(AEDescList* list, long index, DescType typeCode, const void* dataPtr, Size dataSize);
OSErr AEGetNthDesc(const AEDescList* list, long index, DescType desiredType, AEKeyword* keyword,
                   AEDesc* result);
OSErr AEPutKeyDesc(AERecord* record, AEKeyword keyword, const AEDesc* desc);
OSErr AEPutKeyPtr(AERecord* record, AEKeyword keyword, DescType typeCode, const void* dataPtr,
                  Size dataSize);
OSErr AEGetKeyDesc(const AERecord* record, AEKeyword keyword, DescType desiredType, AEDesc* result);
OSErr AEDeleteKeyDesc(AERecord* record, AEKeyword keyword);

// Apple Events.
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
OSErr AEDeleteParam(AppleEvent* event, AEKeyword keyword);
OSErr AEPutAttributeDesc(AppleEvent* event, AEKeyword keyword, const AEDesc* desc);
OSErr AEPutAttributePtr(AppleEvent* event, AEKeyword keyword, DescType typeCode,
                        const void* dataPtr, Size dataSize);
OSErr AEGetAttributeDesc(const AppleEvent* event, AEKeyword keyword, DescType desiredType,
                         AEDesc* result);
OSErr AEGetAttributePtr(const AppleEvent* event, AEKeyword keyword, DescType desiredType,
                        DescType* actualType, void* dataPtr, Size maximumSize, Size* actualSize);

// Sending: kAENoReply queues the event and returns; kAEWaitReply waits up to
// the timeout (ticks) for the handler's result, which the reply event then
// carries as keyErrorNumber when it is not noErr.
OSErr AESend(const AppleEvent* event, AppleEvent* reply, AESendMode sendMode,
             AESendPriority sendPriority, int32_t timeoutInTicks, AEIdleUPP idleProc,
             AEFilterUPP filterProc);

// Handlers, keyed by class and ID (typeWildCard matches any). Events are
// received on the default main context.
AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr proc);
void DisposeAEEventHandlerUPP(AEEventHandlerUPP handler);
OSErr AEInstallEventHandler(AEEventClass eventClass, AEEventID eventID, AEEventHandlerUPP handler,
                            SRefCon handlerRefCon, bool isSysHandler);
OSErr AERemoveEventHandler(AEEventClass eventClass, AEEventID eventID, AEEventHandlerUPP handler,
                           bool isSysHandler);
OSErr AEGetEventHandler(AEEventClass eventClass, AEEventID eventID, AEEventHandlerUPP* handler,
                        SRefCon* handlerRefCon, bool isSysHandler);
