// Path work on the bytes the system uses; the wide-path functions of the
// library and the folder expansion share these.
#pragma once

#include <optional>
#include <string>

namespace MacFileOperations {

// `second` appended to `first` as one more component, exactly one "/"
// between them; an empty side gives the other.
std::string JoinPath(const std::string& first, const std::string& second);
// The last component and the path without it; a trailing "/" is ignored.
void SplitPath(const std::string& path, std::string& name, std::string& parent);
// "." and ".." and repeated "/" taken out of the text alone (a ".." after a
// link is not read as the kernel reads it; see ResolveDots).
std::string NormalizePath(const std::string& path);
// Whether the item's name marks it hidden (it starts with ".").
bool IsHiddenPath(const std::string& path);

// The path absolute, with "." and ".." taken out the way the kernel reads
// them: a ".." after a link leaves the link's target. nullopt with `error`
// set to errno when a folder on the way is missing or cannot be looked at.
std::optional<std::string> ResolveDots(const std::string& path, int* error);

// Follows a chain of links, one per level of depth, to the item it ends at:
// each target is read from the folder that holds its link, as the kernel
// reads it, and the result has no "." or ".." in it. nullopt with `error`
// set to errno, or to -43 when the depth runs out.
std::optional<std::string> ResolveLinkChain(const std::string& path, int depth, int* error);

}  // namespace MacFileOperations
