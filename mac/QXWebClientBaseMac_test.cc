#include "mac/QXWebClientBaseMac.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The desktop client with the browser channel recorded.
class RecordingMacClient : public CQXWebClientBaseMac {
 public:
  bool NotifyBrowser(const char* text) override {
    frames.emplace_back(text);
    return true;
  }
  void Log(const char* text) override { logged.emplace_back(text); }

  std::vector<std::string> frames;
  std::vector<std::string> logged;
};

const char* Narrow(const xwstring& s) {
  return s;
}

TEST(ClientBaseMac, InitializeResponseNeverOffersDragAndDropAndIsLogged) {
  RecordingMacClient client;
  xwstring response;
  EXPECT_TRUE(client.Initialize(response));
  EXPECT_STREQ(Narrow(response),
               R"({ "version": "8.2.0x431", "type": "Response", "code": "Initialize",)"
               R"( "support_dragdrop": false })");
  EXPECT_TRUE(client.logged.empty());

  // With a logger, its records reach the client's log and not the browser.
  client.CreateLogger();
  ASSERT_TRUE(client.Initialize(response));
  ASSERT_EQ(client.logged.size(), 1u);
  EXPECT_NE(client.logged[0].find(R"("text": "Initialize", "version": "8.2.0x431", "type": "Log",)"
                                  R"( "code": "DEBUG" })"),
            std::string::npos);
  EXPECT_TRUE(client.frames.empty());
}

TEST(ClientBaseMac, WriteToLogWithoutClientOnlyWritesTheSystemLogAndLocationIsUTF8) {
  RecordingMacClient client;
  CQXWebClientBaseMac::WriteToLog(0, "{}");
  CQXWebClientBaseMac::WriteToLog(
      reinterpret_cast<long>(static_cast<CQXWebClientBaseMac*>(&client)), "{ \"x\": 1 }");
  EXPECT_EQ(client.logged, (std::vector<std::string>{"{ \"x\": 1 }"}));

  client.SetDownloadLocation(L"/home/u/Downloads/\u00e9t\u00e9");
  EXPECT_STREQ(Narrow(client.DownloadLocation()), "/home/u/Downloads/\xC3\xA9t\xC3\xA9");
}

TEST(ClientBaseMac, ErrorTextsAndReportedErrors) {
  RecordingMacClient client;
  client.CreateLogger();
  const std::vector<std::string> expected = {
      "Failed to launch Quorvex Assistant",
      "Not allowed to queue more than %d files for sending",
      "Could not add '%s' for upload - the file name exceeds the maximum length of %d characters",
      "Could not add '%s' for upload - an operating system error has occurred (%d)",
  };
  for (int id = 1; id <= 4; ++id) {
    xwstring text;
    ASSERT_TRUE(client.RetrieveErrorString(id, text));
    EXPECT_EQ(Narrow(text), expected[size_t(id - 1)]);
  }
  xwstring untouched("keep");
  EXPECT_FALSE(client.RetrieveErrorString(5, untouched));
  EXPECT_STREQ(Narrow(untouched), "keep");
  ASSERT_EQ(client.logged.size(), 1u);
  EXPECT_NE(client.logged[0].find(R"("text": "Unknown stringID specified 5")"), std::string::npos);
  EXPECT_NE(client.logged[0].find(R"("code": "ERROR")"), std::string::npos);

  // A reported error reaches the browser after its log record.
  client.logged.clear();
  client.ReportError(kErrAddFileOSError, "/picked", -43);
  EXPECT_EQ(client.frames,
            (std::vector<std::string>{
                R"({ "version": "8.2.0x431", "type": "Notification", "code": "Error", "text":)"
                R"( "Could not add '\/picked' for upload - an operating system error has)"
                R"x( occurred (-43)" })x"}));
  ASSERT_EQ(client.logged.size(), 1u);
  EXPECT_NE(client.logged[0].find(R"("text": "HandleNotification")"), std::string::npos);
}

}  // namespace
