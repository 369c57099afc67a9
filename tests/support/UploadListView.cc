#include "tests/support/UploadListView.h"

#include <json-c/json.h>
#include <strings.h>

#include "tests/support/Frames.h"

namespace {

std::string Member(json_object* object, const char* name) {
  json_object* member = nullptr;
  if (!json_object_object_get_ex(object, name, &member))
    return "";
  return json_object_get_string(member);
}

}  // namespace

std::vector<UploadEntry> NotifiedEntries(const std::string& frame, const std::string& code) {
  std::vector<UploadEntry> entries;
  if (!IsMessageWithCode(frame, code))
    return entries;
  JsonPtr parsed = ParseJson(frame);
  json_object* list = nullptr;
  if (!json_object_object_get_ex(parsed.get(), "files_ul", &list) ||
      !json_object_is_type(list, json_type_array))
    return entries;
  for (size_t i = 0; i < json_object_array_length(list); ++i) {
    json_object* item = json_object_array_get_idx(list, i);
    json_object* size = nullptr;
    json_object_object_get_ex(item, "size", &size);
    entries.push_back(
        {Member(item, "file_path"), Member(item, "relative_path"), json_object_get_double(size)});
  }
  return entries;
}

std::string EntriesMember(const std::vector<UploadEntry>& entries) {
  JsonPtr list(json_object_new_array());
  for (const auto& entry : entries) {
    json_object* item = json_object_new_object();
    json_object_object_add(item, "file_path", json_object_new_string(entry.path.c_str()));
    json_object_object_add(item, "relative_path", json_object_new_string(entry.relative.c_str()));
    json_object_object_add(item, "size", json_object_new_double(entry.size));
    json_object_array_add(list.get(), item);
  }
  return std::string("\"files_ul\":") +
         json_object_to_json_string_ext(list.get(), JSON_C_TO_STRING_PLAIN);
}

bool UploadListView::CaseLess::operator()(const std::pair<std::string, std::string>& a,
                                          const std::pair<std::string, std::string>& b) const {
  const int byPath = strcasecmp(a.first.c_str(), b.first.c_str());
  return byPath != 0 ? byPath < 0 : strcasecmp(a.second.c_str(), b.second.c_str()) < 0;
}

std::string UploadListView::Apply(const std::string& frame) {
  std::string problems;
  for (const auto& entry : NotifiedEntries(frame, "FilesAddedToUploadList"))
    if (!mEntries.emplace(std::make_pair(entry.path, entry.relative), entry.size).second)
      problems += "added again: " + entry.path + "\n";
  for (const auto& entry : NotifiedEntries(frame, "FilesDeletedFromUploadList"))
    if (mEntries.erase({entry.path, entry.relative}) == 0)
      problems += "deleted but not listed: " + entry.path + "\n";
  return problems;
}

bool UploadListView::Contains(const UploadEntry& entry) const {
  return mEntries.count({entry.path, entry.relative}) != 0;
}

std::vector<UploadEntry> UploadListView::Entries() const {
  std::vector<UploadEntry> entries;
  for (const auto& [key, size] : mEntries)
    entries.push_back({key.first, key.second, size});
  return entries;
}
