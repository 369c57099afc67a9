#include "Assistant/Mac/Cocoa/MacFileOperations/PosixBridge.h"

#include <cmath>
#include <cstring>

#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileSystemAttributes.h"
#include "platform/core/TextConversion.h"

namespace MacFileOperations {

std::optional<std::string> NativePath(const std::wstring& path) {
  if (!QXCanEncodeUTF8(path.data(), path.size()))
    return std::nullopt;
  return QXEncodeUTF8(path.data(), path.size());
}

std::wstring WidePath(const std::string& bytes) {
  return QXDecodeUTF8(bytes.data(), bytes.size());
}

void SetError(int code, const std::wstring& text, short* errorCode, std::wstring* errorText) {
  if (errorCode != nullptr)
    *errorCode = static_cast<short>(code);
  if (errorText != nullptr)
    *errorText = text;
}

std::wstring PosixErrorText(int error) {
  char buffer[256];
  // The GNU strerror_r may return a static text instead of filling the buffer.
  const char* text = strerror_r(error, buffer, sizeof buffer);
  return WidePath(text);
}

void SetPosixError(int error, short* errorCode, std::wstring* errorText) {
  if (errorCode != nullptr)
    *errorCode = static_cast<short>(error);
  if (errorText != nullptr)
    *errorText = PosixErrorText(error);
}

void SetFileNotFoundError(short* errorCode, std::wstring* errorText) {
  SetError(kFileNotFoundError, L"File not found", errorCode, errorText);
}

double SecondsSinceReferenceDate(const timespec& time) {
  return static_cast<double>(time.tv_sec) - kReferenceDateUnixSeconds +
         static_cast<double>(time.tv_nsec) / 1e9;
}

timespec TimespecFromReferenceSeconds(double seconds) {
  const double unixSeconds = seconds + kReferenceDateUnixSeconds;
  double whole = std::floor(unixSeconds);
  long nanoseconds = std::lround((unixSeconds - whole) * 1e9);
  if (nanoseconds >= 1000000000L) {
    whole += 1;
    nanoseconds -= 1000000000L;
  }
  timespec result{};
  result.tv_sec = static_cast<time_t>(whole);
  result.tv_nsec = nanoseconds;
  return result;
}

}  // namespace MacFileOperations
