#include "Common/Logger.h"

#include <gtest/gtest.h>

#include "Common/testing/FakeWebClient.h"

namespace {

TEST(Logger, FormatsAtEachLevelAndCutsAt1023BytesOfWholeCharacters) {
  testing_support::LogRecords records;
  testing_support::RecordingLogger logger(records);
  logger.Error("e%d", 5);
  logger.Warning("w%d", 0);
  logger.Info("%s=%x", "i", 255);
  logger.DebugMsg("100% %d");
  for (auto write : {&CLogger::Error, &CLogger::Warning, &CLogger::Info, &CLogger::Debug})
    (logger.*write)(nullptr);
  logger.Debug("%s", std::string(1500, 'x').c_str());
  logger.Debug("%s\xE2\x82\xAC", std::string(1021, 'x').c_str());
  EXPECT_EQ(records, (testing_support::LogRecords{{"ERROR", "e5"},
                                                  {"WARNING", "w0"},
                                                  {"INFO", "i=ff"},
                                                  {"DEBUG", "100% %d"},
                                                  {"DEBUG", std::string(1023, 'x')},
                                                  {"DEBUG", std::string(1021, 'x')}}));
}

}  // namespace
