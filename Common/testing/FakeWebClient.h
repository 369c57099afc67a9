// A client whose platform half is recorded instead of performed: browser
// frames, forwarded requests, confirmations and log records.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Common/QXWebClientBase.h"

namespace testing_support {

// The browser channel refuses texts above this size.
constexpr size_t kLargestFrameText = 1048576;

class RecordingLogger : public CLogger {
 public:
  explicit RecordingLogger(std::vector<std::pair<std::string, std::string>>& records)
      : mRecords(records) {}
  void Log(const char* level, char* text) override { mRecords.emplace_back(level, text); }

 private:
  std::vector<std::pair<std::string, std::string>>& mRecords;
};

class FakeWebClient : public CQXWebClientBase {
 public:
  using CQXWebClientBase::AddFiles;

  FakeWebClient() { CreateLogger(); }

  bool NotifyBrowser(const char* text) override {
    ++notifyCalls;
    if (failNotify && failNotify(notifyCalls))
      return false;
    if (strlen(text) > kLargestFrameText)
      return false;
    frames.emplace_back(text);
    return true;
  }

  void CreateLogger() override { mLogger = new RecordingLogger(logRecords); }

  bool ProxyExecuteRequest(wchar_t* request) override {
    proxied.emplace_back(static_cast<const char*>(xwstring(request)));
    return proxyResult;
  }

  bool AddFiles(json_xwstringset& items) override {
    expanded.emplace_back();
    for (const xwstring& item : items)
      expanded.back().emplace_back(static_cast<const char*>(item));
    return true;
  }

  bool VerifyFileSelection(json_xwstringset& items) override {
    verified.emplace_back();
    for (const xwstring& item : items)
      verified.back().emplace_back(static_cast<const char*>(item));
    return confirm;
  }

  bool SelectFilesToUpload() override {
    calls.emplace_back("SelectFilesToUpload");
    return true;
  }

  bool SelectDownloadLocation() override {
    calls.emplace_back("SelectDownloadLocation");
    return true;
  }

  bool RetrieveErrorString(tErrorStringID id, xwstring& text) override {
    switch (id) {
      case kErrLaunchAssistant:
        text = "Failed to launch Quorvex Assistant";
        return true;
      case kErrQueueLimitReached:
        text = "Not allowed to queue more than %d files for sending";
        return true;
      case kErrFileNameTooLong:
        text =
            "Could not add '%s' for upload - the file name exceeds the maximum length of %d "
            "characters";
        return true;
      default:
        return false;
    }
  }

  void SetDownloadLocationForTest(const char* path) { mDownloadLocation = path; }
  void SetLimitForTest(int32_t limit) { mFileTransferLimit = limit; }

  bool Execute(const std::wstring& request) {
    std::wstring text = request;
    return ExecuteRequest(text.data());
  }

  // Log texts of one level, in order.
  std::vector<std::string> Logged(const std::string& level) const {
    std::vector<std::string> texts;
    for (const auto& [recordLevel, text] : logRecords)
      if (recordLevel == level)
        texts.push_back(text);
    return texts;
  }

  std::vector<std::string> frames;
  std::vector<std::string> proxied;
  std::vector<std::string> calls;
  std::vector<std::vector<std::string>> expanded;
  std::vector<std::vector<std::string>> verified;
  std::vector<std::pair<std::string, std::string>> logRecords;
  // Given the 1-based number of the NotifyBrowser call, whether it fails.
  std::function<bool(int)> failNotify;
  int notifyCalls = 0;
  bool proxyResult = true;
  bool confirm = true;
};

}  // namespace testing_support
