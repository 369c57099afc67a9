#include "mac/LoggerMac.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

std::vector<std::string> gRecords;
long gRefCon = 0;

void Collect(long refCon, const char* record) {
  gRefCon = refCon;
  gRecords.emplace_back(record);
}

class LoggerMacTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gRecords.clear();
    gRefCon = 0;
  }
};

TEST_F(LoggerMacTest, RecordHasTimestampFirstAndLevelLast) {
  CLoggerMac logger;
  logger.SetOutputProc(Collect, 77);
  logger.DebugMsg("Reset");
  ASSERT_EQ(gRecords.size(), 1u);
  EXPECT_EQ(gRefCon, 77);
  EXPECT_TRUE(std::regex_match(
      gRecords[0],
      std::regex(
          R"(\{ "timestamp": "\d{4}\.\d{2}\.\d{2} \d{2}\.\d{2}\.\d{2}\.000", )"
          R"("text": "Reset", "version": "8\.2\.0x431", "type": "Log", "code": "DEBUG" \})")))
      << gRecords[0];
}

TEST_F(LoggerMacTest, FormattedLevelsReachTheRecord) {
  CLoggerMac logger;
  logger.SetOutputProc(Collect, 1);
  logger.Warning("Invalid upload limit specified: %d", 0);
  logger.Error("Invalid plug-in parameter: %s", "Timeout");
  ASSERT_EQ(gRecords.size(), 2u);
  EXPECT_NE(gRecords[0].find(R"("text": "Invalid upload limit specified: 0")"), std::string::npos);
  EXPECT_NE(gRecords[0].find(R"("code": "WARNING" })"), std::string::npos);
  EXPECT_NE(gRecords[1].find(R"("code": "ERROR" })"), std::string::npos);
}

TEST_F(LoggerMacTest, LongTextIsSentWithItsFirst1023Bytes) {
  CLoggerMac logger;
  logger.SetOutputProc(Collect, 1);
  logger.Debug("%s", std::string(1500, 'y').c_str());
  ASSERT_EQ(gRecords.size(), 1u);
  EXPECT_NE(gRecords[0].find("\"" + std::string(1023, 'y') + "\""), std::string::npos);
}

TEST_F(LoggerMacTest, WithoutOutputProcedureOrLevelNothingIsSent) {
  CLoggerMac logger;
  logger.DebugMsg("only the system log");
  logger.SetOutputProc(Collect, 1);
  logger.Log(nullptr, const_cast<char*>("no level"));
  logger.Error(nullptr);
  EXPECT_TRUE(gRecords.empty());
}

TEST_F(LoggerMacTest, FactoryMakesTheDesktopLogger) {
  CLogger* logger = CLoggerFactory::CreateLogger();
  ASSERT_NE(dynamic_cast<CLoggerMac*>(logger), nullptr);
  WC_DeleteIfObject(logger);
  EXPECT_EQ(logger, nullptr);
}

}  // namespace
