#include "mac/LoggerMac.h"

#include <gtest/gtest.h>

#include <cctype>
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
// std::regex is avoided: GCC warns inside it in optimised sanitizer builds.
bool IsTimestamp(const std::string& text) {
  const std::string pattern = "9999.99.99 99.99.99.000";
  if (text.size() != pattern.size())
    return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool ok = pattern[i] == '9' ? isdigit(static_cast<unsigned char>(text[i])) != 0
                                      : text[i] == pattern[i];
    if (!ok)
      return false;
  }
  return true;
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
