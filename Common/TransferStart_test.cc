#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Common/testing/FakeWebClient.h"

namespace {

using testing_support::FakeWebClient;

TEST(TransferStart, UploadForwardsTheRequestWithTheWholeListLast) {
  FakeWebClient client;
  EXPECT_FALSE(client.Execute(LR"({"type": "Request", "code": "StartUpload"})"));
  EXPECT_TRUE(client.proxied.empty());
  EXPECT_EQ(client.Logged("ERROR"),
            (std::vector<std::string>{"Failed to convert list of files to JSON"}));

  CFileList files;
  files.emplace(xwstring_pair("/b", "r"), 2.0);
  files.emplace(xwstring_pair("/A", ""), 1.0);
  ASSERT_TRUE(client.AddFiles(files));

  EXPECT_TRUE(client.Execute(
      LR"({"version": "9", "type": "Request", "code": "StartUpload", "files_ul": [], "id": 4})"));
  ASSERT_EQ(client.proxied.size(), 1u);
  EXPECT_EQ(client.proxied[0],
            R"({ "version": "9", "type": "Request", "code": "StartUpload", "id": 4, "files_ul":)"
            R"( [ { "file_path": "\/A", "relative_path": "", "size": 1.000000 },)"
            R"( { "file_path": "\/b", "relative_path": "r", "size": 2.000000 } ] })");
  EXPECT_EQ(client.UploadList().size(), 2u);
}

TEST(TransferStart, DownloadConsumesTheChosenLocation) {
  FakeWebClient client;
  EXPECT_FALSE(client.Execute(LR"({"type": "Request", "code": "StartDownload"})"));
  client.SetDownloadLocationForTest("/home/u/Down loads");
  EXPECT_TRUE(client.Execute(
      LR"({"type": "Request", "code": "StartDownload", "dest_path": "/elsewhere", "x": 1})"));
  EXPECT_EQ(client.proxied,
            (std::vector<std::string>{
                R"({ "type": "Request", "code": "StartDownload", "x": 1, "dest_path":)"
                R"( "\/home\/u\/Down loads" })"}));
  EXPECT_LE(client.DownloadLocation().length(), 0);
  EXPECT_FALSE(client.Execute(LR"({"type": "Request", "code": "StartDownload"})"));
  EXPECT_EQ(client.Logged("ERROR"), (std::vector<std::string>{"Download location not specified",
                                                              "Download location not specified"}));
}

TEST(TransferStart, FailedForwardIsLoggedAndKeepsListAndLocation) {
  FakeWebClient client;
  client.proxyResult = false;
  CFileList files;
  files.emplace(xwstring_pair("/x", ""), 1.0);
  ASSERT_TRUE(client.AddFiles(files));
  client.SetDownloadLocationForTest("/d");
  EXPECT_FALSE(client.Execute(LR"({"type": "Request", "code": "StartUpload"})"));
  EXPECT_FALSE(client.Execute(LR"({"type": "Request", "code": "StartDownload"})"));
  EXPECT_EQ(client.UploadList().size(), 1u);
  EXPECT_STREQ(static_cast<const char*>(client.DownloadLocation()), "/d");
  EXPECT_EQ(client.Logged("ERROR"),
            std::vector<std::string>(2, "Failed to pass request to file transfer proxy"));
}

TEST(TransferStart, FileTransferLimitMustBeAPositiveIntegerAndTheOnlyParameter) {
  FakeWebClient client;
  EXPECT_TRUE(client.Execute(
      LR"({"type": "Request", "code": "SetParameter", "name": "filetransferlimit", "value": 50})"));
  EXPECT_EQ(client.FileTransferLimit(), 50);
  for (const wchar_t* value : {L"0", L"-3", L"\"50\"", L"50.5", L"10.0"}) {
    const std::wstring request =
        std::wstring(LR"({"type": "Request", "code": "SetParameter", "name": )") +
        LR"("FileTransferLimit", "value": )" + value + L"}";
    EXPECT_FALSE(client.Execute(request));
  }
  EXPECT_EQ(client.FileTransferLimit(), 50);
  EXPECT_EQ(client.Logged("WARNING"),
            (std::vector<std::string>{
                "Invalid upload limit specified: 0", "Invalid upload limit specified: -3",
                "Invalid upload limit specified: 0", "Invalid upload limit specified: 0",
                "Invalid upload limit specified: 0"}));

  EXPECT_FALSE(client.Execute(
      LR"({"type": "Request", "code": "SetParameter", "name": "Timeout", "value": 5})"));
  EXPECT_FALSE(client.Execute(LR"({"type": "Request", "code": "SetParameter", "value": 5})"));
  EXPECT_EQ(client.FileTransferLimit(), 50);
  EXPECT_EQ(client.Logged("ERROR"), (std::vector<std::string>{"Invalid plug-in parameter: Timeout",
                                                              "Invalid plug-in parameter: "}));
}

}  // namespace
