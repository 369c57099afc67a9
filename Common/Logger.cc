#include "Common/Logger.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>

#include "platform/core/TextConversion.h"

namespace {

// Formats into a fixed buffer; longer texts are cut to 1023 bytes, before a
// character the cut would split, so that the record stays UTF-8.
void FormatAndLog(CLogger& logger, const char* level, const char* format, va_list arguments) {
  char buffer[1024];
  const int length = vsnprintf(buffer, sizeof buffer, format, arguments);
  buffer[sizeof buffer - 1] = '\0';
  if (length >= static_cast<int>(sizeof buffer))
    buffer[QXWholeCharactersLength(buffer, sizeof buffer - 1)] = '\0';
  logger.Log(level, buffer);
}

}  // namespace

CLogger::CLogger() : mCallback(nullptr), mCallbackRefCon(0) {}

CLogger::~CLogger() {
  mCallback = nullptr;
  mCallbackRefCon = 0;
}

void CLogger::Log(const char* /*level*/, char* /*text*/) {
  assert(mCallback != NULL);
}

void CLogger::Error(const char* format, ...) {
  if (format == nullptr)
    return;
  va_list arguments;
  va_start(arguments, format);
  FormatAndLog(*this, "ERROR", format, arguments);
  va_end(arguments);
}

void CLogger::Warning(const char* format, ...) {
  if (format == nullptr)
    return;
  va_list arguments;
  va_start(arguments, format);
  FormatAndLog(*this, "WARNING", format, arguments);
  va_end(arguments);
}

void CLogger::Info(const char* format, ...) {
  if (format == nullptr)
    return;
  va_list arguments;
  va_start(arguments, format);
  FormatAndLog(*this, "INFO", format, arguments);
  va_end(arguments);
}

void CLogger::Debug(const char* format, ...) {
  if (format == nullptr)
    return;
  va_list arguments;
  va_start(arguments, format);
  FormatAndLog(*this, "DEBUG", format, arguments);
  va_end(arguments);
}

void CLogger::DebugMsg(const char* text) {
  Log("DEBUG", const_cast<char*>(text));
}

void CLogger::SetOutputProc(OutputProc proc, long refCon) {
  mCallback = proc;
  mCallbackRefCon = refCon;
}
