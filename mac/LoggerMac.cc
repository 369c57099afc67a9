#include "mac/LoggerMac.h"

#include <json-c/json.h>

#include <ctime>

#include "Common/JsonObjectPtr.h"
#include "Common/Protocol.h"

void CLoggerMac::Log(const char* level, char* text) {
  if (text == nullptr)
    return;
  WC_WriteToSyslog(text);
  if (mCallback == nullptr || level == nullptr)
    return;

  const JsonObjectPtr record(json_object_new_object());
  if (record == nullptr)
    return;

  // The browser orders records by this stamp; milliseconds are not kept.
  char timestamp[256] = {};
  const time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  strftime(timestamp, sizeof timestamp - 1, "%Y.%m.%d %H.%M.%S.000", &local);

  json_object_object_add(record.get(), "timestamp", json_object_new_string(timestamp));
  json_object_object_add(record.get(), "text", json_object_new_string(text));
  json_object_object_add(record.get(), "version", json_object_new_string(QX_PROTOCOL_VERSION));
  json_object_object_add(record.get(), "type", json_object_new_string("Log"));
  json_object_object_add(record.get(), "code", json_object_new_string(level));
  mCallback(mCallbackRefCon, json_object_to_json_string(record.get()));
}

CLogger* CLoggerFactory::CreateLogger() {
  return new CLoggerMac();
}
