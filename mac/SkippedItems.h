// The warnings of one expansion for the items it leaves out: one line per
// item up to a cap, so that a huge folder cannot flood the log, and one line
// that counts the rest.
#pragma once

#include <cstddef>
#include <string>

class CLogger;

class CSkippedItems {
 public:
  // Items logged one by one in one expansion.
  static constexpr size_t kLoggedItems = 100;

  // Without a logger the items are only counted.
  explicit CSkippedItems(CLogger* logger) : mLogger(logger) {}
  CSkippedItems(const CSkippedItems&) = delete;
  CSkippedItems& operator=(const CSkippedItems&) = delete;

  // `reason` says why; a folder is left out with everything in it.
  void Add(const std::string& path, bool folder, const std::string& reason);
  // The line that counts the items past the cap, when there were any.
  void Finish();

 private:
  CLogger* mLogger;
  size_t mCount = 0;
};

// A path as a log line can carry it: bytes that are not UTF-8 written as
// \xHH, and the middle of a very long path left out.
std::string PathForLog(const std::string& path);
