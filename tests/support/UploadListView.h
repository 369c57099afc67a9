// The browser's view of the host's upload list, built the only way the
// browser can build it: from the notifications it receives. Suites that
// change the list compare this view with what the host really holds.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

struct UploadEntry {
  std::string path;
  std::string relative;
  double size = 0;
};

// The entries of a frame with "code" `code` and a "files_ul" array; empty
// for any other frame.
std::vector<UploadEntry> NotifiedEntries(const std::string& frame, const std::string& code);
// A "files_ul" member naming `entries` with their relative paths and sizes.
std::string EntriesMember(const std::vector<UploadEntry>& entries);

class UploadListView {
 public:
  // Applies one frame from the host; frames other than the list's two
  // notifications change nothing. Returns what contradicts the view (an
  // added entry it already holds, a deleted one it does not), or "".
  std::string Apply(const std::string& frame);
  void Clear() { mEntries.clear(); }
  size_t Size() const { return mEntries.size(); }
  bool Contains(const UploadEntry& entry) const;
  // In the list's order: paths, then relative paths, ignoring ASCII case.
  std::vector<UploadEntry> Entries() const;

 private:
  struct CaseLess {
    bool operator()(const std::pair<std::string, std::string>& a,
                    const std::pair<std::string, std::string>& b) const;
  };
  std::map<std::pair<std::string, std::string>, double, CaseLess> mEntries;
};
