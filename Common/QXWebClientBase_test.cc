#include "Common/QXWebClientBase.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Common/testing/FakeWebClient.h"
#include "platform/core/TextConversion.h"

namespace {

using testing_support::FakeWebClient;

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

TEST(RequestDispatch, ResetMatchesInAnyCaseAndRestoresTheInitialState) {
  FakeWebClient client;
  CFileList files;
  files.emplace(xwstring_pair("/a", ""), 1.0);
  ASSERT_TRUE(client.AddFiles(files));
  client.SetLimitForTest(5);
  client.SetDownloadLocationForTest("/downloads");
  client.frames.clear();
  client.logRecords.clear();

  EXPECT_TRUE(client.Execute(LR"({"type": "request", "code": "reset"})"));
  EXPECT_TRUE(client.UploadList().empty());
  EXPECT_EQ(client.DownloadLocation().length(), 0);
  EXPECT_EQ(client.FileTransferLimit(), 2147483647);
  EXPECT_TRUE(client.frames.empty());
  EXPECT_EQ(client.Logged("DEBUG"), (std::vector<std::string>{"ExecuteRequest", "Reset"}));
}

// The other codes are driven through Execute by their own tests.
TEST(RequestDispatch, SelectionCodesReachTheirDialogs) {
  FakeWebClient client;
  EXPECT_TRUE(client.Execute(LR"({"type": "Request", "code": "SelectFilesToUpload"})"));
  EXPECT_TRUE(client.Execute(LR"({"type": "Request", "code": "selectdownloadlocation"})"));
  EXPECT_EQ(client.calls,
            (std::vector<std::string>{"SelectFilesToUpload", "SelectDownloadLocation"}));
}

TEST(RequestDispatch, UnknownOrMistypedCodeDoesNothingQuietly) {
  FakeWebClient client;
  EXPECT_FALSE(client.Execute(LR"({"type": "Request", "code": "FormatDisk"})"));
  EXPECT_FALSE(client.Execute(LR"({"type": "Request", "code": 3})"));
  EXPECT_FALSE(client.Execute(LR"({"type": "Request"})"));
  EXPECT_FALSE(client.Execute(LR"({"type": "Request", "code": ["Reset"]})"));
  EXPECT_TRUE(client.calls.empty());
  EXPECT_TRUE(client.frames.empty());
  EXPECT_EQ(client.Logged("DEBUG"), std::vector<std::string>(4, "ExecuteRequest"));
}

TEST(RequestDispatch, AnythingButARequestIsInvalid) {
  const std::vector<std::wstring> texts = {
      LR"({"code": "Reset"})",
      LR"({"type": "Notification", "code": "Reset"})",
      LR"({"type": 1, "code": "Reset"})",
      LR"(["Request", "Reset"])",
      L"not json",
      L"",
      L"null",
  };
  for (const std::wstring& text : texts) {
    FakeWebClient client;
    client.SetLimitForTest(9);
    EXPECT_FALSE(client.Execute(text));
    EXPECT_EQ(client.FileTransferLimit(), 9);
    EXPECT_EQ(client.Logged("DEBUG"),
              (std::vector<std::string>{"ExecuteRequest", "Invalid request"}));
    EXPECT_TRUE(client.frames.empty());
  }
  FakeWebClient client;
  EXPECT_FALSE(client.ExecuteRequest(nullptr));
  EXPECT_EQ(client.Logged("DEBUG"),
            (std::vector<std::string>{"ExecuteRequest", "Invalid request"}));
}

// Nothing of such a request may reach a log line, so none reaches a frame.
TEST(RequestDispatch, TextThatIsNotUTF8IsInvalid) {
  for (const char* text : {R"({"type":"Request","code":"SetParameter","name":"\xff\xfe"})",
                           R"({"type":"Request","code":"SetParameter","name":"\xc0\x80"})",
                           R"({"type":"Request","code":"SetParameter","name":"\xed\xa0\x80"})"}) {
    for (bool wide : {false, true}) {
      FakeWebClient client;
      const std::wstring decoded = QXDecodeUTF8(text, strlen(text));
      EXPECT_FALSE(wide ? client.Execute(decoded) : client.ExecuteRequestUTF8(text));
      EXPECT_EQ(client.logRecords.size(), 2u);
      EXPECT_EQ(client.Logged("DEBUG"),
                (std::vector<std::string>{"ExecuteRequest", "Invalid request"}));
    }
  }
}

TEST(RequestDispatch, WideTextIsReadAsUTF8) {
  FakeWebClient client;
  EXPECT_TRUE(
      client.Execute(L"{\"type\": \"Request\", \"code\": \"QueueFilesForUpload\", \"files_ul\": "
                     L"[{\"file_path\": \"/caf\u00e9/\U0001F600\"}]}"));
  ASSERT_EQ(client.expanded.size(), 1u);
  EXPECT_EQ(client.expanded[0], (std::vector<std::string>{"/caf\xC3\xA9/\xF0\x9F\x98\x80"}));
}

}  // namespace
