// qxclient, the browser stand-in of the README and the demo, against the
// real host and against children that break the frame format.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/Frames.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

struct ClientRun {
  int status = -1;
  std::vector<std::string> lines;
  std::string errors;
};

// Runs qxclient with `options` and the script on its stdin, away from any
// desktop session, and collects its output lines and exit status.
ClientRun RunClient(const std::string& options, const std::string& script) {
  std::string dir = ::testing::TempDir();
  std::string scriptPath = dir + "/qxclient-script.txt";
  std::string errorPath = dir + "/qxclient-stderr.txt";
  std::ofstream(scriptPath) << script;
  std::string command =
      "env -u DISPLAY -u WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent-qx-bus "
      "NO_AT_BRIDGE=1 " QX_CLIENT_BINARY " --timeout 20 " +
      options + " < " + scriptPath + " 2> " + errorPath;
  ClientRun run;
  FILE* output = popen(command.c_str(), "r");
  if (output == nullptr) {
    ADD_FAILURE() << "popen failed";
    return run;
  }
  char buffer[65536];
  std::string text;
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, output)) > 0;)
    text.append(buffer, n);
  int status = pclose(output);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    run.lines.push_back(line);
  std::ifstream errors(errorPath);
  std::stringstream errorText;
  errorText << errors.rdbuf();
  run.errors = errorText.str();
  return run;
}

}  // namespace

TEST(QXClientTest, ScriptedSessionPrintsEveryFrameAsOneLine) {
  ClientRun run = RunClient("", R"(# a comment, then the session
WAIT Initialize
{"type":"Request","code":"SetParameter","name":"FileTransferLimit","value":5}
WAITLOG SetParameter
not json

{"type":"Request","code":"Reset"}
WAITLOG Reset
STOP
)");
  EXPECT_EQ(run.status, 0) << run.errors;
  std::vector<std::string> texts;
  for (const auto& line : run.lines) {
    EXPECT_TRUE(ParseJson(line)) << line;
    texts.push_back(IsLogRecord(line) ? FrameString(line, "text").value_or("?")
                                      : "<" + FrameString(line, "code").value_or("?") + ">");
  }
  EXPECT_THAT(texts, ElementsAre("Initialize", "<Initialize>", "ExecuteRequest", "SetParameter",
                                 "ExecuteRequest", "Invalid request", "ExecuteRequest", "Reset"));
}

TEST(QXClientTest, NoLogShowsOnlyMessagesAndEchoAddsTheScript) {
  ClientRun run =
      RunClient("--no-log", "WAIT Initialize\n{\"type\":\"Request\",\"code\":\"Reset\"}\n");
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_THAT(run.lines,
              ElementsAre(R"({ "version": "8.2.0x431", "type": "Response", "code": "Initialize", )"
                          R"("support_dragdrop": false })"));

  // Echo shows the script between the frames.
  run = RunClient("--echo --no-log", "WAIT Initialize\nSTOP\n");
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_THAT(run.lines,
              ElementsAre("> WAIT Initialize", HasSubstr("\"code\": \"Initialize\""), "> STOP"));
}

TEST(QXClientTest, FailuresShowInTheExitStatus) {
  ClientRun waiting = RunClient("--timeout 1", "WAIT NeverSent\n");
  EXPECT_EQ(waiting.status, 1);
  EXPECT_THAT(waiting.errors, HasSubstr("no frame \"NeverSent\""));

  ClientRun cut = RunClient("-- /bin/sh -c \"printf '\\\\020\\\\000\\\\000\\\\000{}'\"", "");
  EXPECT_EQ(cut.status, 1);
  EXPECT_THAT(cut.errors, HasSubstr("MALFORMED FRAME: output ended after 2 of 16 body bytes"));

  ClientRun notJson = RunClient("-- /bin/sh -c \"printf '\\\\002\\\\000\\\\000\\\\000ab'\"", "");
  EXPECT_EQ(notJson.status, 1);
  EXPECT_THAT(notJson.errors, HasSubstr("MALFORMED FRAME: body is not one JSON object"));

  ClientRun failing = RunClient("-- /bin/sh -c 'exit 7'", "");
  EXPECT_EQ(failing.status, 3);
  EXPECT_THAT(failing.errors, HasSubstr("status 7"));

  ClientRun hanging = RunClient("--timeout 1 -- /bin/sleep 30", "");
  EXPECT_EQ(hanging.status, 4);

  ClientRun usage = RunClient("--bogus", "");
  EXPECT_EQ(usage.status, 2);
}
