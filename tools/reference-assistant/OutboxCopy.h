// How files get into and out of the outbox. A copy is written beside its
// destination under a hidden name and moved under its own name only once it
// is whole, so whoever lists a folder (a download, another program) never
// sees a half-written file under its final name. Writes into the outbox hold
// its distributed lock, the file "<outbox>.lck" beside it, so two Assistants
// (of one user session or of two) never write into the same outbox at once.
#pragma once

#include <string>

// Where an uploaded file lands in the outbox: under the folder it was picked
// in (its relative path, when that stays inside the outbox), by its own name.
std::string OutboxPath(const std::string& outbox, const char* relative, const char* filePath);

// Copies the file at `source` to `destination` (replacing what is there),
// making its missing folders, with the source's permissions. False with the
// reason in `failure`; then `destination` is as it was.
bool CopyWhole(const std::string& source, const std::string& destination, std::string* failure);

// CopyWhole while holding the outbox's lock; waits as long as another
// holder has it.
bool CopyIntoOutbox(const std::string& outbox, const std::string& source,
                    const std::string& destination, std::string* failure);
