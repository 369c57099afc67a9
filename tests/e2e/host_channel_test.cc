// The real host binary on pipes, as a browser starts it: its greeting, and
// the ways a session ends: the stop word, and the end of input inside a
// frame (between frames the browser test shows it). And qxclient, the
// browser stand-in of the README and the demo, run with the demo's command
// line and script against it, and qx-desktop, the demo's scripted user.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/HostProcess.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

constexpr int kTimeoutMs = 15000;
constexpr std::chrono::milliseconds kTimeout{kTimeoutMs};
constexpr char kRemoved[] = "Removed instance of plugin, refCon=";

// A host after its greeting: the "Initialize" record, stamped with the local
// time (here five hours east of UTC), then the response.
std::unique_ptr<HostProcess> Start(HostProcess::Options options = {}) {
  options.environment["TZ"] = "QXT-5";
  auto host = std::make_unique<HostProcess>(options);
  // The record reaches the system log as its plain text too.
  EXPECT_TRUE(host->WaitForSyslogLine(
      "Quorvex Web Client[" + std::to_string(host->pid()) + "]: Initialize\n", kTimeoutMs));
  const std::string record = host->ReadFrame(kTimeout).value_or("none");
  EXPECT_TRUE(IsLogRecordWithText(record, "Initialize")) << record;
  tm stamp{};
  strptime(FrameString(record, "timestamp").value_or("").c_str(), "%Y.%m.%d %H.%M.%S", &stamp);
  EXPECT_LE(std::abs(timegm(&stamp) - (time(nullptr) + 5 * 3600)), 60) << record;
  EXPECT_TRUE(IsMessageWithCode(host->ReadFrame(kTimeout).value_or(""), "Initialize"));
  return host;
}

}  // namespace

TEST(HostChannelTest, TheStopWordEndsTheHostAtOnceWithoutReadingOnOrTearingDown) {
  auto host = Start();
  ASSERT_TRUE(host->SendRaw(std::string(4, '\xFF') + EncodeFrame(Request("Reset"))));
  EXPECT_EQ(host->WaitForExit(kTimeout), 0);
  EXPECT_EQ(host->ReadFrame(kTimeout), std::nullopt);
  EXPECT_TRUE(host->AtEndOfOutput());
  EXPECT_TRUE(host->WaitForSyslogLine("Added new instance of plugin, refCon=", kTimeoutMs));
  EXPECT_FALSE(host->WaitForSyslogLine(kRemoved, 300)) << "the client was destroyed";
}

// Whatever arrived of a frame cut short by the end of input is handed over
// as the request's text; the host then ends in order. It runs without stderr,
// and every system-log line is printed on stdout as a chatty library would:
// none of it may reach the channel.
TEST(HostChannelTest, InputEndingInsideAFrameEndsTheHostInOrder) {
  HostProcess::Options quiet;
  quiet.closeStderr = true;
  quiet.environment["QX_SYSLOG_CAPTURE_STDOUT"] = "1";
  auto host = Start(quiet);
  const std::string reset = Request("Reset");
  const std::string promise = EncodeFrame(std::string(reset.size() + 100, ' ')).substr(0, 4);
  ASSERT_TRUE(host->SendRaw(promise + reset.substr(0, reset.size() - 3)));
  host->CloseInput();
  EXPECT_EQ(host->WaitForExit(kTimeout), 0);
  const auto frames = host->ReadFramesUntilQuiet(200ms);
  EXPECT_THAT(LogTexts(frames), ElementsAre("ExecuteRequest", "Invalid request"));
  EXPECT_THAT(NonLogFrames(frames), IsEmpty());
  EXPECT_TRUE(host->AtEndOfOutput());
  EXPECT_TRUE(host->WaitForSyslogLine(
      "Quorvex Web Client[" + std::to_string(host->pid()) + "]: " + kRemoved, kTimeoutMs));
}

TEST(QXClientTest, TheDemosFacelessSessionPrintsTheScriptAndEveryFrame) {
  // Without a display no panel can show, and the host says so.
  const std::string select = Request("SelectFilesToUpload");
  const std::string script = "# the host greets the browser\nWAIT Initialize\n" + select +
                             "\nWAITLOG Could not select files!!!!\nSTOP\n";
  const ChildResult run = RunChild(
      {"sh", "-c",
       "printf %s \"$0\" | env -u DISPLAY -u WAYLAND_DISPLAY \"$1\" --echo --timeout 30", script,
       QX_CLIENT_BINARY},
      {{"NO_AT_BRIDGE", "1"}, {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent-qx-bus"}},
      kTimeoutMs * 2);
  EXPECT_EQ(run.exitCode, 0) << run.output;

  // Each script line as it is run, each frame as one line of JSON. A frame
  // may come in before the line that waits for it is shown.
  std::vector<std::string> echoed, frames;
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    if (line[0] == '#' || line[0] == '>')
      echoed.push_back(line);
    else if (!IsLogRecord(line) && FrameString(line, "code"))
      frames.push_back("<" + *FrameString(line, "code") + ">");
    else
      frames.push_back(IsLogRecord(line) ? FrameString(line, "text").value_or("?") : line);
  }
  EXPECT_THAT(echoed, ElementsAre("# the host greets the browser", "> WAIT Initialize",
                                  "> " + select, "> WAITLOG Could not select files!!!!", "> STOP"));
  EXPECT_THAT(frames, ElementsAre("Initialize", "<Initialize>", "ExecuteRequest",
                                  "SelectFilesToUpload", "Could not select files!!!!"));
}

// The user's steps are read strictly, and a step waiting for a window stops
// as soon as the program ends, with the program's exit status.
TEST(QXDesktopTest, StepsAreReadStrictlyAndAStepEndsWithItsProgram) {
  char folder[] = "/tmp/qx-steps-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string steps = std::string(folder) + "/steps";
  const auto run = [&](const std::string& lines) {
    std::ofstream(steps) << lines;
    return RunChild(
        {"sh", "-c", "\"$0\" --user \"$1\" -- sh -c 'exit 3' 2>&1", QX_DESKTOP_BINARY, steps}, {},
        kTimeoutMs * 4);
  };
  const ChildResult wrong = run("# the alert\npress \"Quorvex Web Client\"\n");
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_THAT(wrong.output, HasSubstr(steps + ":2: not a step"));
  const ChildResult ended = run("press \"Never shown\" Return\n");
  EXPECT_EQ(ended.exitCode, 3) << ended.output;
  EXPECT_THAT(ended.output, HasSubstr("step 1 (press \"Never shown\") failed: the program ended "
                                      "before the window opened"));
  std::filesystem::remove_all(folder);
}
