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

TEST(Logger, LevelsFormattingAndLimits) {
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

  // A null format writes nothing; long texts are cut to 1023 bytes.
  logger.records.clear();
  logger.Error(nullptr);
  logger.Warning(nullptr);
  logger.Info(nullptr);
  logger.Debug(nullptr);
  logger.Debug("%s", std::string(1500, 'x').c_str());
  // Never through a character: the record stays UTF-8.
  logger.Debug("%s\xE2\x82\xAC", std::string(1021, 'x').c_str());
  EXPECT_EQ(logger.records, (decltype(logger.records){{"DEBUG", std::string(1023, 'x')},
                                                      {"DEBUG", std::string(1021, 'x')}}));
}

}  // namespace
