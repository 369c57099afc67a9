// A bundle here is an installed program's folder: the folder that holds its
// executable, with the resources in "../share/quorvex-webclient" beside it
// (the layout of an installation prefix: bin/ and share/quorvex-webclient/).
// The default bundle is that of the running executable (/proc/self/exe).
#pragma once

#include <optional>
#include <string>

namespace MacFileOperations {

class QXBundle {
 public:
  // The running program's bundle; none when its executable cannot be found.
  QXBundle();
  bool HasBundle() const { return mPath.has_value(); }
  // The file URL text of an existing resource; empty without a bundle or
  // when there is no such resource.
  std::wstring URLForResource(const std::wstring& name, const std::wstring& extension,
                              std::wstring subdirectory) const;
  // The resource folder; empty without a bundle.
  std::wstring ResourcePathAsString() const;

 private:
  std::optional<std::string> mPath;
};

}  // namespace MacFileOperations
