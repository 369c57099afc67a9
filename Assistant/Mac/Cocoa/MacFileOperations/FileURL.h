// file:// URL texts for paths (bytes) and back.
#pragma once

#include <optional>
#include <string>

namespace MacFileOperations {

// "file://" and the path with every byte outside the URL path characters
// percent-encoded; a folder's URL ends with "/".
std::string FileURLFromPath(const std::string& path, bool isDirectory);
// The percent-decoded path of a file URL ("file:///p", "file://localhost/p"
// or "file:/p"); nullopt for another scheme, a remote host, a malformed
// escape, or characters a URL cannot hold.
std::optional<std::string> PathFromFileURL(const std::string& url);

}  // namespace MacFileOperations
