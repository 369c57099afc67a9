// Whole items: remove and move (folders with everything in them). The trailing outputs receive
// errno and its text on failure.
#pragma once

#include <string>

namespace MacFileOperations {

// Logs "Remove successful" or "Remove failed" on standard error, in the
// platform log's line format (see PlatformLog.h).
bool Remove(const std::wstring& path, short* error = nullptr, std::wstring* errorText = nullptr);
// Fails when something already exists at the destination. Works across
// volumes (by copying, then removing the source).
bool Move(const std::wstring& from, const std::wstring& to, short* error = nullptr,
          std::wstring* errorText = nullptr);

}  // namespace MacFileOperations
