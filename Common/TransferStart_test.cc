#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Common/testing/FakeWebClient.h"

namespace {

using namespace testing_support;

std::string DestPath(const std::string& request) {
  json_object* message = json_tokener_parse(request.c_str());
  std::string path = json_object_get_string(json_object_object_get(message, "dest_path"));
  json_object_put(message);
  return path;
}

TEST(TransferStart, UploadForwardsTheWholeListInPlaceOfTheRequestsOwn) {
  FakeWebClient client;
  EXPECT_FALSE(client.Execute(LR"({"type": "Request", "code": "StartUpload"})"));
  EXPECT_TRUE(client.proxied.empty());
  CFileList files = List({"/b", "/A"});
  ASSERT_TRUE(client.AddFiles(files));
  EXPECT_TRUE(
      client.Execute(LR"({"type": "Request", "code": "StartUpload", "files_ul":)"
                     LR"( [{"file_path": "/other"}]})"));
  ASSERT_EQ(client.proxied.size(), 1u);
  EXPECT_EQ(Summary(client.proxied[0]), "StartUpload /A,/b");
  EXPECT_EQ(client.UploadList().size(), 2u);
}

TEST(TransferStart, DownloadUsesTheChosenLocationOnce) {
  FakeWebClient client;
  const std::wstring request =
      LR"({"type": "Request", "code": "StartDownload", "dest_path": "/elsewhere"})";
  EXPECT_FALSE(client.Execute(request));
  client.SetDownloadLocationForTest("/home/u/Down loads");
  EXPECT_TRUE(client.Execute(request));
  EXPECT_FALSE(client.Execute(request));
  ASSERT_EQ(client.proxied.size(), 1u);
  EXPECT_EQ(DestPath(client.proxied[0]), "/home/u/Down loads");
  EXPECT_LE(client.DownloadLocation().length(), 0);
}

TEST(TransferStart, FailedForwardKeepsListAndLocation) {
  FakeWebClient client;
  client.proxyResult = false;
  CFileList files = List({"/x"});
  ASSERT_TRUE(client.AddFiles(files));
  client.SetDownloadLocationForTest("/d");
  EXPECT_FALSE(client.Execute(LR"({"type": "Request", "code": "StartUpload"})"));
  EXPECT_FALSE(client.Execute(LR"({"type": "Request", "code": "StartDownload"})"));
  EXPECT_EQ(client.proxied.size(), 2u);
  EXPECT_EQ(client.UploadList().size(), 1u);
  EXPECT_STREQ(static_cast<const char*>(client.DownloadLocation()), "/d");
}

TEST(TransferStart, OnlyAPositiveIntegerFileTransferLimitIsTaken) {
  constexpr int kUnlimited = 2147483647;
  const std::pair<const wchar_t*, int> parameters[] = {
      {LR"("name": "filetransferlimit", "value": 50)", 50},
      {LR"("name": "FileTransferLimit", "value": 1)", 1},
      {LR"("name": "FileTransferLimit", "value": 0)", kUnlimited},
      {LR"("name": "FileTransferLimit", "value": -3)", kUnlimited},
      {LR"("name": "FileTransferLimit", "value": "50")", kUnlimited},
      {LR"("name": "FileTransferLimit", "value": 50.5)", kUnlimited},
      {LR"("name": "FileTransferLimit", "value": 10.0)", kUnlimited},
      {LR"("name": "Timeout", "value": 5)", kUnlimited},
      {LR"("value": 5)", kUnlimited},
  };
  for (const auto& [parameter, limit] : parameters) {
    FakeWebClient client;
    EXPECT_EQ(client.Execute(std::wstring(LR"({"type": "Request", "code": "SetParameter", )") +
                             parameter + L"}"),
              limit != kUnlimited);
    EXPECT_EQ(client.FileTransferLimit(), limit);
  }
}

}  // namespace
