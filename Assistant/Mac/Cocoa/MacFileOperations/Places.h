// Well-known places of the current user and process.
#pragma once

#include <string>
#include <vector>

namespace MacFileOperations {

// $HOME, else the home folder of the user's account.
std::wstring GetHomeDirectory();
// The user's temporary folder ($TMPDIR, else /tmp) as file URL text ending
// in "/".
std::wstring CurrentUserTempFolderPath();
// The process's current folder.
std::wstring ProductRootPath();
// `path` relative to `base`, component by component: /a/b/c/d.txt relative
// to /a/b/x is ../c/d.txt.
std::wstring MakePathRelativeTo(const std::wstring& path, const std::wstring& base);
// File URL texts of every mounted file system, in /proc/self/mounts order.
std::vector<std::wstring> GetMountedVolumeStrings();

}  // namespace MacFileOperations
