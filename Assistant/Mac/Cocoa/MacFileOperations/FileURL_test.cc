#include "Assistant/Mac/Cocoa/MacFileOperations/FileURL.h"

#include <gtest/gtest.h>

namespace MacFileOperations {
namespace {

// Picked items reach the host as URLs; only local file URLs name a path.
TEST(FileURL, PathsOfLocalFileURLsOnly) {
  struct Case {
    const char* url;
    std::optional<std::string> path;
  };
  const Case cases[] = {
      {"file:///a/My%20Folder/caf%C3%A9%25%FF", "/a/My Folder/caf\xC3\xA9%\xFF"},
      {"FILE://localhost/a", "/a"},
      {"file:/a?query#fragment", "/a"},
      {"file://server/a", std::nullopt},
      {"http:///a", std::nullopt},
      {"file:///a%2", std::nullopt},
      {"file:///a%00b", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PathFromFileURL(c.url), c.path) << c.url;
}

}  // namespace
}  // namespace MacFileOperations
