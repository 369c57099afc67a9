#include <cstring>
#include <iterator>
#include <string>

#include "Common/JsonObjectPtr.h"
#include "Common/MessageParser.h"
#include "Common/QXWebClientBase.h"
#include "Common/json_msg_param.h"

namespace {

constexpr long kMaxFileNameLength = 255;
constexpr size_t kNotificationChunk = 1000;

// The text of a notification carrying the entries in [first, last) as
// "files_ul"; empty when it cannot be created.
std::string ListNotification(const char* code, CFileList::const_iterator first,
                             CFileList::const_iterator last) {
  const JsonObjectPtr envelope(json_object_new_object());
  if (envelope == nullptr)
    return {};
  json_object_object_add(envelope.get(), "version", json_object_new_string(QX_PROTOCOL_VERSION));
  json_object_object_add(envelope.get(), "type", json_object_new_string("Notification"));
  json_object_object_add(envelope.get(), "code", json_object_new_string(code));
  // json-c's form, the list written in as its last member.
  std::string text = json_object_to_json_string(envelope.get());
  text.resize(text.size() - strlen(" }"));
  text += ", \"files_ul\": ";
  AppendFileListEntriesJSON(first, last, text);
  text += " }";
  return text;
}

}  // namespace

bool CQXWebClientBase::QueueFilesForUpload(json_object* request) {
  if (mLogger != nullptr)
    mLogger->DebugMsg("QueueFilesForUpload");
  CFileList list;
  if (!TakeFileList(request, list)) {
    if (mLogger != nullptr)
      mLogger->Warning("Invalid request / no files to queue");
    return false;
  }

  // Each entry goes as its path joins the set, so the two never both hold
  // a long list.
  json_xwstringset items;
  for (auto entry = list.begin(); entry != list.end(); entry = list.erase(entry))
    items.insert(entry->first.first);
  // Queued paths come from the page, so the user confirms them first.
  if (VerifyFileSelection(items))
    AddFiles(items);
  return true;
}

bool CQXWebClientBase::CheckFilenameLength(const xwstring& path) {
  const char* text = path;
  const char* separator = text != nullptr ? strrchr(text, '/') : nullptr;
  if (separator == nullptr)
    return true;
  // Measured composed, as the file system stores names.
  const std::string composed = ComposeUTF8(separator);
  return static_cast<long>(composed.size()) - 1 <= kMaxFileNameLength;
}

bool CQXWebClientBase::AddFiles(CFileList& files) {
  if (mLogger != nullptr)
    mLogger->DebugMsg("AddFiles");
  bool limitReached = false;
  bool result = false;

  // Admission in key order; once the limit is reached every later entry is
  // dropped, not kept for later.
  for (auto entry = files.begin(); entry != files.end();) {
    if (!limitReached && static_cast<int32_t>(mUploadList.size()) >= mFileTransferLimit)
      limitReached = true;
    bool admitted = false;
    if (limitReached) {
      admitted = false;
    } else if (!CheckFilenameLength(entry->first.first)) {
      ReportError(kErrFileNameTooLong, static_cast<const char*>(entry->first.first),
                  static_cast<int>(kMaxFileNameLength));
    } else {
      admitted = mUploadList.insert(*entry).second;
    }
    entry = admitted ? std::next(entry) : files.erase(entry);
  }

  if (files.empty()) {
    if (mLogger != nullptr)
      mLogger->DebugMsg("No files to add");
    if (limitReached)
      ReportError(kErrQueueLimitReached, mFileTransferLimit);
    return false;
  }

  for (auto chunk = files.cbegin(); chunk != files.cend();) {
    auto chunkEnd = chunk;
    for (size_t n = 0; n < kNotificationChunk && chunkEnd != files.cend(); ++n)
      ++chunkEnd;

    const std::string message = ListNotification("FilesAddedToUploadList", chunk, chunkEnd);
    if (message.empty()) {
      if (mLogger != nullptr)
        mLogger->Warning("Failed to create JSON message");
    } else {
      result = NotifyBrowser(message.c_str());
      if (!result) {
        // The browser never heard of these entries, so they go again.
        if (mLogger != nullptr)
          mLogger->Warning("Failed to notify browser");
        for (auto entry = chunk; entry != chunkEnd; ++entry)
          mUploadList.erase(entry->first);
      }
    }
    chunk = chunkEnd;
  }

  if (limitReached)
    ReportError(kErrQueueLimitReached, mFileTransferLimit);
  return result;
}

bool CQXWebClientBase::DeleteFilesFromUploadList(json_object* request) {
  if (mLogger != nullptr)
    mLogger->DebugMsg("DeleteFilesFromUploadList");
  CFileList list;
  if (!TakeFileList(request, list)) {
    if (mLogger != nullptr)
      mLogger->Warning("Invalid request / no files to delete");
    return false;
  }
  return DeleteFiles(list);
}

bool CQXWebClientBase::DeleteFiles(CFileList& files) {
  if (mLogger != nullptr)
    mLogger->DebugMsg("DeleteFiles");
  for (auto entry = files.begin(); entry != files.end();)
    entry = mUploadList.erase(entry->first) != 0 ? std::next(entry) : files.erase(entry);

  if (files.empty()) {
    if (mLogger != nullptr)
      mLogger->DebugMsg("No files to delete");
    return false;
  }

  const std::string message =
      ListNotification("FilesDeletedFromUploadList", files.cbegin(), files.cend());
  if (message.empty()) {
    if (mLogger != nullptr)
      mLogger->Warning("Failed to create JSON message");
    return false;
  }
  const bool result = NotifyBrowser(message.c_str());
  if (!result) {
    // Keep the browser's view and ours in step: the removal did not happen.
    if (mLogger != nullptr)
      mLogger->Warning("Failed to notify browser");
    for (const auto& entry : files)
      mUploadList.insert(entry);
  }
  return result;
}
