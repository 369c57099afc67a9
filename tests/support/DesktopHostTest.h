// The base of the suites that run the real host on a desktop of the test's
// own (X11 unless the suite asks for Wayland), with a driver that answers
// dialogs like a user and a scratch folder, all made fresh for each test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/HostProcess.h"
#include "tools/desktop/Desktop.h"
#include "tools/desktop/DialogDriver.h"

class DesktopHostTest : public ::testing::Test {
 protected:
  // How long the host may take to start, or a dialog to come and go.
  static constexpr int kTimeoutMs = 60000;
  static constexpr std::chrono::milliseconds kTimeout{kTimeoutMs};

  explicit DesktopHostTest(DesktopKind kind = DesktopKind::kX11)
      : mDesktop(kind), mDriver(mDesktop.Environment(), kind) {
    char pattern[] = "/tmp/qx-e2e-XXXXXX";
    mRoot = mkdtemp(pattern) != nullptr ? pattern : "";
  }
  ~DesktopHostTest() override {
    mHost.reset();
    std::error_code ignored;
    // A test may start its host in a folder of the scratch tree.
    std::filesystem::current_path(mStartFolder, ignored);
    if (!mRoot.empty())
      std::filesystem::remove_all(mRoot, ignored);
  }

  void SetUp() override { ASSERT_TRUE(mDesktop.Ok() && !mRoot.empty()); }

  // Makes the reference Assistant, keeping its outbox under the scratch
  // folder, activatable on the desktop's bus.
  void InstallAssistant() {
    std::filesystem::create_directories(mRoot / "outbox");
    ASSERT_TRUE(mDesktop.Bus().InstallService(
        "com.quorvex.Assistant", {QX_ASSISTANT_BINARY, "--outbox", (mRoot / "outbox").string()}));
  }

  // Starts a host on the desktop, `environment` changed, and waits for its
  // greeting.
  void StartHost(HostProcess::Environment environment = {}) {
    HostProcess::Options options;
    options.environment.insert(environment.begin(), environment.end());
    options.environment.insert(mDesktop.Environment().begin(), mDesktop.Environment().end());
    mHost = std::make_unique<HostProcess>(std::move(options));
    FramesUntilCode("Initialize");
  }

  // The frames up to the message with `code`, or the log record with `text`.
  std::vector<std::string> FramesUntilCode(const std::string& code) {
    return Until([&](const std::string& f) { return IsMessageWithCode(f, code); }, code);
  }
  std::vector<std::string> FramesUntilLog(const std::string& text) {
    return Until([&](const std::string& f) { return IsLogRecordWithText(f, text); }, text);
  }

  // Sends `request`; the window titled `title` it opens, or "" (a failure).
  std::string OpenDialog(const std::string& request, const std::string& title) {
    EXPECT_TRUE(mHost->SendFrame(request));
    auto window = mDriver.WaitForWindow(title, kTimeoutMs);
    EXPECT_TRUE(window) << mDriver.LastError();
    return window.value_or("");
  }
  // `done` is what answering the window returned; the window must then go.
  void Answer(const std::string& window, bool done) {
    EXPECT_TRUE(done && mDriver.WaitForWindowGone(window, kTimeoutMs)) << mDriver.LastError();
  }
  void PressKey(const std::string& window, const std::string& key) {
    Answer(window, mDriver.Focus(window) && mDriver.Key(key));
  }

  Desktop mDesktop;
  DialogDriver mDriver;
  std::unique_ptr<HostProcess> mHost;
  std::filesystem::path mRoot;

 private:
  const std::filesystem::path mStartFolder = std::filesystem::current_path();

  std::vector<std::string> Until(const std::function<bool(const std::string&)>& done,
                                 const std::string& what) {
    auto frames = mHost->ReadFramesUntil(done, kTimeout);
    EXPECT_TRUE(frames) << "nothing came up to " << what;
    return frames.value_or(std::vector<std::string>{});
  }
};

// A suite whose every test runs once on each desktop, named after it.
class EveryDesktopTest : public DesktopHostTest, public ::testing::WithParamInterface<DesktopKind> {
 protected:
  EveryDesktopTest() : DesktopHostTest(GetParam()) {}
};

inline const auto kEveryDesktop = ::testing::Values(DesktopKind::kX11, DesktopKind::kWayland);

inline void PrintTo(DesktopKind kind, std::ostream* out) {
  *out << (kind == DesktopKind::kWayland ? "Wayland" : "X11");
}
