// The harness itself, against stand-in children: cat echoes frames back,
// the shell writes bytes that are not frames.
#include "tests/support/HostProcess.h"

#include <gmock/gmock.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "tests/support/Frames.h"

using ::testing::HasSubstr;

namespace {

HostProcess::Options Command(const std::string& binary, std::vector<std::string> args = {}) {
  HostProcess::Options options;
  options.binary = binary;
  options.args = std::move(args);
  return options;
}

// Runs `body` and returns the messages of the test failures it raised.
template <typename Body>
std::vector<std::string> FailuresOf(Body body) {
  ::testing::TestPartResultArray results;
  {
    ::testing::ScopedFakeTestPartResultReporter reporter(
        ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
    body();
  }
  std::vector<std::string> messages;
  for (int i = 0; i < results.size(); ++i)
    messages.push_back(results.GetTestPartResult(i).message());
  return messages;
}

}  // namespace

TEST(HostProcessTest, FramesGoOutAndComeBackWhole) {
  HostProcess cat(Command("/bin/cat"));
  ASSERT_TRUE(cat.SendFrame(R"({"a":1})"));
  EXPECT_EQ(cat.ReadFrame(5000), R"({"a":1})");

  // Bigger than a pipe holds in either direction: writing must not wait for
  // the test to read.
  std::string big = R"({"pad":")" + std::string(1000000, 'x') + R"("})";
  ASSERT_TRUE(cat.SendFrame(big));
  ASSERT_TRUE(cat.SendFrame(R"({"b":2})"));
  EXPECT_EQ(cat.ReadFrame(5000), big);
  EXPECT_EQ(cat.ReadFrame(5000), R"({"b":2})");
}

TEST(HostProcessTest, ReadFrameTimesOutAndSeesTheEnd) {
  HostProcess cat(Command("/bin/cat"));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(cat.ReadFrame(200), std::nullopt);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));
  EXPECT_EQ(cat.WaitForExit(50), std::nullopt);

  cat.CloseStdin();
  EXPECT_EQ(cat.WaitForExit(5000), 0);
  EXPECT_EQ(cat.ReadFrame(5000), std::nullopt);
  EXPECT_TRUE(cat.AtEndOfOutput());
}

TEST(HostProcessTest, ReadFramesUntilStopsAtTheMatch) {
  HostProcess cat(Command("/bin/cat"));
  for (const char* frame : {R"({"code":"x"})", R"({"code":"y"})", R"({"code":"z"})"})
    ASSERT_TRUE(cat.SendFrame(frame));
  auto frames =
      cat.ReadFramesUntil([](const std::string& f) { return FrameString(f, "code") == "y"; }, 5000);
  ASSERT_TRUE(frames);
  EXPECT_THAT(*frames, ::testing::ElementsAre(R"({"code":"x"})", R"({"code":"y"})"));
  EXPECT_EQ(cat.ReadFramesUntil([](const std::string&) { return false; }, 300), std::nullopt);
}

TEST(HostProcessTest, MalformedOutputFailsTheTest) {
  // A length word promising 16 bytes, then 3 bytes and the end.
  HostProcess cut(Command("/bin/sh", {"-c", R"(printf '\020\000\000\000{"a')"}));
  auto failures = FailuresOf([&] { EXPECT_EQ(cut.ReadFrame(5000), std::nullopt); });
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_THAT(failures[0], HasSubstr("output ended inside a frame"));

  HostProcess notJson(Command("/bin/sh", {"-c", R"(printf '\003\000\000\000abc')"}));
  failures = FailuresOf([&] { EXPECT_EQ(notJson.ReadFrame(5000), "abc"); });
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_THAT(failures[0], HasSubstr("not one JSON text"));

  HostProcess huge(Command("/bin/sh", {"-c", R"(printf '\001\000\020\000{}')"}));
  failures = FailuresOf([&] { EXPECT_EQ(huge.ReadFrame(5000), std::nullopt); });
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_THAT(failures[0], HasSubstr("exceeds 1048576"));
}

TEST(HostProcessTest, ChildEnvironmentKeepsTestsOffTheDesktop) {
  std::string dump = ::testing::TempDir() + "/qx-harness-env.txt";
  {
    HostProcess::Options options = Command("/bin/sh", {"-c", "env > " + dump});
    HostProcess child(options);
    ASSERT_EQ(child.WaitForExit(5000), 0);
  }
  std::ifstream in(dump);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_THAT(text.str(), HasSubstr("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent-qx-bus\n"));
  EXPECT_THAT(text.str(), HasSubstr("NO_AT_BRIDGE=1\n"));
  EXPECT_THAT(text.str(), HasSubstr("libqx_syslog_capture.so"));
  EXPECT_THAT(text.str(), HasSubstr("verify_asan_link_order=0"));
  EXPECT_THAT(text.str(), ::testing::Not(HasSubstr("\nDISPLAY=")));

  HostProcess::Options options = Command("/bin/sh", {"-c", "env > " + dump});
  options.environment["DISPLAY"] = ":42";
  options.environment["NO_AT_BRIDGE"] = std::nullopt;
  {
    HostProcess child(options);
    ASSERT_EQ(child.WaitForExit(5000), 0);
  }
  std::ifstream again(dump);
  std::stringstream overridden;
  overridden << again.rdbuf();
  EXPECT_THAT(overridden.str(), HasSubstr("DISPLAY=:42\n"));
  EXPECT_THAT(overridden.str(), ::testing::Not(HasSubstr("NO_AT_BRIDGE")));
}

TEST(HostProcessTest, ExitStatusAndKill) {
  HostProcess failing(Command("/bin/sh", {"-c", "exit 3"}));
  EXPECT_EQ(failing.WaitForExit(5000), 3);

  HostProcess sleeper(Command("/bin/sleep", {"30"}));
  sleeper.Kill();
  EXPECT_EQ(sleeper.WaitForExit(0), 128 + 9);

  HostProcess missing(Command("/nonexistent/qx-binary"));
  EXPECT_EQ(missing.WaitForExit(5000), 127);
  EXPECT_THAT(missing.StderrText(), HasSubstr("exec failed"));
}
