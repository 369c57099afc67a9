// Existence, attribute records, path joining and splitting, and item
// creation. Paths are wide strings; the
// optional trailing outputs receive errno (or -43) and its text on failure
// and are left alone on success.
//
// On this platform a symbolic link is what an alias is: it reads as alias
// (not as symbolic link) and is resolved by ResolveLinkChain (PosixPaths.h). Files
// have no resource forks, HFS codes or type identifiers; those read as 0 or
// empty.
#pragma once

#include <string>

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

std::wstring PathFromPaths(std::wstring first, std::wstring second);
void NameAndParentFromPath(std::wstring path, std::wstring& name, std::wstring& parent);

// A folder (with its missing parents) when isDirectory is given and true,
// else a file holding the content. The alias, link and hidden flags cannot be
// given to an item here (hidden is a matter of its name) and are not applied.
bool CreateFile(const std::wstring& path, const bool* isDirectory, const bool* isAlias,
                const bool* isSymbolicLink, const bool* isHidden, const char* content,
                unsigned long long contentLength, const bool* noOverwrite, short* error = nullptr,
                std::wstring* errorText = nullptr);

}  // namespace MacFileOperations
