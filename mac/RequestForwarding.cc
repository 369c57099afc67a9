// Handing a transfer request to the Assistant as one Apple Event, which the
// Assistant acknowledges on receipt: only then is the request its own.
#include <cstring>
#include <string>

#include "Common/Logger.h"
#include "mac/AEDescriptors.h"
#include "mac/QXWebClientBaseMac.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/AssistantEvents.h"
#include "platform/appleevents/BusConnection.h"
#include "platform/appleevents/Processes.h"
#include "platform/core/TextConversion.h"

bool CQXWebClientBaseMac::ProxyExecuteRequest(wchar_t* request) {
  bool result = false;
  try {
    std::string text = QXEncodeUTF8(request, std::wcslen(request));
    ProcessSerialNumber psn{0, 0};
    if (FindAssistantApplication(psn)) {
      StAEDescriptor address(typeProcessSerialNumber, &psn, sizeof psn);
      std::string response;
      result = AEHandleAssistantRequest(address, text, response);
    }
  } catch (...) {
    result = false;
  }
  if (!result)
    ReportError(kErrLaunchAssistant);
  return result;
}

bool CQXWebClientBaseMac::AEHandleAssistantRequest(AEDesc& address, std::string& request,
                                                   std::string&) {
  try {
    StAEDescriptor text(typeChar, request.c_str(), static_cast<int>(std::strlen(request.c_str())));
    StAEDescriptor event;
    ThrowIfOSErr(AECreateAppleEvent(kAEAssistantClass, kAEAssistantRequest, &address,
                                    kAutoGenerateReturnID, kAnyTransactionID, event));
    UAEDesc::AddKeyDesc(event, keyDirectObject, text);
    {
      ProcessSerialNumber host{0, 0};
      GetCurrentProcess(&host);
      StAEDescriptor hostAddress(typeProcessSerialNumber, &host, sizeof host);
      StAEDescriptor refCon(typeMagnitude, &mRefCon, sizeof mRefCon);
      UAEDesc::AddKeyDesc(event, kAEHostProcessKeyword, hostAddress);
      UAEDesc::AddKeyDesc(event, kAERefConKeyword, refCon);
    }
    StAEDescriptor reply;
    OSErr err = AESend(event, reply, kAEWaitReply | kAENeverInteract, kAENormalPriority,
                       kAERequestTimeoutTicks, nullptr, nullptr);
    if (err == errQXMessageTooLarge && mLogger != nullptr) {
      mLogger->Error("Request too large for the session bus: %zu bytes, its limit is %ld bytes",
                     request.size(), kQXBusMaxArrayBytes);
    }
    ThrowIfOSErr(err);
    // The acknowledgement: a result other than noErr is the Assistant's refusal.
    OSErr handled = noErr;
    AEGetParamPtr(reply, keyErrorNumber, typeSInt16, nullptr, &handled, sizeof handled, nullptr);
    return handled == noErr;
  } catch (...) {
    return false;
  }
}
