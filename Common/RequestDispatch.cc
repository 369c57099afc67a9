#include "Common/JsonObjectPtr.h"
#include "Common/QXWebClientBase.h"
#include "Common/json_msg_param.h"

bool CQXWebClientBase::ExecuteRequest(wchar_t* text) {
  if (mLogger != nullptr)
    mLogger->DebugMsg("ExecuteRequest");
  if (text == nullptr) {
    if (mLogger != nullptr)
      mLogger->DebugMsg("Invalid request");
    return false;
  }

  const xwstring request(text);
  const char* utf8 = request;
  const JsonObjectPtr message(utf8 != nullptr ? json_tokener_parse(utf8) : nullptr);
  if (!json_msg_is_usable(message.get())) {
    if (mLogger != nullptr)
      mLogger->DebugMsg("Invalid request");
    return false;
  }

  const json_msg_param<char*> type(message.get(), "type");
  if (!(type == "Request")) {
    if (mLogger != nullptr)
      mLogger->DebugMsg("Invalid request");
    return false;
  }

  // Tested in this order; an unknown code is silently not a request.
  const json_msg_param<char*> code(message.get(), "code");
  if (code == "SelectFilesToUpload")
    return SelectFilesToUpload();
  if (code == "DeleteFilesFromUploadList")
    return DeleteFilesFromUploadList(message.get());
  if (code == "SelectDownloadLocation")
    return SelectDownloadLocation();
  if (code == "QueueFilesForUpload")
    return QueueFilesForUpload(message.get());
  if (code == "StartUpload")
    return StartUpload(message.get());
  if (code == "StartDownload")
    return StartDownload(message.get());
  if (code == "SetParameter")
    return SetParameter(message.get());
  if (code == "Reset")
    return Reset();
  return false;
}
