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
class CSkippedItems;

// Takes one file; returns whether it was taken. The handle carries the
// file's path, its directory, alias and hidden flags and its size; the other
// attributes are not read during a walk.
typedef bool (*EnumerationCallbackProc)(const MacFileOperations::QXFileHandle& file,
                                        const std::wstring& relativePath, CFileList* list);

// Told of a walk's progress every kEntriesPerReport entries.
class CWalkProgress {
 public:
  static constexpr unsigned kEntriesPerReport = 64;
  // Returns false to stop the walk: nothing more of it is visited.
  virtual bool Report() = 0;

 protected:
  ~CWalkProgress() = default;
};

// The status of a picked file that the callback did not take.
constexpr int kEnumerationFileNotAdded = -666;

// Walks one item depth-first, calling `callback` with `context` as its list
// for every file. A folder's entries come in the list's order (names compared
// ignoring case; equal ones in listing order). Links and "." and ".." are
// read as the kernel reads them; no path handed on has "." or ".." in it.
// Missing items, links that lead nowhere (broken, looping, or a chain of
// more than ten) and links back to a folder on the current walk are skipped
// silently. Items that cannot be looked at, folders that cannot be listed,
// and paths that are not UTF-8 or too long for the system are left out and
// told to `skipped` when it is given. `progress`, when given, can stop the
// walk part way. Returns 0, or kEnumerationFileNotAdded
// when the item is itself a file (or a link to one) that the callback did
// not take.
int EnumerateFiles(const xwstring& path, const std::wstring& relativePath,
                   EnumerationCallbackProc callback, void* context,
                   CSkippedItems* skipped = nullptr, CWalkProgress* progress = nullptr);

// A new string (the caller deletes it) with the path of the item a file URL
// names, its parent folders resolved; empty, not null, when the URL names no
// existing item.
CFStringRef GetPathFromCFURL(const std::string& url);
