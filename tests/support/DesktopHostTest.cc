#include "tests/support/DesktopHostTest.h"

#include <stdlib.h>

#include <iostream>

#include "tests/support/Frames.h"

namespace fs = std::filesystem;

void DesktopHostTest::SetUp() {
  mDisplay = StartDisplayServer(mKind);
  ASSERT_TRUE(mDisplay->Ok());
  mDesktop = std::make_unique<DesktopSession>(mDisplay->Environment());
  ASSERT_TRUE(mDesktop->Ok());
  mDriver = DialogDriver::For(mKind, mDesktop->Environment());
  char pattern[] = "/tmp/qx-desktop-e2e-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  mRoot = pattern;
}

void DesktopHostTest::TearDown() {
  if (HasFailure() && mDriver) {
    const std::string shot = mRoot.string() + "-failure.png";
    if (mDriver->Screenshot(shot))
      std::cerr << "screen at the failure: " << shot << "\n";
  }
  mHost.reset();
  if (mRoot.empty())
    return;
  std::error_code ignored;
  for (const auto& entry : fs::recursive_directory_iterator(
           mRoot, fs::directory_options::skip_permission_denied, ignored))
    fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(mRoot, ignored);
}

void DesktopHostTest::StartHost(HostProcess::Options options) {
  mHost = std::make_unique<HostProcess>(std::move(options));
  ASSERT_TRUE(mHost->ReadFramesUntil(
      [](const std::string& f) { return IsMessageWithCode(f, "Initialize"); }, kDesktopTimeoutMs));
}

std::vector<std::string> DesktopHostTest::FramesUntilCode(const std::string& code) {
  auto frames = mHost->ReadFramesUntil(
      [&](const std::string& f) { return IsMessageWithCode(f, code); }, kDesktopTimeoutMs);
  EXPECT_TRUE(frames) << "no " << code;
  return frames.value_or(std::vector<std::string>{});
}

std::vector<std::string> DesktopHostTest::FramesUntilLog(const std::string& text) {
  auto frames = mHost->ReadFramesUntil(
      [&](const std::string& f) { return IsLogRecordWithText(f, text); }, kDesktopTimeoutMs);
  EXPECT_TRUE(frames) << "no log record " << text;
  return frames.value_or(std::vector<std::string>{});
}

std::string DesktopHostTest::OpenDialog(const std::string& request, const std::string& title) {
  EXPECT_TRUE(mHost->SendFrame(request));
  auto window = mDriver->WaitForWindow(title, kDesktopTimeoutMs);
  EXPECT_TRUE(window) << mDriver->LastError();
  return window.value_or("");
}

void DesktopHostTest::Answer(const std::string& window, bool done) {
  EXPECT_TRUE(done) << mDriver->LastError();
  EXPECT_TRUE(mDriver->WaitForWindowGone(window, kDesktopTimeoutMs)) << mDriver->LastError();
}

void DesktopHostTest::PressKey(const std::string& window, const std::string& key) {
  Answer(window, mDriver->Focus(window) && mDriver->Key(key));
}
