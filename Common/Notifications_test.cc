#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "Common/testing/FakeWebClient.h"

namespace {

using testing_support::FakeWebClient;

std::string ErrorFrame(const std::string& text) {
  return R"({ "version": "8.2.0x431", "type": "Notification", "code": "Error", "text": ")" + text +
         R"(" })";
}

void Queue(FakeWebClient& client, const char* path) {
  CFileList files;
  files.emplace(xwstring_pair(path, ""), 3.0);
  ASSERT_TRUE(client.AddFiles(files));
  client.frames.clear();
}

TEST(Notifications, FileSentRemovesTheFilesAndIsNotRelayed) {
  for (const char* code : {"FileSent", "filesent"}) {
    FakeWebClient client;
    Queue(client, "/sent.bin");
    const std::string text = std::string(R"({"version": "1", "type": "Notification", "code": ")") +
                             code +
                             R"(", "files_ul": [{"file_path": "/sent.bin", "relative_path": "",)"
                             R"( "size": 3.0}]})";
    EXPECT_TRUE(client.HandleNotification(text.c_str()));
    EXPECT_TRUE(client.UploadList().empty());
    ASSERT_EQ(client.frames.size(), 1u);
    EXPECT_NE(client.frames[0].find(R"("code": "FilesDeletedFromUploadList")"), std::string::npos);
  }
}

TEST(Notifications, OtherNotificationsAreRelayedByteForByte) {
  FakeWebClient client;
  const char* text = R"({"code":"Progress",   "type" : "NOTIFICATION", "percent": 42.50})";
  EXPECT_TRUE(client.HandleNotification(text));
  EXPECT_EQ(client.frames, (std::vector<std::string>{text}));
  EXPECT_EQ(client.Logged("DEBUG"), (std::vector<std::string>{"HandleNotification"}));

  client.failNotify = [](int) { return true; };
  EXPECT_FALSE(client.HandleNotification(text));
  EXPECT_EQ(client.Logged("WARNING"), (std::vector<std::string>{"Failed to notify browser"}));
}

TEST(Notifications, WrongTypeBrokenTextOrUnknownSentFilesAreNotRelayed) {
  FakeWebClient client;
  EXPECT_FALSE(client.HandleNotification(R"({"type": "Response", "code": "Error"})"));
  EXPECT_FALSE(client.HandleNotification(R"({"code": "Error"})"));
  EXPECT_FALSE(client.HandleNotification("{broken"));
  EXPECT_FALSE(client.HandleNotification(nullptr));
  EXPECT_FALSE(client.HandleNotification(R"({"type": "Notification", "code": "FileSent"})"));
  // Not UTF-8: neither relayed nor acted on.
  Queue(client, "/\xff.bin");
  EXPECT_FALSE(
      client.HandleNotification(R"({"type": "Notification", "code": "P", "n": "\xc0\x80"})"));
  EXPECT_FALSE(client.HandleNotification(
      R"({"type": "Notification", "code": "FileSent", "files_ul": [{"file_path": "/\xff.bin"}]})"));
  EXPECT_EQ(client.UploadList().size(), 1u);
  EXPECT_TRUE(client.frames.empty());
  EXPECT_EQ(client.Logged("WARNING"),
            (std::vector<std::string>{
                "Wrong message type", "Wrong message type", "Invalid notification message",
                "Invalid notification message", "Invalid request / no files to delete",
                "Failed to delete files from upload list while processing Assistant notification",
                "Invalid notification message", "Invalid notification message"}));
}

TEST(Notifications, ReportedErrorsAreFormattedNotificationsCutTo1022Bytes) {
  FakeWebClient client;
  client.ReportError(kErrLaunchAssistant);
  client.ReportError(kErrQueueLimitReached, 25);
  client.ReportError(kErrFileNameTooLong, "/a/name", 255);
  const std::string prefix = "Could not add '";
  client.ReportError(kErrFileNameTooLong, std::string(2000, 'p').c_str(), 255);
  std::string accents;
  for (int i = 0; i < 600; ++i)
    accents += "\xC3\xA9";
  client.ReportError(kErrFileNameTooLong, accents.c_str(), 255);
  client.ReportError(0);
  client.ReportError(5);
  EXPECT_EQ(client.frames,
            (std::vector<std::string>{
                ErrorFrame("Failed to launch Quorvex Assistant"),
                ErrorFrame("Not allowed to queue more than 25 files for sending"),
                ErrorFrame("Could not add '\\/a\\/name' for upload - the file name exceeds the "
                           "maximum length of 255 characters"),
                ErrorFrame(prefix + std::string(1022 - prefix.size(), 'p')),
                ErrorFrame(prefix + accents.substr(0, 1006))}));
  EXPECT_EQ(client.Logged("DEBUG"), std::vector<std::string>(5, "HandleNotification"));
  // Unknown error ids send nothing.
  EXPECT_EQ(client.Logged("ERROR"),
            (std::vector<std::string>{"Failed to retrieve error string 0",
                                      "Failed to retrieve error string 5"}));
}

// Throws out of the browser channel to show the callback contains it.
class ThrowingClient : public FakeWebClient {
 public:
  bool NotifyBrowser(const char*) override { throw std::runtime_error("channel gone"); }
};

TEST(Notifications, CallbackChecksItsArgumentsAndContainsExceptions) {
  ThrowingClient client;
  const long address = reinterpret_cast<long>(static_cast<CQXWebClientBase*>(&client));
  EXPECT_FALSE(CQXWebClientBase::NotificationCallback(nullptr, address));
  EXPECT_FALSE(CQXWebClientBase::NotificationCallback(R"({"type": "Notification"})", 0));
  EXPECT_TRUE(client.logRecords.empty());
  EXPECT_FALSE(
      CQXWebClientBase::NotificationCallback(R"({"type": "Notification", "code": "X"})", address));
  EXPECT_EQ(client.Logged("DEBUG"), (std::vector<std::string>{"HandleNotification"}));
}

TEST(Notifications, CallbackHandsTheTextToTheClient) {
  FakeWebClient client;
  EXPECT_TRUE(CQXWebClientBase::NotificationCallback(
      R"({"type": "Notification", "code": "X"})",
      reinterpret_cast<long>(static_cast<CQXWebClientBase*>(&client))));
  EXPECT_EQ(client.frames.size(), 1u);
}

}  // namespace
