// How the library's wide paths and error outputs meet the POSIX calls.
#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace MacFileOperations {

// The library's own error for a path that cannot be used at all (and for
// alias resolution with no depth left).
constexpr short kFileNotFoundError = -43;

// The bytes of a wide path for system calls; nullopt when the text holds a
// value that is not a character (nothing on disk can carry such a name).
std::optional<std::string> NativePath(const std::wstring& path);
// Bytes from the system back to a wide path; invalid UTF-8 survives exactly.
std::wstring WidePath(const std::string& bytes);

// Writes the outputs that were given. Code is truncated to 16 bits.
void SetError(int code, const std::wstring& text, short* errorCode, std::wstring* errorText);
// errno as the error outputs: its number and strerror's text.
void SetPosixError(int error, short* errorCode, std::wstring* errorText);
void SetFileNotFoundError(short* errorCode, std::wstring* errorText);
std::wstring PosixErrorText(int error);

double SecondsSinceReferenceDate(const timespec& time);
timespec TimespecFromReferenceSeconds(double seconds);

}  // namespace MacFileOperations
