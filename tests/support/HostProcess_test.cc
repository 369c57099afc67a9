// Guards against the harness hanging a suite: a full pipe, a silent child.
#include "tests/support/HostProcess.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

HostProcess::Options Cat() {
  HostProcess::Options options;
  options.binary = "/bin/cat";
  return options;
}

TEST(HostProcessTest, FramesBiggerThanAPipeDoNotBlockTheWriter) {
  HostProcess cat(Cat());
  std::string big = R"({"pad":")" + std::string(1000000, 'x') + R"("})";
  ASSERT_TRUE(cat.SendFrame(big));
  ASSERT_TRUE(cat.SendFrame(R"({"b":2})"));
  EXPECT_EQ(cat.ReadFrame(5000), big);
  EXPECT_EQ(cat.ReadFrame(5000), R"({"b":2})");
}

TEST(HostProcessTest, ReadFrameTimesOutAndSeesTheEnd) {
  HostProcess cat(Cat());
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(cat.ReadFrame(200), std::nullopt);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));
  EXPECT_EQ(cat.WaitForExit(50), std::nullopt);

  cat.CloseStdin();
  EXPECT_EQ(cat.WaitForExit(5000), 0);
  EXPECT_EQ(cat.ReadFrame(5000), std::nullopt);
  EXPECT_TRUE(cat.AtEndOfOutput());
}

}  // namespace
