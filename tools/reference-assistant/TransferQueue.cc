#include "tools/reference-assistant/TransferQueue.h"

#include <glib.h>
#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "tools/reference-assistant/OutboxCopy.h"

namespace fs = std::filesystem;

namespace {

const char* StringMember(json_object* object, const char* name) {
  json_object* member = nullptr;
  if (!json_object_object_get_ex(object, name, &member) ||
      json_object_get_type(member) != json_type_string) {
    return nullptr;
  }
  return json_object_get_string(member);
}

}  // namespace

TransferQueue::~TransferQueue() {
  if (mIdleSource != 0)
    g_source_remove(mIdleSource);
  for (Job& job : mJobs) {
    for (File& file : job.files)
      json_object_put(file.entry);
  }
}

void TransferQueue::Fail(const RequestOrigin& origin, const char* kind, const std::string& text) {
  json_object* failure = NewNotification("TransferFailed");
  json_object_object_add(failure, "transfer", json_object_new_string(kind));
  json_object_object_add(failure, "text", json_object_new_string(text.c_str()));
  SendStatus(origin, failure);
}

bool TransferQueue::PlanUpload(json_object* request, Job& job) {
  json_object* list = nullptr;
  if (!json_object_object_get_ex(request, "files_ul", &list) ||
      json_object_get_type(list) != json_type_array || json_object_array_length(list) == 0) {
    Fail(job.origin, "upload", "No files to upload");
    return false;
  }
  for (size_t i = 0; i < json_object_array_length(list); ++i) {
    json_object* item = json_object_array_get_idx(list, i);
    const char* filePath = StringMember(item, "file_path");
    if (filePath == nullptr)
      continue;
    const char* relative = StringMember(item, "relative_path");
    File file;
    file.source = filePath;
    file.relativePath = relative != nullptr ? relative : "";
    file.destination = OutboxPath(mOutbox, relative, filePath);
    file.entry = json_object_new_object();
    json_object_object_add(file.entry, "file_path", json_object_new_string(filePath));
    json_object_object_add(file.entry, "relative_path",
                           json_object_new_string(file.relativePath.c_str()));
    json_object* size = nullptr;
    json_object_object_get_ex(item, "size", &size);
    json_object_object_add(file.entry, "size", json_object_get(size));
    std::error_code ignored;
    uintmax_t bytes = fs::file_size(file.source, ignored);
    if (!ignored)
      job.bytesTotal += bytes;
    job.files.push_back(std::move(file));
  }
  return true;
}

bool TransferQueue::PlanDownload(json_object* request, Job& job) {
  const char* destination = StringMember(request, "dest_path");
  if (destination == nullptr || *destination == '\0') {
    Fail(job.origin, "download", "Download location not specified");
    return false;
  }
  std::error_code error;
  fs::recursive_directory_iterator walk(mOutbox, error);
  if (error) {
    Fail(job.origin, "download", "Cannot read the outbox: " + error.message());
    return false;
  }
  for (const auto& item : walk) {
    if (!item.is_regular_file())
      continue;
    File file;
    file.source = item.path().string();
    // As in an upload record, the relative path names the folder that holds the file.
    fs::path inside = item.path().lexically_relative(mOutbox);
    file.relativePath = inside.parent_path().string();
    file.destination = (fs::path(destination) / inside).string();
    job.bytesTotal += item.file_size();
    job.files.push_back(std::move(file));
  }
  std::sort(job.files.begin(), job.files.end(),
            [](const File& a, const File& b) { return a.destination < b.destination; });
  return true;
}

void TransferQueue::Accept(const RequestOrigin& origin, std::string requestText) {
  Job job;
  job.origin = origin;
  job.request = std::move(requestText);
  mJobs.push_back(std::move(job));
  if (mIdleSource == 0) {
    mIdleSource = g_idle_add(
        [](gpointer self) -> gboolean {
          auto* queue = static_cast<TransferQueue*>(self);
          if (queue->Step())
            return G_SOURCE_CONTINUE;
          queue->mIdleSource = 0;
          return G_SOURCE_REMOVE;
        },
        this);
  }
}

bool TransferQueue::Plan(Job& job) {
  json_object* request = json_tokener_parse(job.request.c_str());
  std::string().swap(job.request);
  job.planned = true;
  const char* code = request != nullptr ? StringMember(request, "code") : nullptr;
  bool planned = false;
  if (code != nullptr && strcasecmp(code, "StartUpload") == 0) {
    job.kind = "upload";
    planned = PlanUpload(request, job);
  } else if (code != nullptr && strcasecmp(code, "StartDownload") == 0) {
    job.kind = "download";
    planned = PlanDownload(request, job);
  } else {
    Fail(job.origin, "none", std::string("Not a transfer request: ") + (code ? code : "no code"));
  }
  json_object_put(request);
  if (!planned)
    return false;

  json_object* started = NewNotification("TransferStarted");
  json_object_object_add(started, "transfer", json_object_new_string(job.kind.c_str()));
  json_object_object_add(started, "files", json_object_new_int64(job.files.size()));
  json_object_object_add(started, "bytes", json_object_new_int64(job.bytesTotal));
  SendStatus(job.origin, started);
  return true;
}

bool TransferQueue::Step() {
  if (mJobs.empty())
    return false;
  Job& job = mJobs.front();
  if (!job.planned) {
    if (!Plan(job))
      mJobs.pop_front();
    return !mJobs.empty();
  }
  if (job.next == job.files.size()) {
    json_object* done = NewNotification("TransferComplete");
    json_object_object_add(done, "transfer", json_object_new_string(job.kind.c_str()));
    json_object_object_add(done, "files", json_object_new_int64(job.files.size() - job.failed));
    json_object_object_add(done, "failed", json_object_new_int64(job.failed));
    SendStatus(job.origin, done);
    mJobs.pop_front();
    return !mJobs.empty();
  }
  File& file = job.files[job.next++];
  std::string failure;
  const bool copied = job.kind == "upload"
                          ? CopyIntoOutbox(mOutbox, file.source, file.destination, &failure)
                          : CopyWhole(file.source, file.destination, &failure);
  if (!copied) {
    ++job.failed;
    Fail(job.origin, job.kind.c_str(), file.source + ": " + failure);
    json_object_put(file.entry);
    file.entry = nullptr;
    return true;
  }
  std::error_code error;
  uintmax_t bytes = fs::file_size(file.destination, error);
  job.bytesDone += error ? 0 : bytes;

  json_object* progress = NewNotification("TransferProgress");
  json_object_object_add(progress, "transfer", json_object_new_string(job.kind.c_str()));
  json_object_object_add(progress, "file_path", json_object_new_string(file.source.c_str()));
  json_object_object_add(progress, "files_done", json_object_new_int64(job.next));
  json_object_object_add(progress, "files_total", json_object_new_int64(job.files.size()));
  json_object_object_add(progress, "bytes_done", json_object_new_int64(job.bytesDone));
  json_object_object_add(progress, "bytes_total", json_object_new_int64(job.bytesTotal));
  bool reachable = SendStatus(job.origin, progress);

  if (reachable && job.kind == "upload") {
    json_object* sent = NewNotification("FileSent");
    json_object* list = json_object_new_array();
    json_object_array_add(list, file.entry);
    file.entry = nullptr;
    json_object_object_add(sent, "files_ul", list);
    reachable = SendStatus(job.origin, sent);
  } else if (reachable) {
    json_object* received = NewNotification("FileReceived");
    json_object_object_add(received, "file_path", json_object_new_string(file.destination.c_str()));
    json_object_object_add(received, "relative_path",
                           json_object_new_string(file.relativePath.c_str()));
    json_object_object_add(received, "size", json_object_new_int64(bytes));
    reachable = SendStatus(job.origin, received);
  }
  if (!reachable) {
    // The host has gone: nobody is left to tell about the rest.
    for (File& rest : job.files) {
      json_object_put(rest.entry);
      rest.entry = nullptr;
    }
    mJobs.pop_front();
    return !mJobs.empty();
  }
  return true;
}
