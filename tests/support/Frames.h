// Reading the host's frames in tests: members by name, and the log records
// among the other messages; writing the browser's requests.
#pragma once

#include <string>
#include <vector>

#include "host/FrameCodec.h"
#include "tools/hostsession/FrameJson.h"

bool IsLogRecord(const std::string& frame);
// The "text" of each log record among `frames`, in order; other frames skipped.
std::vector<std::string> LogTexts(const std::vector<std::string>& frames);
// Frames that are not log records.
std::vector<std::string> NonLogFrames(const std::vector<std::string>& frames);
// A predicate for ReadFramesUntil: a log record whose text equals `text`.
bool IsLogRecordWithText(const std::string& frame, const std::string& text);
// A predicate for ReadFramesUntil: a message (not a log record) with "code" `code`.
bool IsMessageWithCode(const std::string& frame, const std::string& code);

// A browser request with "code" `code` and further members (JSON text of
// members, without braces).
std::string Request(const std::string& code, const std::string& members = "");
// The "files_ul" member of a queue request naming `paths`.
std::string FilesMember(const std::vector<std::string>& paths);
