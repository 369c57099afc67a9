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

// The start of a notification carrying entries as "files_ul": json-c's form
// of the envelope, the list to be written in as its last member.
std::string ListNotificationHead(const char* code) {
  const JsonObjectPtr envelope(json_object_new_object());
  if (envelope == nullptr)
    return {};
  json_object_object_add(envelope.get(), "version", json_object_new_string(QX_PROTOCOL_VERSION));
  json_object_object_add(envelope.get(), "type", json_object_new_string("Notification"));
  json_object_object_add(envelope.get(), "code", json_object_new_string(code));
  std::string head = json_object_to_json_string(envelope.get());
  head.resize(head.size() - strlen(" }"));
  head += ", \"files_ul\": ";
  return head;
}

// Writes into `text` the notification that starts with `head` and carries
// the entries in [first, last). The text is reused from one notification to
// the next, so a long list is written without growing a new buffer each time.
void ListNotification(const std::string& head, CFileList::const_iterator first,
                      CFileList::const_iterator last, std::string& text) {
  text.assign(head);
  AppendFileListEntriesJSON(first, last, text);
  text += " }";
}

// Whether the name measures the same composed: text without non-ASCII bytes
// is its own canonical composition.
bool IsASCII(const char* text) {
  for (; *text != '\0'; ++text) {
    if (static_cast<unsigned char>(*text) >= 0x80)
      return false;
  }
  return true;
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
  if (IsASCII(separator))
    return static_cast<long>(strlen(separator)) - 1 <= kMaxFileNameLength;
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
  // dropped, not kept for later. Both lists share the order, so each entry
  // goes in just before where the previous one ended up.
  auto hint = mUploadList.end();
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
      const size_t before = mUploadList.size();
      hint = std::next(mUploadList.insert(hint, *entry));
      admitted = mUploadList.size() != before;
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

  const std::string head = ListNotificationHead("FilesAddedToUploadList");
  std::string message;
  for (auto chunk = files.cbegin(); chunk != files.cend();) {
    auto chunkEnd = chunk;
    for (size_t n = 0; n < kNotificationChunk && chunkEnd != files.cend(); ++n)
      ++chunkEnd;

    if (head.empty()) {
      if (mLogger != nullptr)
        mLogger->Warning("Failed to create JSON message");
    } else {
      ListNotification(head, chunk, chunkEnd, message);
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
  // Each entry goes into the notification as it is found, while its text is
  // still in the cache: a second walk of a long list would read it all again.
  const std::string head = ListNotificationHead("FilesDeletedFromUploadList");
  std::string message = head;
  FileListJSONWriter entries(message);
  // Both lists share the order, so the entry after the last one removed is
  // the first place to look for the next; one comparison tells whether it
  // is there.
  auto next = mUploadList.begin();
  for (auto entry = files.begin(); entry != files.end();) {
    auto found = next;
    if (found == mUploadList.end() || CompareFileKeys(found->first, entry->first) != 0)
      found = mUploadList.find(entry->first);
    if (found != mUploadList.end()) {
      next = mUploadList.erase(found);
      entries.Add(entry->first, entry->second);
      // Entries of one list are alike in length, so the first found tells
      // how much room the text needs: grown bit by bit, a long text was
      // copied over and over and left the heap in pieces.
      if (entry == files.begin())
        message.reserve(message.size() * files.size() / 4 * 5);
      ++entry;
    } else {
      entry = files.erase(entry);
    }
  }

  if (files.empty()) {
    if (mLogger != nullptr)
      mLogger->DebugMsg("No files to delete");
    return false;
  }

  if (head.empty()) {
    if (mLogger != nullptr)
      mLogger->Warning("Failed to create JSON message");
    return false;
  }
  entries.Finish();
  message += " }";
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
