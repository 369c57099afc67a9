#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Common/testing/FakeWebClient.h"
#include "platform/core/TextConversion.h"

namespace {

using namespace testing_support;

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

struct DispatchCase {
  std::wstring request;
  bool result;
  Strings calls;
};

// The codes not here are driven through requests by their own tests.
TEST(RequestDispatch, TypeAndCodeMatchInAnyCaseAndAnythingElseIsNoRequest) {
  const Strings upload{"SelectFilesToUpload"}, none;
  const DispatchCase cases[] = {
      {LR"({"type": "Request", "code": "SelectFilesToUpload"})", true, upload},
      {LR"({"type": "REQUEST", "code": "selectfilestoupload"})", true, upload},
      {LR"({"type": "request", "code": "SelectDownloadLOCATION"})",
       true,
       {"SelectDownloadLocation"}},
      {LR"({"type": "Request", "code": "FormatDisk"})", false, none},
      {LR"({"type": "Request", "code": 3})", false, none},
      {LR"({"type": "Request"})", false, none},
      {LR"({"type": "Request", "code": ["SelectFilesToUpload"]})", false, none},
      {LR"({"Type": "Request", "code": "SelectFilesToUpload"})", false, none},
      {LR"({"code": "SelectFilesToUpload"})", false, none},
      {LR"({"type": "Notification", "code": "SelectFilesToUpload"})", false, none},
      {LR"({"type": 1, "code": "SelectFilesToUpload"})", false, none},
      {LR"(["Request", "SelectFilesToUpload"])", false, none},
      {L"not json", false, none},
      {L"", false, none},
      {L"null", false, none},
  };
  for (const DispatchCase& c : cases) {
    FakeWebClient client;
    EXPECT_EQ(client.Execute(c.request), c.result);
    EXPECT_EQ(client.calls, c.calls);
    EXPECT_TRUE(client.frames.empty());
  }
  FakeWebClient client;
  EXPECT_FALSE(client.ExecuteRequest(nullptr));
  EXPECT_FALSE(client.ExecuteRequestUTF8(nullptr));
}

// Nothing of such a request may reach a log line, so none reaches a frame.
TEST(RequestDispatch, TextThatIsNotUTF8IsNoRequest) {
  for (const char* bad : {"\xff\xfe", "\xc0\x80", "\xed\xa0\x80"}) {
    const std::string text =
        std::string(R"({"type":"Request","code":"SelectFilesToUpload","n":")") + bad + "\"}";
    FakeWebClient client;
    EXPECT_FALSE(client.ExecuteRequestUTF8(text.c_str()));
    EXPECT_FALSE(client.Execute(QXDecodeUTF8(text.data(), text.size())));
    EXPECT_TRUE(client.calls.empty());
    for (const auto& record : client.log)
      EXPECT_EQ(record.second.find(bad), std::string::npos);
  }
}

TEST(RequestDispatch, WideTextIsReadAsUTF8) {
  FakeWebClient client;
  EXPECT_TRUE(
      client.Execute(L"{\"type\": \"Request\", \"code\": \"QueueFilesForUpload\", \"files_ul\": "
                     L"[{\"file_path\": \"/caf\u00e9/\U0001F600\"}]}"));
  EXPECT_EQ(client.expanded, std::vector<Strings>{{"/caf\xC3\xA9/\xF0\x9F\x98\x80"}});
}

TEST(RequestDispatch, ResetInAnyCaseRestoresTheInitialState) {
  FakeWebClient client;
  CFileList files = List({"/a"});
  ASSERT_TRUE(client.AddFiles(files));
  ASSERT_TRUE(
      client.Execute(LR"({"type": "Request", "code": "SetParameter", "name":)"
                     LR"( "FileTransferLimit", "value": 5})"));
  client.SetDownloadLocationForTest("/downloads");
  client.frames.clear();
  EXPECT_TRUE(client.Execute(LR"({"type": "request", "code": "reset"})"));
  EXPECT_TRUE(client.UploadList().empty());
  EXPECT_EQ(client.DownloadLocation().length(), 0);
  EXPECT_EQ(client.FileTransferLimit(), 2147483647);
  EXPECT_TRUE(client.frames.empty());
}

}  // namespace
