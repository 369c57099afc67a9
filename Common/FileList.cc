#include "Common/FileList.h"

#include <strings.h>

#include "Common/EntryText.h"
#include "Common/json_msg_param.h"

namespace {

int CompareIgnoringCase(const xwstring& left, const xwstring& right) {
  return strcasecmp(TextOf(left), TextOf(right));
}

}  // namespace

bool xwstring_less_than::operator()(const xwstring& left, const xwstring& right) const {
  return CompareIgnoringCase(left, right) < 0;
}

int CompareFileKeys(const xwstring_pair& left, const xwstring_pair& right) {
  const int byFile = CompareIgnoringCase(left.first, right.first);
  return byFile != 0 ? byFile : CompareIgnoringCase(left.second, right.second);
}

FileListJSONWriter::FileListJSONWriter(std::string& text) : mText(text) {
  mText += "[";
}

void FileListJSONWriter::Add(const xwstring_pair& key, double size) {
  mText += mSeparator;
  AppendEntryJSON(key, size, mText);
  mSeparator = ", ";
}

void FileListJSONWriter::Finish() {
  mText += " ]";
}

void AppendFileListEntriesJSON(CFileList::const_iterator first, CFileList::const_iterator last,
                               std::string& text) {
  FileListJSONWriter writer(text);
  for (; first != last; ++first)
    writer.Add(first->first, first->second);
  writer.Finish();
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
  Append(xwstring_pair(xwstring(static_cast<char*>(filePath)),
                       xwstring(static_cast<char*>(relativePath))),
         static_cast<double>(size));
}

void CFileList::Append(xwstring_pair key, double size) {
  // Lists mostly come back in the order they were sent in, which is this
  // list's own: then an element goes in at the end without a search.
  emplace_hint(end(), std::move(key), size);
}
