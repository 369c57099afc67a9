// The alert that asks the user to confirm items the browser queued.
#pragma once

#include <memory>

#include "Common/FileList.h"
#include "platform/dialogs/Alert.h"

class CQXWebClientCocoaConfirmFilesToUpload {
 public:
  // True only when the user pressed "Add Files".
  bool doConfirmDialog(const json_xwstringset& items);
  // The action of the "Add Files" button.
  void doConfirmYes();

 private:
  bool mAllowFileUpload = false;
  std::unique_ptr<QXAlert> mAlert;
};
