#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "Common/testing/FakeWebClient.h"

namespace {

using namespace testing_support;

TEST(Notifications, FileSentInAnyCaseTakesTheFilesOffTheList) {
  for (const char* code : {"FileSent", "filesent"}) {
    FakeWebClient client;
    CFileList files = List({"/sent.bin", "/kept.bin"});
    ASSERT_TRUE(client.AddFiles(files));
    client.frames.clear();
    const std::string text = std::string(R"({"type": "Notification", "code": ")") + code +
                             R"(", "files_ul": [{"file_path": "/SENT.bin"}]})";
    EXPECT_TRUE(client.HandleNotification(text.c_str()));
    EXPECT_EQ(Paths(client.UploadList()), Strings{"/kept.bin"});
    EXPECT_EQ(client.Summaries(), Strings{"FilesDeletedFromUploadList /SENT.bin"});
  }
}

TEST(Notifications, OthersAreRelayedByteForByte) {
  FakeWebClient client;
  const char* text = R"({"code":"Progress",   "type" : "NOTIFICATION", "percent": 42.50})";
  EXPECT_TRUE(client.HandleNotification(text));
  EXPECT_EQ(client.frames, Strings{text});
  client.failNotify = [](int) { return true; };
  EXPECT_FALSE(client.HandleNotification(text));
}

TEST(Notifications, WrongTypeBrokenTextNotUTF8OrUnknownFilesAreNotRelayed) {
  const char* const texts[] = {
      R"({"type": "Response", "code": "Error"})",
      R"({"code": "Error"})",
      "{broken",
      nullptr,
      R"({"type": "Notification", "code": "FileSent"})",
      R"({"type": "Notification", "code": "FileSent", "files_ul": [{"file_path": "/other"}]})",
      R"({"type": "Notification", "code": "P", "n": "\xc0\x80"})",
      R"({"type": "Notification", "code": "FileSent", "files_ul": [{"file_path": "/\xff"}]})",
  };
  for (const char* text : texts) {
    FakeWebClient client;
    CFileList files = List({"/\xff"});
    ASSERT_TRUE(client.AddFiles(files));
    client.frames.clear();
    EXPECT_FALSE(client.HandleNotification(text)) << (text ? text : "null");
    EXPECT_EQ(client.UploadList().size(), 1u);
    EXPECT_TRUE(client.frames.empty());
  }
}

TEST(Notifications, ErrorTextsAreCutTo1022BytesOfWholeCharacters) {
  FakeWebClient client;
  std::string accents;
  for (int i = 0; i < 600; ++i)
    accents += "\xC3\xA9";
  const std::string prefix = "Could not add '";
  client.ReportError(kErrFileNameTooLong, std::string(2000, 'p').c_str(), 255);
  client.ReportError(kErrFileNameTooLong, accents.c_str(), 255);
  client.ReportError(0);
  client.ReportError(5);
  EXPECT_EQ(client.Summaries(), (Strings{"Error " + prefix + std::string(1022 - prefix.size(), 'p'),
                                         "Error " + prefix + accents.substr(0, 1006)}));
}

// Throws out of the browser channel to show the callback contains it.
class ThrowingClient : public FakeWebClient {
 public:
  bool NotifyBrowser(const char*) override { throw std::runtime_error("channel gone"); }
};

TEST(Notifications, CallbackChecksItsArgumentsAndContainsExceptions) {
  const char* text = R"({"type": "Notification", "code": "X"})";
  FakeWebClient client;
  ThrowingClient throwing;
  const auto address = [](CQXWebClientBase& c) { return reinterpret_cast<long>(&c); };
  EXPECT_TRUE(CQXWebClientBase::NotificationCallback(text, address(client)));
  EXPECT_EQ(client.frames, Strings{text});
  EXPECT_FALSE(CQXWebClientBase::NotificationCallback(nullptr, address(client)));
  EXPECT_FALSE(CQXWebClientBase::NotificationCallback(text, 0));
  EXPECT_EQ(client.frames.size(), 1u);
  EXPECT_FALSE(CQXWebClientBase::NotificationCallback(text, address(throwing)));
}

}  // namespace
