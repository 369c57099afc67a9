// The Assistant's transfers with this test process as the host: status
// events come back to a handler installed here, over a private bus.
#include "tools/reference-assistant/TransferQueue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/AssistantEvents.h"
#include "platform/appleevents/Processes.h"
#include "tests/support/SessionBus.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> sReceived;
std::string sRefCon;

OSErr CollectStatus(const AppleEvent* event, AppleEvent*, SRefCon) {
  Size size = 0;
  DescType type = 0;
  AEGetParamPtr(event, kAE_Status_RefCon, typeMagnitude, &type, nullptr, 0, &size);
  sRefCon.assign(size, '\0');
  AEGetParamPtr(event, kAE_Status_RefCon, typeMagnitude, &type, sRefCon.data(), size, &size);
  AEGetParamPtr(event, kAE_Status_Message, typeChar, &type, nullptr, 0, &size);
  std::string text(size, '\0');
  AEGetParamPtr(event, kAE_Status_Message, typeChar, &type, text.data(), size, &size);
  sReceived.push_back(text);
  return noErr;
}

bool HasCode(const std::string& text, const std::string& code) {
  return text.find("\"code\":\"" + code + "\"") != std::string::npos;
}

class TransferQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(mBus.Ok());
    setenv("DBUS_SESSION_BUS_ADDRESS", mBus.Address().c_str(), 1);
    AEInstallEventHandler(kAEAssistantClass, kAEAssistantStatus, CollectStatus, 0, false);
    ASSERT_EQ(GetCurrentProcess(&mOrigin.host), noErr);
    uint64_t refCon = 0x1234;
    mOrigin.refCon.assign(reinterpret_cast<const char*>(&refCon), 8);
    char pattern[] = "/tmp/qx-transfer-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    mRoot = pattern;
    fs::create_directories(mRoot / "outbox");
    fs::create_directories(mRoot / "source");
    sReceived.clear();
  }

  void TearDown() override {
    AERemoveEventHandler(kAEAssistantClass, kAEAssistantStatus, CollectStatus, false);
    fs::remove_all(mRoot);
  }

  // Runs the main loop until `count` notifications with `code` came back.
  bool WaitFor(const std::string& code, size_t count = 1) {
    gint64 deadline = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
    while (WithCode(code).size() < count && g_get_monotonic_time() < deadline) {
      g_main_context_iteration(nullptr, FALSE);
      g_usleep(1000);
    }
    return WithCode(code).size() >= count;
  }

  std::vector<std::string> WithCode(const std::string& code) {
    std::vector<std::string> found;
    for (const auto& text : sReceived)
      if (HasCode(text, code))
        found.push_back(text);
    return found;
  }

  SessionBus mBus;
  RequestOrigin mOrigin;
  fs::path mRoot;
};

TEST_F(TransferQueueTest, UploadCopiesIntoTheOutboxAndReportsEachFile) {
  auto entry = [&](const char* name, const char* relative, int size) {
    return R"({"file_path":")" + (mRoot / "source" / name).string() + R"(","relative_path":")" +
           relative + R"(","size":)" + std::to_string(size) + "}";
  };
  TransferQueue queue((mRoot / "outbox").string());
  queue.Accept(mOrigin, R"({"type":"Request","code":"startupload","files_ul":[)" +
                            entry("a.txt", "../../escape", 5) + "," +
                            entry("summer.jpg", "Album/2025", 3) + "," +
                            entry("gone.txt", "d/gone.txt", 1) + "]}");
  // Taking the request does no work: the files are looked at only later.
  std::ofstream(mRoot / "source" / "a.txt") << "alpha";
  std::ofstream(mRoot / "source" / "summer.jpg") << "sun";
  ASSERT_TRUE(WaitFor("TransferComplete"));
  EXPECT_EQ(sRefCon, mOrigin.refCon);
  // A relative path that would leave the outbox keeps only the name.
  std::ifstream copied(mRoot / "outbox" / "a.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copied), {}), "alpha");
  EXPECT_FALSE(fs::exists(mRoot / "escape"));
  // A picked folder's files keep their folders in the outbox.
  EXPECT_TRUE(fs::is_regular_file(mRoot / "outbox" / "Album" / "2025" / "summer.jpg"));
  ASSERT_EQ(WithCode("FileSent").size(), 2u);
  EXPECT_NE(WithCode("FileSent")[0].find("\"relative_path\":\"..\\/..\\/escape\",\"size\":5"),
            std::string::npos)
      << WithCode("FileSent")[0];
  ASSERT_EQ(WithCode("TransferFailed").size(), 1u);
  EXPECT_NE(WithCode("TransferFailed")[0].find("gone.txt"), std::string::npos);
  EXPECT_NE(WithCode("TransferComplete")[0].find("\"files\":2,\"failed\":1"), std::string::npos);
  EXPECT_TRUE(HasCode(sReceived.front(), "TransferStarted"));
  EXPECT_NE(sReceived.front().find("\"files\":3,\"bytes\":8"), std::string::npos)
      << sReceived.front();
}

TEST_F(TransferQueueTest, DownloadCopiesTheOutboxInOrder) {
  fs::create_directories(mRoot / "outbox" / "sub");
  std::ofstream(mRoot / "outbox" / "b.txt") << "b";
  std::ofstream(mRoot / "outbox" / "sub" / "a.txt") << "a";
  TransferQueue queue((mRoot / "outbox").string());
  queue.Accept(mOrigin,
               R"({"code":"StartDownload","dest_path":")" + (mRoot / "in").string() + R"("})");
  ASSERT_TRUE(WaitFor("TransferComplete"));
  EXPECT_TRUE(fs::exists(mRoot / "in" / "sub" / "a.txt"));
  EXPECT_TRUE(fs::exists(mRoot / "in" / "b.txt"));
  auto received = WithCode("FileReceived");
  ASSERT_EQ(received.size(), 2u);
  EXPECT_NE(received[0].find("\"relative_path\":\"\""), std::string::npos) << received[0];
  EXPECT_NE(received[1].find("\"relative_path\":\"sub\""), std::string::npos) << received[1];
  EXPECT_EQ(WithCode("TransferProgress").size(), 2u);
}

TEST_F(TransferQueueTest, RequestsThatCannotRunSayWhy) {
  TransferQueue queue((mRoot / "outbox").string());
  queue.Accept(mOrigin, R"({"code":"StartDownload"})");
  queue.Accept(mOrigin, R"({"code":"StartUpload","files_ul":[]})");
  queue.Accept(mOrigin, R"({"code":"Reset"})");
  queue.Accept(mOrigin, "not json");
  ASSERT_TRUE(WaitFor("TransferFailed", 4));
  ASSERT_EQ(sReceived.size(), 4u);
  EXPECT_NE(sReceived[0].find("Download location not specified"), std::string::npos);
  EXPECT_NE(sReceived[1].find("No files to upload"), std::string::npos);
  EXPECT_NE(sReceived[2].find("Not a transfer request: Reset"), std::string::npos);
  EXPECT_NE(sReceived[3].find("Not a transfer request: no code"), std::string::npos);
  EXPECT_TRUE(WithCode("TransferStarted").empty());
}

}  // namespace
