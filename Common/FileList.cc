#include "Common/FileList.h"

#include <strings.h>

#include <cmath>
#include <iterator>

#include "Common/EntryText.h"
#include "Common/json_msg_param.h"

namespace {

int CompareIgnoringCase(const xwstring& left, const xwstring& right) {
  return strcasecmp(TextOf(left), TextOf(right));
}

// Sizes are written with a fraction so that they read back as doubles.
// json-c formats a double into 128 bytes, which "%f" of a huge value
// overflows: those keep json-c's own exact form.
json_object* NewSize(double size) {
  json_object* number = json_object_new_double(size);
  if (number != nullptr && std::fabs(size) < 1e100)
    json_object_set_serializer(number, json_object_double_to_json_string, const_cast<char*>("%f"),
                               nullptr);
  return number;
}

json_object* NewEntry(const xwstring_pair& key, double size) {
  json_object* entry = json_object_new_object();
  if (entry == nullptr)
    return nullptr;
  json_object_object_add(entry, "file_path", json_object_new_string(TextOf(key.first)));
  json_object_object_add(entry, "relative_path", json_object_new_string(TextOf(key.second)));
  json_object_object_add(entry, "size", NewSize(size));
  return entry;
}

}  // namespace

bool xwstring_less_than::operator()(const xwstring& left, const xwstring& right) const {
  return CompareIgnoringCase(left, right) < 0;
}

bool xwstring_pair_less_than::operator()(const xwstring_pair& left,
                                         const xwstring_pair& right) const {
  const int byFile = CompareIgnoringCase(left.first, right.first);
  if (byFile != 0)
    return byFile < 0;
  return CompareIgnoringCase(left.second, right.second) < 0;
}

json_object* FileListEntriesToJSON(CFileList::const_iterator first,
                                   CFileList::const_iterator last) {
  json_object* array = json_object_new_array_ext(static_cast<int>(std::distance(first, last)));
  if (array == nullptr)
    return nullptr;
  for (; first != last; ++first) {
    json_object* entry = NewEntry(first->first, first->second);
    if (entry != nullptr)
      json_object_array_add(array, entry);
  }
  return array;
}

void AppendFileListEntriesJSON(CFileList::const_iterator first, CFileList::const_iterator last,
                               std::string& text) {
  text += "[";
  const char* separator = " ";
  for (; first != last; ++first) {
    text += separator;
    AppendEntryJSON(first->first, first->second, text);
    separator = ", ";
  }
  text += " ]";
}

bool CFileList::ToJSON(json_object*& out) {
  if (empty())
    return false;
  out = FileListEntriesToJSON(begin(), end());
  return out != nullptr;
}

bool CFileList::FromJSON(json_object* array) {
  json_msg_param_array elements(array);
  const int count = elements.length();
  if (count < 1)
    return false;
  clear();
  for (int i = 0; i < count; ++i)
    InsertFromJSON(elements[i]);
  return true;
}

void CFileList::InsertFromJSON(json_object* element) {
  json_msg_param<char*> filePath(element, "file_path");
  json_msg_param<char*> relativePath(element, "relative_path");
  json_msg_param<double> size(element, "size");
  // Lists mostly come back in the order they were sent in, which is this
  // list's own: then an element goes in at the end without a search.
  emplace_hint(end(),
               xwstring_pair(xwstring(static_cast<char*>(filePath)),
                             xwstring(static_cast<char*>(relativePath))),
               static_cast<double>(size));
}

bool json_xwstringset::ToJSON(json_object*& out) {
  if (empty())
    return false;
  out = json_object_new_array_ext(static_cast<int>(size()));
  if (out == nullptr)
    return false;
  for (const xwstring& path : *this)
    json_object_array_add(out, json_object_new_string(TextOf(path)));
  return true;
}

bool json_xwstringset::FromJSON(json_object* array) {
  json_msg_param_array elements(array);
  const int count = elements.length();
  if (count < 1)
    return false;
  clear();
  for (int i = 0; i < count; ++i) {
    json_msg_param<char*> text(elements[i]);
    emplace(static_cast<char*>(text));
  }
  return true;
}
