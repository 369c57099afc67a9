#include <cstdarg>
#include <cstdio>

#include "Common/JsonObjectPtr.h"
#include "Common/MessageParser.h"
#include "Common/QXWebClientBase.h"
#include "Common/json_msg_param.h"
#include "platform/core/TextConversion.h"

bool CQXWebClientBase::HandleNotification(const char* text) {
  if (mLogger != nullptr)
    mLogger->Debug("HandleNotification");
  // A text that is not valid UTF-8 is not relayed: the browser must only
  // ever get UTF-8.
  const JsonObjectPtr message = ParseMessage(text);
  if (!json_msg_is_usable(message.get())) {
    if (mLogger != nullptr)
      mLogger->Warning("Invalid notification message");
    return false;
  }

  bool result = false;
  const json_msg_param<char*> type(message.get(), "type");
  const json_msg_param<char*> code(message.get(), "code");
  if (!(type == "Notification")) {
    if (mLogger != nullptr)
      mLogger->Warning("Wrong message type");
  } else if (code == "FileSent") {
    // The browser hears of the removal from the upload list itself.
    result = DeleteFilesFromUploadList(message.get());
    if (!result && mLogger != nullptr)
      mLogger->Warning(
          "Failed to delete files from upload list while processing Assistant notification");
  } else {
    // Relayed as received, not re-serialised.
    result = NotifyBrowser(text);
    if (!result && mLogger != nullptr)
      mLogger->Warning("Failed to notify browser");
  }
  return result;
}

void CQXWebClientBase::ReportError(tErrorStringID id, ...) {
  xwstring format;
  if (!RetrieveErrorString(id, format)) {
    if (mLogger != nullptr)
      mLogger->Error("Failed to retrieve error string %d", id);
    return;
  }

  // The error text keeps at most 1022 bytes, and no character cut in two.
  char text[1024];
  va_list arguments;
  va_start(arguments, id);
  const int length = vsnprintf(text, 1023, static_cast<const xwstring&>(format), arguments);
  va_end(arguments);
  text[sizeof text - 1] = '\0';
  if (length >= 1023)
    text[QXWholeCharactersLength(text, 1022)] = '\0';

  const JsonObjectPtr message(json_object_new_object());
  if (message == nullptr) {
    if (mLogger != nullptr)
      mLogger->Error("Failed to create notification object");
    return;
  }
  json_object_object_add(message.get(), "version", json_object_new_string(QX_PROTOCOL_VERSION));
  json_object_object_add(message.get(), "type", json_object_new_string("Notification"));
  json_object_object_add(message.get(), "code", json_object_new_string("Error"));
  json_object_object_add(message.get(), "text", json_object_new_string(text));
  HandleNotification(json_object_to_json_string(message.get()));
}

bool CQXWebClientBase::NotificationCallback(const char* text, long client) {
  if (client == 0 || text == nullptr)
    return false;
  // Called from an event handler: nothing may escape into the platform.
  try {
    return reinterpret_cast<CQXWebClientBase*>(client)->HandleNotification(text);
  } catch (...) {
    return false;
  }
}
