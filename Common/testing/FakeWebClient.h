// Clients whose platform half is recorded instead of performed: browser
// frames, forwarded requests, confirmations, expansions and log records.
#pragma once

#include <json-c/json.h>

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Common/ErrorTexts.h"
#include "Common/QXWebClientBase.h"

namespace testing_support {

using Strings = std::vector<std::string>;
using LogRecords = std::vector<std::pair<std::string, std::string>>;

class RecordingLogger : public CLogger {
 public:
  explicit RecordingLogger(LogRecords& records) : mRecords(records) {}
  void Log(const char* level, char* text) override { mRecords.emplace_back(level, text); }

 private:
  LogRecords& mRecords;
};

// An upload list of the given paths, each of size 1 and no relative path.
inline CFileList List(const Strings& paths) {
  CFileList list;
  for (const std::string& path : paths)
    list.emplace(xwstring_pair(path.c_str(), ""), 1.0);
  return list;
}

inline Strings Paths(const CFileList& list) {
  Strings paths;
  for (const auto& entry : list)
    paths.emplace_back(static_cast<const char*>(entry.first.first));
  return paths;
}

// The error text the browser is sent for `id` with its arguments.
inline std::string ErrorText(tErrorStringID id, ...) {
  char text[2048];
  va_list arguments;
  va_start(arguments, id);
  vsnprintf(text, sizeof text, QXErrorText(id), arguments);
  va_end(arguments);
  return text;
}

// A message as "<code> <text>" or "<code> <path>,<path>...".
inline std::string Summary(const std::string& frame) {
  json_object* message = json_tokener_parse(frame.c_str());
  std::string summary = json_object_get_string(json_object_object_get(message, "code"));
  if (json_object* text = json_object_object_get(message, "text"))
    summary += std::string(" ") + json_object_get_string(text);
  json_object* files = json_object_object_get(message, "files_ul");
  for (size_t i = 0; files != nullptr && i < json_object_array_length(files); ++i)
    summary += (i == 0 ? " " : ",") + std::string(json_object_get_string(json_object_object_get(
                                          json_object_array_get_idx(files, i), "file_path")));
  json_object_put(message);
  return summary;
}

// `Client` with the browser channel and the logger recorded.
template <typename Client>
class Recording : public Client {
 public:
  Recording() { CreateLogger(); }
  bool NotifyBrowser(const char* text) override {
    if (failNotify && failNotify(++notifyCalls))
      return false;
    frames.emplace_back(text);
    return true;
  }
  void CreateLogger() override { this->mLogger = new RecordingLogger(log); }
  Strings Summaries() const {
    Strings summaries;
    for (const std::string& frame : frames)
      summaries.push_back(Summary(frame));
    return summaries;
  }

  Strings frames;
  LogRecords log;
  // Given the 1-based number of the NotifyBrowser call, whether it fails.
  std::function<bool(int)> failNotify;
  int notifyCalls = 0;
};

inline Strings Texts(const json_xwstringset& items) {
  Strings texts;
  for (const xwstring& item : items)
    texts.emplace_back(static_cast<const char*>(item));
  return texts;
}

class FakeWebClient : public Recording<CQXWebClientBase> {
 public:
  using CQXWebClientBase::AddFiles;

  bool ProxyExecuteRequest(wchar_t* request) override {
    proxied.emplace_back(static_cast<const char*>(xwstring(request)));
    return proxyResult;
  }
  bool AddFiles(json_xwstringset& items) override { return expanded.push_back(Texts(items)), true; }
  bool VerifyFileSelection(json_xwstringset& items) override {
    return verified.push_back(Texts(items)), confirm;
  }
  bool SelectFilesToUpload() override { return calls.emplace_back("SelectFilesToUpload"), true; }
  bool SelectDownloadLocation() override {
    return calls.emplace_back("SelectDownloadLocation"), true;
  }
  bool RetrieveErrorString(tErrorStringID id, xwstring& text) override {
    const char* known = QXErrorText(id);
    if (known != nullptr)
      text = known;
    return known != nullptr;
  }

  bool Execute(std::wstring request) { return ExecuteRequest(request.data()); }

  Strings proxied, calls;
  std::vector<Strings> expanded, verified;
  bool proxyResult = true;
  bool confirm = true;
};

}  // namespace testing_support
