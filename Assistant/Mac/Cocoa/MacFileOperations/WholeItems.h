// Whole items: remove, move, copy (folders with everything in them), compare
// and read. The trailing outputs receive errno and its text on failure.
#pragma once

#include <string>
#include <vector>

namespace MacFileOperations {

// Logs "Remove successful" or "Remove failed" on standard error, in the
// platform log's line format (see PlatformLog.h).
bool Remove(const std::wstring& path, short* error = nullptr, std::wstring* errorText = nullptr);
// Fails when something already exists at the destination. Works across
// volumes (by copying, then removing the source).
bool Move(const std::wstring& from, const std::wstring& to, short* error = nullptr,
          std::wstring* errorText = nullptr);
// Fails when something already exists at the destination. Links are copied
// as links.
bool Copy(const std::wstring& from, const std::wstring& to, short* error = nullptr,
          std::wstring* errorText = nullptr);
// Same bytes for files, same targets for links, same names with equal
// contents for folders.
bool ContentsAreEqual(const std::wstring& first, const std::wstring& second);
// Empty when the file cannot be read.
std::vector<char> ReadWholeFile(const std::wstring& path);

}  // namespace MacFileOperations
