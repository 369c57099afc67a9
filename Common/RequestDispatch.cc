#include <cwchar>

#include "Common/JsonObjectPtr.h"
#include "Common/MessageParser.h"
#include "Common/QXWebClientBase.h"
#include "Common/json_msg_param.h"
#include "platform/core/TextConversion.h"

bool CQXWebClientBase::ExecuteRequest(wchar_t* text) {
  const size_t length = text != nullptr ? wcslen(text) : 0;
  // Escaped bytes and values that are not characters have no UTF-8 form.
  if (text == nullptr || !QXIsUnicodeText(text, length))
    return ExecuteRequestUTF8(nullptr);
  return ExecuteRequestUTF8(QXEncodeUTF8(text, length).c_str());
}

bool CQXWebClientBase::ExecuteRequestUTF8(const char* text) {
  if (mLogger != nullptr)
    mLogger->DebugMsg("ExecuteRequest");
  const JsonObjectPtr message = ParseMessage(text);
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
