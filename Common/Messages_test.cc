// Requests from the browser and notifications from the Assistant, each sent
// to a client holding "/a/One" and "/b" and the download location "/d", and
// what it does in answer.
#include <gtest/gtest.h>

#include "Common/testing/FakeWebClient.h"

namespace {

using namespace testing_support;

struct Client : FakeWebClient {
  Client() {
    CFileList files = List({"/a/One", "/b"});
    AddFiles(files);
    frames.clear();
    mDownloadLocation = "/d";
    // Not the default, so that taking it back shows.
    mFileTransferLimit = 7;
  }

  // Everything that came of the message, in a fixed order.
  Strings Effects() const {
    Strings effects = calls;
    for (const auto& [what, lists] : {std::pair{"verify ", &verified}, {"expand ", &expanded}})
      for (const Strings& list : *lists)
        effects.push_back(what + Joined(list));
    for (const std::string& frame : frames)
      effects.push_back(Summary(frame));
    for (const std::string& request : proxied)
      effects.push_back("forward " + Summary(request));
    if (Paths(UploadList()) != Strings{"/a/One", "/b"})
      effects.push_back("list " + Joined(Paths(UploadList())));
    if (DownloadLocation().length() <= 0)
      effects.push_back("location gone");
    if (FileTransferLimit() != 7)
      effects.push_back("limit " + std::to_string(FileTransferLimit()));
    return effects;
  }
  static std::string Joined(const Strings& texts) {
    std::string joined;
    for (const std::string& text : texts)
      joined += (joined.empty() ? "" : ",") + text;
    return joined;
  }
};

struct Case {
  const char* text;
  Strings effects;
  // The user declines the confirmation and the Assistant cannot be reached.
  bool refused = false;
};

// The texts of the frames and forwarded requests are in the contract table.
TEST(Requests, MatchTypeAndCodeInAnyCaseAndActOnTheirMembers) {
  const Case cases[] = {
      {R"({"type":"REQUEST","code":"selectfilestoupload"})", {"SelectFilesToUpload"}},
      {R"({"type":"request","code":"SelectDownloadLOCATION"})", {"SelectDownloadLocation"}},
      {R"({"type":"Request","code":"FormatDisk"})", {}},
      {R"({"code":"Reset"})", {}},
      {R"({"type":"Notification","code":"Reset"})", {}},
      {nullptr, {}},
      {"{\"type\":\"Request\",\"code\":\"Reset\",\"n\":\"\xff\xfe\"}", {}},
      {R"({"type":"request","code":"reset"})", {"list ", "location gone", "limit 2147483647"}},
      {R"({"type":"Request","code":"DeleteFilesFromUploadList","files_ul":[{"file_path":"/A/ONE"},)"
       R"({"file_path":"/c"}]})",
       {"FilesDeletedFromUploadList /A/ONE", "list /b"}},
      {R"({"type":"Request","code":"DeleteFilesFromUploadList","files_ul":[{"file_path":"/c"}]})",
       {}},
      {R"({"type":"Request","code":"DeleteFilesFromUploadList"})", {}},
      {R"({"type":"Request","code":"QueueFilesForUpload","files_ul":[{"file_path":"/u/Doc"},)"
       R"({"file_path":"/U/doc","relative_path":"x"},{"file_path":"/a"}]})",
       {"verify /a,/u/Doc", "expand /a,/u/Doc"}},
      {R"({"type":"Request","code":"QueueFilesForUpload","files_ul":[]})", {}},
      {R"({"type":"Request","code":"StartUpload","files_ul":[{"file_path":"/x"}]})",
       {"forward StartUpload /a/One,/b"}},
      {R"({"type":"Request","code":"StartDownload","dest_path":"/e"})",
       {"forward StartDownload", "location gone"}},
      {R"({"type":"Request","code":"SetParameter","name":"filetransferlimit","value":1})",
       {"limit 1"}},
      {R"({"type":"Request","code":"SetParameter","name":"FileTransferLimit","value":0})", {}},
      {R"({"type":"Request","code":"SetParameter","name":"Timeout","value":5})", {}},
      {R"({"type":"Request","code":"QueueFilesForUpload","files_ul":[{"file_path":"/q"}]})",
       {"verify /q"},
       true},
      {R"({"type":"Request","code":"StartUpload"})", {"forward StartUpload /a/One,/b"}, true},
      {R"({"type":"Request","code":"StartDownload"})", {"forward StartDownload"}, true},
  };
  for (const Case& c : cases) {
    Client client;
    client.confirm = client.proxyResult = !c.refused;
    const bool acted = client.ExecuteRequestUTF8(c.text);
    EXPECT_EQ(client.Effects(), c.effects) << (c.text ? c.text : "null");
    // A declined queue is still handled; a forward that failed is not.
    const bool forwardFailed = c.refused && !client.proxied.empty();
    EXPECT_EQ(acted, !c.effects.empty() && !forwardFailed) << (c.text ? c.text : "null");
  }
}

TEST(Notifications, FileSentTakesFilesOffTheListAndOthersAreRelayedAsTheyCame) {
  const char* progress = R"({"code":"Progress",   "type" : "NOTIFICATION", "n": 42.50})";
  const Case cases[] = {
      {R"({"type":"Notification","code":"filesent","files_ul":[{"file_path":"/A/ONE"}]})",
       {"FilesDeletedFromUploadList /A/ONE", "list /b"}},
      {progress, {"Progress"}},
      {R"({"type":"Response","code":"Error"})", {}},
      {R"({"code":"Error"})", {}},
      {nullptr, {}},
      {R"({"type":"Notification","code":"FileSent"})", {}},
      {R"({"type":"Notification","code":"FileSent","files_ul":[{"file_path":"/c"}]})", {}},
      {"{\"type\":\"Notification\",\"code\":\"FileSent\",\"n\":\"\xff\",\"files_ul\":["
       "{\"file_path\":\"/b\"}]}",
       {}},
  };
  for (const Case& c : cases) {
    Client client;
    EXPECT_EQ(client.HandleNotification(c.text), !c.effects.empty());
    EXPECT_EQ(client.Effects(), c.effects) << (c.text ? c.text : "null");
  }
  Client client;
  client.HandleNotification(progress);
  EXPECT_EQ(client.frames, Strings{progress});
}

TEST(Requests, WideTextIsReadAsUTF8AndCharactersWithoutOneAreNoRequest) {
  Client client;
  EXPECT_TRUE(
      client.Execute(LR"({"type":"Request","code":"QueueFilesForUpload","files_ul":)"
                     L"[{\"file_path\": \"/caf\u00e9/\U0001F600\"}]}"));
  EXPECT_FALSE(client.Execute(std::wstring(LR"({"type":"Request","code":"Reset","n":")") +
                              wchar_t(0xDCFF) + L"\"}"));
  EXPECT_FALSE(client.ExecuteRequest(nullptr));
  EXPECT_EQ(client.Effects(), (Strings{"verify /caf\xC3\xA9/\xF0\x9F\x98\x80",
                                       "expand /caf\xC3\xA9/\xF0\x9F\x98\x80"}));
}

TEST(Notifications, ErrorTextsAreCutTo1022BytesOfWholeCharacters) {
  FakeWebClient client;
  std::string accents;
  for (int i = 0; i < 600; ++i)
    accents += "\xC3\xA9";
  const std::string prefix = "Error Could not add '";
  client.ReportError(kErrFileNameTooLong, std::string(2000, 'p').c_str(), 255);
  client.ReportError(kErrFileNameTooLong, accents.c_str(), 255);
  client.ReportError(0);
  EXPECT_EQ(client.Summaries(), (Strings{prefix + std::string(1028 - prefix.size(), 'p'),
                                         prefix + accents.substr(0, 1006)}));
}

TEST(ClientRegistry, ClientIsFoundByItsReferenceNumberWhileItLives) {
  unsigned int refCon = 0;
  {
    FakeWebClient client;
    refCon = static_cast<unsigned int>(client.RefCon());
    EXPECT_EQ(CQXWebClientBase::GetPluginInstanceFromRefCon(refCon), &client);
    EXPECT_EQ(CQXWebClientBase::GetPluginInstanceFromRefCon(refCon + 1), nullptr);
  }
  EXPECT_EQ(CQXWebClientBase::GetPluginInstanceFromRefCon(refCon), nullptr);
}

}  // namespace
