#include "mac/QXWebClientBaseMac.h"

#include <json-c/json.h>

#include "Common/ErrorTexts.h"
#include "Common/JsonObjectPtr.h"
#include "Common/Logger.h"
#include "Common/Protocol.h"

CQXWebClientBaseMac::CQXWebClientBaseMac() : mSupportDragDrop(0) {}

CQXWebClientBaseMac::~CQXWebClientBaseMac() = default;

bool CQXWebClientBaseMac::Initialize(xwstring& response) {
  if (mLogger != nullptr)
    mLogger->DebugMsg("Initialize");
  const JsonObjectPtr message(json_object_new_object());
  json_object_object_add(message.get(), "version", json_object_new_string(QX_PROTOCOL_VERSION));
  json_object_object_add(message.get(), "type", json_object_new_string("Response"));
  json_object_object_add(message.get(), "code", json_object_new_string("Initialize"));
  json_object_object_add(message.get(), "support_dragdrop",
                         json_object_new_boolean(mSupportDragDrop != 0));
  response = json_object_to_json_string(message.get());
  return true;
}

void CQXWebClientBaseMac::CreateLogger() {
  mLogger = CLoggerFactory::CreateLogger();
  mLogger->SetOutputProc(WriteToLog, reinterpret_cast<long>(this));
}

void CQXWebClientBaseMac::WriteToLog(long client, const char* text) {
  WC_WriteToSyslog(text);
  if (client != 0)
    reinterpret_cast<CQXWebClientBaseMac*>(client)->Log(text);
}

bool CQXWebClientBaseMac::RetrieveErrorString(tErrorStringID id, xwstring& text) {
  const char* known = QXErrorText(id);
  if (known == nullptr) {
    if (mLogger != nullptr)
      mLogger->Error("Unknown stringID specified %ld", static_cast<long>(id));
    return false;
  }
  text = known;
  return true;
}

void CQXWebClientBaseMac::SetDownloadLocation(const std::wstring& path) {
  mDownloadLocation = path;
}
