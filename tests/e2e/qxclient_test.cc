// qxclient, the browser stand-in of the README and the demo, run with the
// demo's command line and script against the real host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/Frames.h"

TEST(QXClientTest, TheDemosFacelessSessionPrintsTheScriptAndEveryFrame) {
  const std::string limit =
      R"({"version":"8.2.0x431","type":"Request","code":"SetParameter","name":"FileTransferLimit","value":500})";
  const std::string notARequest = R"({"version":"8.2.0x431","type":"Notification","code":"Reset"})";
  const std::string script = ::testing::TempDir() + "/qxclient-script.txt";
  std::ofstream(script) << "# the host greets the browser\nWAIT Initialize\n"
                        << limit << "\nWAITLOG SetParameter\n"
                        << notARequest << "\nWAITLOG Invalid request\nSTOP\n";
  const std::string command =
      "env -u DISPLAY -u WAYLAND_DISPLAY NO_AT_BRIDGE=1 "
      "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent-qx-bus " QX_CLIENT_BINARY
      " --echo --timeout 30 < " +
      script;
  FILE* output = popen(command.c_str(), "r");
  ASSERT_NE(output, nullptr);
  std::string text;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, output)) > 0;)
    text.append(buffer, n);
  const int status = pclose(output);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << text;

  // Each script line as it is run, each frame as one line of JSON.
  std::vector<std::string> shown;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!IsLogRecord(line) && FrameString(line, "code"))
      shown.push_back("<" + *FrameString(line, "code") + ">");
    else
      shown.push_back(IsLogRecord(line) ? FrameString(line, "text").value_or("?") : line);
  }
  EXPECT_THAT(shown, ::testing::ElementsAre(
                         "# the host greets the browser", "> WAIT Initialize", "Initialize",
                         "<Initialize>", "> " + limit, "> WAITLOG SetParameter", "ExecuteRequest",
                         "SetParameter", "> " + notARequest, "> WAITLOG Invalid request",
                         "ExecuteRequest", "Invalid request", "> STOP"));
}
