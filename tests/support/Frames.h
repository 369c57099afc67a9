// Reading the host's frames in tests, the log records among the other
// messages, and writing the browser's requests.
#pragma once

#include <string>
#include <vector>

#include "host/FrameCodec.h"
#include "tools/hostsession/FrameJson.h"

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
