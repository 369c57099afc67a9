#include "Common/Logger.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// Stands in for the platform logger: keeps what reaches Log.
class RecordingLogger : public CLogger {
 public:
  void Log(const char* level, char* text) override { records.emplace_back(level, text); }
  std::vector<std::pair<std::string, std::string>> records;
};

TEST(Logger, LevelsAndFormatting) {
  RecordingLogger logger;
  logger.Error("Failed to retrieve error string %d", 5);
  logger.Warning("Invalid upload limit specified: %d", 0);
  logger.Info("%s=%x", "value", 255);
  logger.Debug("HandleNotification");
  logger.DebugMsg("100% unformatted %d");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"ERROR", "Failed to retrieve error string 5"},
      {"WARNING", "Invalid upload limit specified: 0"},
      {"INFO", "value=ff"},
      {"DEBUG", "HandleNotification"},
      {"DEBUG", "100% unformatted %d"},
  };
  EXPECT_EQ(logger.records, expected);
}

TEST(Logger, NullFormatWritesNothing) {
  RecordingLogger logger;
  logger.Error(nullptr);
  logger.Warning(nullptr);
  logger.Info(nullptr);
  logger.Debug(nullptr);
  EXPECT_TRUE(logger.records.empty());
}

TEST(Logger, FormattedTextIsCutTo1023Bytes) {
  RecordingLogger logger;
  const std::string long_text(1500, 'x');
  logger.Debug("%s", long_text.c_str());
  ASSERT_EQ(logger.records.size(), 1u);
  EXPECT_EQ(logger.records[0].second, std::string(1023, 'x'));
}

TEST(Logger, DeleteIfObjectDeletesAndClears) {
  CLogger* logger = new RecordingLogger;
  WC_DeleteIfObject(logger);
  EXPECT_EQ(logger, nullptr);
  WC_DeleteIfObject(logger);
  EXPECT_EQ(logger, nullptr);
}

}  // namespace
