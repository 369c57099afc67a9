// Expansion of picked items into upload records: every folder is walked to
// the bottom and links are followed to their targets.
#pragma once

#include <string>

#include "Common/FileList.h"
#include "Common/xwstring.h"
#include "platform/core/CoreFoundation.h"

namespace MacFileOperations {
class QXFileHandle;
}

// Takes one file; returns whether it was taken. The handle carries the
// file's path, its directory, alias and hidden flags and its size; the other
// attributes are not read during a walk.
typedef bool (*EnumerationCallbackProc)(const MacFileOperations::QXFileHandle& file,
                                        const std::wstring& relativePath, CFileList* list);

// The status of a picked file that the callback did not take.
constexpr int kEnumerationFileNotAdded = -666;

// Walks one item depth-first, calling `callback` with `context` as its list
// for every file. A folder's entries come in the list's order (names compared
// ignoring case; equal ones in listing order). Missing items, items whose
// attributes cannot be read, folders that cannot be listed, links that do
// not resolve and links back to a folder on the current walk are skipped.
// Returns 0, or kEnumerationFileNotAdded when the item is itself a file (or
// a link to one) that the callback did not take.
int EnumerateFiles(const xwstring& path, const std::wstring& relativePath,
                   EnumerationCallbackProc callback, void* context);

// A new string (the caller releases it) with the path of the item a file URL
// names, its parent folders resolved; empty, not null, when the URL names no
// existing item.
CFStringRef GetPathFromCFURL(const std::string& url);
