#include "mac/ConfirmFilesToUpload.h"

#include <sstream>

#include "mac/QXWebClientBaseMac.h"
#include "platform/app/Application.h"

bool CQXWebClientCocoaConfirmFilesToUpload::doConfirmDialog(const json_xwstringset& items) {
  mAllowFileUpload = false;
  if (NSApp == nullptr)
    return mAllowFileUpload;

  // Counts the items as queued, before any folder is expanded.
  std::ostringstream message;
  message << "Add " << items.size() << " item(s) for sending?\n";

  mAlert = std::make_unique<QXAlert>();
  QXAlertButton& yes = mAlert->addButtonWithTitle("Add Files");
  yes.setAction([this] { doConfirmYes(); });
  mAlert->addButtonWithTitle("Cancel");
  mAlert->setMessageText(message.str());
  mAlert->setInformativeText("");
  mAlert->setAlertStyle(kQXWarningAlertStyle);

  mAlert->runModal();
  mAlert.reset();
  return mAllowFileUpload;
}

void CQXWebClientCocoaConfirmFilesToUpload::doConfirmYes() {
  mAllowFileUpload = true;
  mAlert->close();
  mAlert->endModal(kQXAlertFirstButtonReturn);
  mAlert->orderOut();
}

bool CQXWebClientBaseMac::VerifyFileSelection(json_xwstringset& items) {
  auto dialog = std::make_unique<CQXWebClientCocoaConfirmFilesToUpload>();
  return dialog->doConfirmDialog(items);
}
