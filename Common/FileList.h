// The upload record list and the path set, both ordered ignoring ASCII case.
#pragma once

#include <json-c/json.h>

#include <map>
#include <set>
#include <string>
#include <utility>

#include "Common/xwstring.h"

// Keys always hold text; an absent string reads as the empty one.
inline const char* TextOf(const xwstring& string) {
  const char* text = string;
  return text != nullptr ? text : "";
}

struct xwstring_less_than {
  bool operator()(const xwstring& left, const xwstring& right) const;
};

// (file path, relative path)
typedef std::pair<xwstring, xwstring> xwstring_pair;

// The list's order as one three-way comparison: negative, zero or positive.
int CompareFileKeys(const xwstring_pair& left, const xwstring_pair& right);

struct xwstring_pair_less_than {
  bool operator()(const xwstring_pair& left, const xwstring_pair& right) const {
    return CompareFileKeys(left, right) < 0;
  }
};

// Maps (file path, relative path) to the size in bytes.
class CFileList : public std::map<xwstring_pair, double, xwstring_pair_less_than> {
 public:
  bool FromJSON(json_object* array);
  // Inserts one element of such an array (first one wins, as in FromJSON).
  void InsertFromJSON(json_object* element);
  // Inserts one entry read from such an element, the same way.
  void Append(xwstring_pair key, double size);
};

// Appends to `text` a JSON array as AppendFileListEntriesJSON writes it, one
// entry at a time, for a caller that picks the entries as it goes.
class FileListJSONWriter {
 public:
  explicit FileListJSONWriter(std::string& text);
  void Add(const xwstring_pair& key, double size);
  void Finish();

 private:
  std::string& mText;
  const char* mSeparator = " ";
};

// The JSON array of the entries in [first, last), in order, as json-c
// writes it, appended to `text` one entry at a
// time: as one json-c tree a long list would take many times its text.
void AppendFileListEntriesJSON(CFileList::const_iterator first, CFileList::const_iterator last,
                               std::string& text);

class json_xwstringset : public std::set<xwstring, xwstring_less_than> {};
