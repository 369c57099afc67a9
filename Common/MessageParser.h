// Parses the JSON text of a request or a notification, the one way text
// from the browser or the Assistant gets in.
//
// A "files_ul" list can name a million files, and as json-c objects it
// would take over twenty times its text. So the elements of a top-level
// "files_ul" array are parsed one at a time straight into a CFileList kept
// with the message, and the message holds an empty array in its place.
// What is valid stays json-c's verdict, leniencies included.
#pragma once

#include <string>

#include "Common/FileList.h"
#include "Common/JsonObjectPtr.h"

// Null for a null text, a text that is not valid UTF-8 (so nothing a
// message carries can put invalid bytes into a frame) and a text that
// json_tokener_parse rejects.
JsonObjectPtr ParseMessage(const char* text);

// Moves the entries of `message`'s "files_ul" into `list` (cleared first).
// False, with `list` untouched, when the member is missing, not an array or
// empty.
bool TakeFileList(json_object* message, CFileList& list);

// Reads a list element at `text` into `list` when it is a flat object of
// strings in double quotes without \u escapes and of plain numbers, spaced
// by blanks only, and returns its end; json-c would read the same. Null,
// with `list` untouched, for any other element: json-c judges those. The
// room for unescaped text is kept from one element to the next.
class QuickListReader {
 public:
  const char* Read(const char* text, CFileList& list);

 private:
  std::string mFilePath, mRelativePath, mOther;
};
