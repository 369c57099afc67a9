// The library's log: one line on standard error, stamped like the platform
// log ("2026-01-31 12:00:00.123 program[pid] text"). Standard error is where
// a desktop program's diagnostics are collected (journal, session log) and it
// never reaches the browser channel.
#pragma once

namespace MacFileOperations {

void PlatformLog(const char* text);

}  // namespace MacFileOperations
