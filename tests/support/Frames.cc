#include "tests/support/Frames.h"

bool IsLogRecord(const std::string& frame) {
  return FrameString(frame, "type") == "Log";
}

std::vector<std::string> LogTexts(const std::vector<std::string>& frames) {
  std::vector<std::string> texts;
  for (const auto& frame : frames)
    if (IsLogRecord(frame))
      texts.push_back(FrameString(frame, "text").value_or(""));
  return texts;
}

std::vector<std::string> NonLogFrames(const std::vector<std::string>& frames) {
  std::vector<std::string> others;
  for (const auto& frame : frames)
    if (!IsLogRecord(frame))
      others.push_back(frame);
  return others;
}

bool IsLogRecordWithText(const std::string& frame, const std::string& text) {
  return IsLogRecord(frame) && FrameString(frame, "text") == text;
}

bool IsMessageWithCode(const std::string& frame, const std::string& code) {
  return !IsLogRecord(frame) && FrameString(frame, "code") == code;
}

std::string Request(const std::string& code, const std::string& members) {
  return R"({"version":"8.2.0x431","type":"Request","code":")" + code + "\"" +
         (members.empty() ? "" : "," + members) + "}";
}

std::string FilesMember(const std::vector<std::string>& paths) {
  std::string list;
  for (const auto& path : paths) {
    JsonPtr entry(json_object_new_object());
    json_object_object_add(entry.get(), "file_path", json_object_new_string(path.c_str()));
    list += (list.empty() ? "" : ",") + std::string(json_object_to_json_string(entry.get()));
  }
  return "\"files_ul\":[" + list + "]";
}
