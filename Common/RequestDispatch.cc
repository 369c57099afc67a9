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
  json_object* message = utf8 != nullptr ? json_tokener_parse(utf8) : nullptr;
  if (!json_msg_is_usable(message)) {
    if (mLogger != nullptr)
      mLogger->DebugMsg("Invalid request");
    return false;
  }

  bool result = false;
  {
    const json_msg_param<char*> type(message, "type");
    if (!(type == "Request")) {
      if (mLogger != nullptr)
        mLogger->DebugMsg("Invalid request");
    } else {
      const json_msg_param<char*> code(message, "code");
      if (code == "SelectFilesToUpload")
        result = SelectFilesToUpload();
      else if (code == "DeleteFilesFromUploadList")
        result = DeleteFilesFromUploadList(message);
      else if (code == "SelectDownloadLocation")
        result = SelectDownloadLocation();
      else if (code == "QueueFilesForUpload")
        result = QueueFilesForUpload(message);
      else if (code == "StartUpload")
        result = StartUpload(message);
      else if (code == "StartDownload")
        result = StartDownload(message);
      else if (code == "SetParameter")
        result = SetParameter(message);
      else if (code == "Reset")
        result = Reset();
    }
  }
  json_object_put(message);
  return result;
}
