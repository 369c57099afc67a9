// The texts the browser and the system log depend on, word for word and
// member by member, each produced the way the host produces it.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>

#include "Common/testing/FakeWebClient.h"
#include "mac/QXWebClientBaseMac.h"

namespace {

using namespace testing_support;

class DesktopClient : public CQXWebClientBaseMac {
 public:
  bool NotifyBrowser(const char*) override { return true; }
  void Log(const char* record) override { logged.emplace_back(record); }
  Strings logged;
};

std::string ErrorFormat(tErrorStringID id) {
  DesktopClient client;
  xwstring text;
  client.RetrieveErrorString(id, text);
  return static_cast<const char*>(text);
}

// A client holding two entries and a download location.
struct Populated : FakeWebClient {
  Populated() {
    CFileList files;
    files.emplace(xwstring_pair("/a/b", "a"), 1048576.0);
    files.emplace(xwstring_pair("/B", ""), 12.0);
    AddFiles(files);
    mDownloadLocation = "/d";
  }
};

using Produce = std::function<std::string()>;

// The first frame or forwarded request of a populated client after `act`.
Produce Sent(std::function<void(FakeWebClient&)> act) {
  return [act] {
    Populated client;
    client.frames.clear();
    act(client);
    return client.frames.empty() ? client.proxied.at(0) : client.frames.at(0);
  };
}
Produce Sent(const wchar_t* request) {
  return Sent([request](FakeWebClient& c) { c.Execute(request); });
}

// The last log record, as "<level> <text>", of a client after `act`.
template <typename Client = FakeWebClient>
Produce Logged(std::function<void(FakeWebClient&)> act) {
  return [act] {
    Client client;
    act(client);
    return client.log.back().first + " " + client.log.back().second;
  };
}
Produce Logged(const wchar_t* request) {
  return Logged([request](FakeWebClient& c) { c.Execute(request); });
}
Produce Logged(const char* notification) {
  return Logged([notification](FakeWebClient& c) { c.HandleNotification(notification); });
}

TEST(ContractTexts, AreWordForWord) {
  const std::string head = R"({ "version": "8.2.0x431", "type": "Notification", "code": )";
  const std::string list =
      R"([ { "file_path": "\/a\/b", "relative_path": "a", "size": 1048576.000000 },)"
      R"( { "file_path": "\/B", "relative_path": "", "size": 12.000000 } ] })";
  const std::pair<Produce, std::string> rows[] = {
      {[] { return ErrorFormat(kErrLaunchAssistant); }, "Failed to launch Quorvex Assistant"},
      {[] { return ErrorFormat(kErrQueueLimitReached); },
       "Not allowed to queue more than %d files for sending"},
      {[] { return ErrorFormat(kErrFileNameTooLong); },
       "Could not add '%s' for upload - the file name exceeds the maximum length of %d characters"},
      {[] { return ErrorFormat(kErrAddFileOSError); },
       "Could not add '%s' for upload - an operating system error has occurred (%d)"},
      {[] {
         DesktopClient client;
         client.CreateLogger();
         xwstring text;
         client.RetrieveErrorString(5, text);
         std::string record = client.logged.at(0);
         for (size_t i = 16; i < 35 && i < record.size(); ++i)
           record[i] = isdigit(static_cast<unsigned char>(record[i])) ? '9' : record[i];
         return record;
       },
       R"({ "timestamp": "9999.99.99 99.99.99.000", "text": "Unknown stringID specified 5",)"
       R"( "version": "8.2.0x431", "type": "Log", "code": "ERROR" })"},
      {Sent([](FakeWebClient& c) { c.ReportError(kErrQueueLimitReached, 25); }),
       head + R"("Error", "text": "Not allowed to queue more than 25 files for sending" })"},
      {[] { return Populated().frames.at(0); },
       head + R"("FilesAddedToUploadList", "files_ul": )" + list},
      {Sent(LR"({"type": "Request", "code": "DeleteFilesFromUploadList", "files_ul":)"
            LR"( [{"file_path": "/A/B", "relative_path": "A", "size": 1.0}]})"),
       head + R"("FilesDeletedFromUploadList", "files_ul": [ { "file_path": "\/A\/B",)"
              R"( "relative_path": "A", "size": 1.000000 } ] })"},
      {Sent(
           LR"({"version": "9", "type": "Request", "code": "StartUpload", "files_ul": [], "id": 4})"),
       R"({ "version": "9", "type": "Request", "code": "StartUpload", "id": 4, "files_ul": )" +
           list},
      {Sent(LR"({"type": "Request", "code": "StartDownload", "dest_path": "/e", "x": 1})"),
       R"({ "type": "Request", "code": "StartDownload", "x": 1, "dest_path": "\/d" })"},
      {Logged([](FakeWebClient& c) { c.ReportError(0); }),
       "ERROR Failed to retrieve error string 0"},
      {Logged(LR"({"type": "Request", "code": "DeleteFilesFromUploadList"})"),
       "WARNING Invalid request / no files to delete"},
      {Logged(LR"({"type": "Request", "code": "QueueFilesForUpload"})"),
       "WARNING Invalid request / no files to queue"},
      {Logged(LR"({"type": "Request", "code": "StartUpload"})"),
       "ERROR Failed to convert list of files to JSON"},
      {Logged(LR"({"type": "Request", "code": "StartDownload"})"),
       "ERROR Download location not specified"},
      {Logged<Populated>([](FakeWebClient& c) {
         c.proxyResult = false;
         c.Execute(LR"({"type": "Request", "code": "StartDownload"})");
       }),
       "ERROR Failed to pass request to file transfer proxy"},
      {Logged(LR"({"type": "Request", "code": "SetParameter", "name": "FileTransferLimit",)"
              LR"( "value": -3})"),
       "WARNING Invalid upload limit specified: -3"},
      {Logged(LR"({"type": "Request", "code": "SetParameter", "name": "Timeout"})"),
       "ERROR Invalid plug-in parameter: Timeout"},
      {Logged(R"({"code": "X"})"), "WARNING Wrong message type"},
      {Logged("{"), "WARNING Invalid notification message"},
      {Logged(R"({"type": "Notification", "code": "FileSent"})"),
       "WARNING Failed to delete files from upload list while processing Assistant notification"},
      {Logged([](FakeWebClient& c) {
         c.failNotify = [](int) { return true; };
         c.HandleNotification(R"({"type": "Notification", "code": "X"})");
       }),
       "WARNING Failed to notify browser"},
  };
  for (const auto& [produce, expected] : rows)
    EXPECT_EQ(produce(), expected);
}

}  // namespace
