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

// "2026.12.04 19.30.05.000": digits where the pattern has 9.
bool IsTimestamp(const std::string& text) {
  return std::regex_match(text, std::regex(R"(\d{4}\.\d\d\.\d\d \d\d\.\d\d\.\d\d\.000)"));
}

TEST(LoggerMacTest, RecordsHaveTimestampFirstLevelLastAndTextCutTo1023Bytes) {
  gRecords.clear();
  CLoggerMac logger;
  logger.SetOutputProc(Collect, 77);
  logger.DebugMsg("Reset");
  ASSERT_EQ(gRecords.size(), 1u);
  EXPECT_EQ(gRefCon, 77);
  const std::string head = R"({ "timestamp": ")";
  const std::string tail =
      R"(", "text": "Reset", "version": "8.2.0x431", "type": "Log", "code": "DEBUG" })";
  const std::string& record = gRecords[0];
  ASSERT_GT(record.size(), head.size() + tail.size()) << record;
  EXPECT_EQ(record.substr(0, head.size()), head);
  EXPECT_EQ(record.substr(record.size() - tail.size()), tail);
  EXPECT_TRUE(IsTimestamp(record.substr(head.size(), record.size() - head.size() - tail.size())))
      << record;

  logger.Warning("Invalid upload limit specified: %d", 0);
  logger.Error("Invalid plug-in parameter: %s", "Timeout");
  logger.Debug("%s", std::string(1500, 'y').c_str());
  ASSERT_EQ(gRecords.size(), 4u);
  EXPECT_NE(gRecords[1].find(R"("text": "Invalid upload limit specified: 0")"), std::string::npos);
  EXPECT_NE(gRecords[1].find(R"("code": "WARNING" })"), std::string::npos);
  EXPECT_NE(gRecords[2].find(R"("code": "ERROR" })"), std::string::npos);
  EXPECT_NE(gRecords[3].find("\"" + std::string(1023, 'y') + "\""), std::string::npos);
}

TEST(LoggerMacTest, WithoutOutputProcedureOrLevelNothingIsSent) {
  gRecords.clear();
  CLoggerMac logger;
  logger.DebugMsg("only the system log");
  logger.SetOutputProc(Collect, 1);
  logger.Log(nullptr, const_cast<char*>("no level"));
  logger.Error(nullptr);
  EXPECT_TRUE(gRecords.empty());
}

TEST(LoggerMacTest, FactoryMakesTheDesktopLogger) {
  CLogger* logger = CLoggerFactory::CreateLogger();
  ASSERT_NE(dynamic_cast<CLoggerMac*>(logger), nullptr);
  WC_DeleteIfObject(logger);
  EXPECT_EQ(logger, nullptr);
}

}  // namespace
