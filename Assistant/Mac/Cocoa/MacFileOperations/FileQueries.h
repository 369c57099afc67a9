// Existence, attribute records, folder listings, link resolution, path
// joining and splitting, and item creation. Paths are wide strings; the
// optional trailing outputs receive errno (or -43) and its text on failure
// and are left alone on success.
//
// On this platform a symbolic link is what an alias is: it reads as alias
// (not as symbolic link) and is resolved by PathFromResolvedAliasPath. Files
// have no resource forks, HFS codes or type identifiers; those read as 0 or
// empty.
#pragma once

#include <string>
#include <vector>

#include "Assistant/Mac/Cocoa/MacFileOperations/QXFileSystemAttributes.h"

namespace MacFileOperations {

// Follows links: a link whose target is missing does not exist.
bool FileExists(const std::wstring& path);

// Volume fields of the volume holding the path and item fields of the item
// itself (a link is not followed). On failure every field is zero or empty
// and both dates are -1.0.
QXFileSystemAttributes AttributesOfFileSystemForPath(const std::wstring& path,
                                                     short* error = nullptr,
                                                     std::wstring* errorText = nullptr);

// Each output is optional. On failure only the error outputs are written.
void AttributesForPath(const wchar_t* path, bool* isDirectory, bool* isAlias, bool* isSymbolicLink,
                       bool* isHidden, unsigned long long* size, double* modificationDate,
                       double* creationDate, std::wstring* typeIdentifier, short* error = nullptr,
                       std::wstring* errorText = nullptr);

// The item a link chain leads to, one link per level of depth; empty for a
// broken link, a chain longer than depth, or a missing item. A path that is
// not a link is returned unchanged.
std::wstring PathFromResolvedAliasPath(std::wstring path, short* error, std::wstring* errorText,
                                       int depth);

// Entry names in the order the file system lists them, hidden ones included.
std::vector<std::wstring> GetChildrenForPath(std::wstring path, short* error = nullptr,
                                             std::wstring* errorText = nullptr);

std::wstring PathFromPaths(std::wstring first, std::wstring second);
void NameAndParentFromPath(std::wstring path, std::wstring& name, std::wstring& parent);

// A folder (with its missing parents) when isDirectory is given and true,
// else a file holding the content. The alias, link and hidden flags cannot be
// given to an item here (hidden is a matter of its name) and are not applied.
bool CreateFile(const std::wstring& path, const bool* isDirectory, const bool* isAlias,
                const bool* isSymbolicLink, const bool* isHidden, const char* content,
                unsigned long long contentLength, const bool* noOverwrite, short* error = nullptr,
                std::wstring* errorText = nullptr);

// Whether the current user may act on the item (access(2); deleting needs a
// writable parent folder and respects its sticky bit).
bool IsWritable(const std::wstring& path);
bool IsReadable(const std::wstring& path);
bool IsDeletable(const std::wstring& path);
bool IsExecutable(const std::wstring& path);

}  // namespace MacFileOperations
