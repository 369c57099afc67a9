// The base of the suites that show the real host's dialogs: a display server
// of the test's own (X11 unless the suite asks for another desktop), a
// desktop session on it, a driver that answers dialogs like a user, and a
// scratch folder, all made fresh for each test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/DesktopSession.h"
#include "tests/support/DialogDriver.h"
#include "tests/support/DisplayServer.h"
#include "tests/support/HostProcess.h"

class DesktopHostTest : public ::testing::Test {
 protected:
  explicit DesktopHostTest(DesktopKind kind = DesktopKind::kX11) : mKind(kind) {}

  // How long the host may take to start, or a dialog to come and go.
  static constexpr int kDesktopTimeoutMs = 60000;

  void SetUp() override;
  // Keeps a screenshot when the test failed, then ends the host and removes
  // the scratch folder, whatever permissions the test left in it.
  void TearDown() override;

  // Options for a host in the desktop session, to adjust before starting it.
  // Inline, so the host binary is the one the including suite was built with.
  HostProcess::Options HostOptions() const {
    HostProcess::Options options;
    for (const auto& [name, value] : mDesktop->Environment())
      options.environment[name] = value;
    return options;
  }
  // Starts the host and waits for its greeting.
  void StartHost(HostProcess::Options options);
  void StartHost() { StartHost(HostOptions()); }
  // A host that uses the bus at `busAddress` instead of the session's.
  void StartHostOn(const std::string& busAddress) {
    HostProcess::Options options = HostOptions();
    options.environment["DBUS_SESSION_BUS_ADDRESS"] = busAddress;
    StartHost(std::move(options));
  }

  // The frames up to the message with `code`, or up to the log record with
  // `text`; a test failure when it does not come.
  std::vector<std::string> FramesUntilCode(const std::string& code);
  std::vector<std::string> FramesUntilLog(const std::string& text);

  // Sends `request` and waits for the dialog titled `title` it opens; empty
  // (and a test failure) when none opened.
  std::string OpenDialog(const std::string& request, const std::string& title);
  // `done` is what answering the dialog returned; the dialog must then go.
  void Answer(const std::string& window, bool done);
  void PressKey(const std::string& window, const std::string& key);

  const DesktopKind mKind;
  std::unique_ptr<DisplayServer> mDisplay;
  std::unique_ptr<DesktopSession> mDesktop;
  std::unique_ptr<DialogDriver> mDriver;
  std::unique_ptr<HostProcess> mHost;
  std::filesystem::path mRoot;
};

// A suite whose every test runs once on each desktop:
//   class MySuite : public EveryDesktopTest {};
//   TEST_P(MySuite, ...) { ... }
//   INSTANTIATE_TEST_SUITE_P(, MySuite, kEveryDesktop, ::testing::PrintToStringParamName());
class EveryDesktopTest : public DesktopHostTest, public ::testing::WithParamInterface<DesktopKind> {
 protected:
  EveryDesktopTest() : DesktopHostTest(GetParam()) {}
};

inline const auto kEveryDesktop = ::testing::Values(DesktopKind::kX11, DesktopKind::kWayland);

// How test names and failures call a desktop.
inline void PrintTo(DesktopKind kind, std::ostream* out) {
  *out << (kind == DesktopKind::kWayland ? "Wayland" : "X11");
}
