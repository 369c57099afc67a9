// The host under test, started through HostSession the way a browser starts
// it, with what tests need around it: a faceless environment, stderr kept in
// a file and the system log captured by a preloaded shim, both printed when
// the test fails, and a malformed frame failing the test. Then reading its
// frames, the log records among the other messages, and writing the
// browser's requests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "host/FrameCodec.h"
#include "tools/desktop/Spawn.h"
#include "tools/hostsession/FrameJson.h"
#include "tools/hostsession/HostEnvironment.h"
#include "tools/hostsession/HostSession.h"

using namespace std::chrono_literals;

inline std::string ReadWholeFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// The host's scratch folder, made before the session starts.
struct HostFolder {
  std::string mFolder = [] {
    char pattern[] = "/tmp/qx-host-XXXXXX";
    return std::string(mkdtemp(pattern) != nullptr ? pattern : "/nonexistent");
  }();
};

class HostProcess : private HostFolder, public HostSession {
 public:
  using Environment = EnvironmentChanges;  // applied after the harness defaults

  struct Options {
    Environment environment;
    bool closeStderr = false;  // start the host without fd 2
  };

  explicit HostProcess(const Options& options) : HostSession(Session(options, mFolder)) {
    EXPECT_TRUE(started()) << "cannot start " << QX_HOST_BINARY;
  }
  ~HostProcess() {
    Kill();
    if (::testing::Test::HasFailure())
      std::cerr << "---- host stderr ----\n"
                << StderrText() << "---- host system log ----\n"
                << ReadWholeFile(mFolder + "/syslog") << "---- end ----" << std::endl;
    std::error_code ignored;
    std::filesystem::remove_all(mFolder, ignored);
  }

  // The captured system log holds a line with `fragment` within `timeoutMs`.
  bool WaitForSyslogLine(const std::string& fragment, int timeoutMs) const {
    return PollUntil(timeoutMs, [&] { return SyslogText().find(fragment) != std::string::npos; });
  }
  // Every frame that arrives within `quiet` of the previous one.
  std::vector<std::string> ReadFramesUntilQuiet(Milliseconds quiet) {
    std::vector<std::string> frames;
    while (auto frame = ReadFrame(quiet))
      frames.push_back(*frame);
    return frames;
  }
  std::string SyslogText() const { return ReadWholeFile(mFolder + "/syslog"); }
  std::string StderrText() const { return ReadWholeFile(mFolder + "/stderr"); }

 private:
  static HostSession::Options Session(const Options& options, const std::string& folder) {
    EnvironmentChanges changes = FacelessHostChanges();
    const char* preload = getenv("LD_PRELOAD");
    const char* asan = getenv("ASAN_OPTIONS");
    changes["QX_SYSLOG_CAPTURE_FILE"] = folder + "/syslog";
    changes["LD_PRELOAD"] =
        std::string(QX_SYSLOG_CAPTURE_LIBRARY) + (preload ? ":" : "") + (preload ? preload : "");
    // The preloaded shim comes before the sanitizer runtime.
    changes["ASAN_OPTIONS"] = std::string(asan ? asan : "") + ":verify_asan_link_order=0";
    for (const auto& [name, value] : options.environment)
      changes[name] = value;
    HostSession::Options session;
    session.command = {QX_HOST_BINARY};
    session.environment = ChangedEnvironment(changes);
    session.stderrPath = folder + "/stderr";
    session.closeStderr = options.closeStderr;
    session.onMalformed = [](const std::string& why) {
      ADD_FAILURE() << "malformed frame from the host: " << why;
    };
    return session;
  }
};

inline bool IsLogRecord(const std::string& frame) {
  return FrameString(frame, "type") == "Log";
}
// Predicates for ReadFramesUntil: a log record whose text is `text`, a
// message (not a log record) whose code is `code`.
inline bool IsLogRecordWithText(const std::string& frame, const std::string& text) {
  return IsLogRecord(frame) && FrameString(frame, "text") == text;
}
inline bool IsMessageWithCode(const std::string& frame, const std::string& code) {
  return !IsLogRecord(frame) && FrameString(frame, "code") == code;
}

// The "text" of each log record among `frames`, in order.
inline std::vector<std::string> LogTexts(const std::vector<std::string>& frames) {
  std::vector<std::string> texts;
  for (const auto& frame : frames)
    if (IsLogRecord(frame))
      texts.push_back(FrameString(frame, "text").value_or(""));
  return texts;
}
inline std::vector<std::string> NonLogFrames(const std::vector<std::string>& frames) {
  std::vector<std::string> others;
  for (const auto& frame : frames)
    if (!IsLogRecord(frame))
      others.push_back(frame);
  return others;
}

// A browser request with "code" `code` and further members (JSON text of
// members, without braces).
inline std::string Request(const std::string& code, const std::string& members = "") {
  return R"({"version":"8.2.0x431","type":"Request","code":")" + code + "\"" +
         (members.empty() ? "" : "," + members) + "}";
}
// The "files_ul" member of a queue request naming `paths`.
inline std::string FilesMember(const std::vector<std::string>& paths) {
  std::string list;
  for (const auto& path : paths) {
    JsonPtr entry(json_object_new_object());
    json_object_object_add(entry.get(), "file_path", json_object_new_string(path.c_str()));
    list += (list.empty() ? "" : ",") + std::string(json_object_to_json_string(entry.get()));
  }
  return "\"files_ul\":[" + list + "]";
}
