#include "tests/support/HostProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Tail(const std::string& text, size_t limit) {
  if (text.size() <= limit)
    return text;
  return "[...]" + text.substr(text.size() - limit);
}

std::string Variable(const char* name) {
  const char* value = getenv(name);
  return value != nullptr ? value : "";
}

// Faceless, with the system log captured, and then the test's own changes.
std::vector<std::string> ChildEnvironment(const HostProcess::Environment& overrides,
                                          const std::string& syslogPath) {
  EnvironmentChanges changes = FacelessHostChanges();
  changes["QX_SYSLOG_CAPTURE_FILE"] = syslogPath;
  const std::string preload = Variable("LD_PRELOAD");
  changes["LD_PRELOAD"] =
      std::string(QX_SYSLOG_CAPTURE_LIBRARY) + (preload.empty() ? "" : ":" + preload);
  // The preloaded shim comes before the sanitizer runtime.
  const std::string asan = Variable("ASAN_OPTIONS");
  changes["ASAN_OPTIONS"] = (asan.empty() ? "" : asan + ":") + "verify_asan_link_order=0";
  for (const auto& [name, value] : overrides)
    changes[name] = value;
  return ChangedEnvironment(changes);
}

}  // namespace

HostProcess::HostProcess(Options options) : mBinary(options.binary) {
  std::string base = (std::filesystem::temp_directory_path() / "qx-host-XXXXXX").string();
  if (mkdtemp(base.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp: " << strerror(errno);
    return;
  }
  mTempDir = base;
  mSyslogPath = mTempDir + "/syslog.log";
  mStderrPath = mTempDir + "/stderr.log";

  HostSession::Options session;
  session.command = {options.binary};
  session.command.insert(session.command.end(), options.args.begin(), options.args.end());
  session.environment = ChildEnvironment(options.environment, mSyslogPath);
  session.workingDirectory = options.workingDirectory;
  session.stderrPath = mStderrPath;
  session.closeStderr = options.closeStderr;
  session.onMalformed = [binary = mBinary](const std::string& why) {
    ADD_FAILURE() << "malformed frame from " << binary << ": " << why;
  };
  mSession.emplace(std::move(session));
  if (!mSession->started())
    ADD_FAILURE() << "cannot start " << mBinary << ": " << strerror(errno);
}

HostProcess::~HostProcess() {
  mSession.reset();
  if (::testing::Test::HasFailure() && !mTempDir.empty()) {
    std::cerr << "---- stderr of " << mBinary << " ----\n"
              << Tail(StderrText(), 20000) << "---- host system log ----\n"
              << Tail(ReadWholeFile(mSyslogPath), 20000) << "---- end ----" << std::endl;
  }
  if (!mTempDir.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(mTempDir, ignored);
  }
}

bool HostProcess::Sent(bool sent) {
  if (!sent && errno == ETIMEDOUT)
    ADD_FAILURE() << mBinary << " stopped reading its input for 30000 ms";
  return sent;
}

bool HostProcess::SendFrame(const std::string& body) {
  return mSession && Sent(mSession->SendFrame(body));
}

bool HostProcess::SendRaw(const std::string& bytes) {
  return mSession && Sent(mSession->SendRaw(bytes));
}

bool HostProcess::SendStopWord() {
  return mSession && Sent(mSession->SendStopWord());
}

void HostProcess::CloseStdin() {
  if (mSession)
    mSession->CloseInput();
}

void HostProcess::CloseStdout() {
  if (mSession)
    mSession->CloseOutput();
}

std::optional<std::string> HostProcess::ReadFrame(int timeoutMs) {
  return mSession ? mSession->ReadFrame(milliseconds(timeoutMs)) : std::nullopt;
}

std::optional<std::vector<std::string>> HostProcess::ReadFramesUntil(
    const std::function<bool(const std::string&)>& done, int timeoutMs) {
  return mSession ? mSession->ReadFramesUntil(done, milliseconds(timeoutMs)) : std::nullopt;
}

std::vector<std::string> HostProcess::ReadFramesUntilQuiet(int quietMs) {
  std::vector<std::string> frames;
  while (auto frame = ReadFrame(quietMs))
    frames.push_back(*frame);
  return frames;
}

bool HostProcess::AtEndOfOutput() {
  return !mSession || mSession->AtEndOfOutput();
}

std::optional<int> HostProcess::WaitForExit(int timeoutMs) {
  return mSession ? mSession->WaitForExit(milliseconds(timeoutMs)) : std::nullopt;
}

void HostProcess::Kill() {
  if (mSession)
    mSession->Kill();
}

std::vector<std::string> HostProcess::SyslogLines() const {
  std::vector<std::string> lines;
  std::istringstream text(ReadWholeFile(mSyslogPath));
  for (std::string line; std::getline(text, line);)
    lines.push_back(line);
  return lines;
}

bool HostProcess::WaitForSyslogLine(const std::string& fragment, int timeoutMs) const {
  auto deadline = Clock::now() + milliseconds(timeoutMs);
  for (;;) {
    for (const auto& line : SyslogLines())
      if (line.find(fragment) != std::string::npos)
        return true;
    if (Clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(milliseconds(10));
  }
}

std::string HostProcess::StderrText() const {
  return ReadWholeFile(mStderrPath);
}
