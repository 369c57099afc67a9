#include "mac/SelectFilesToUpload.h"

#include <memory>

#include "mac/NSOpenPanelDoesntSuck.h"
#include "mac/QXWebClientBaseMac.h"
#include "mac/nsstring/NSStringWstring.h"
#include "platform/app/Application.h"

bool CQXWebClientCocoaSelectFilesToUpload::doBrowseDialog(CQXWebClientBaseMac* client) {
  mResult = false;
  if (NSApp == nullptr)
    return mResult;

  auto panel = NSOpenPanelDoesntSuck::openPanel();
  panel->setCanChooseFiles(true);
  panel->setCanChooseDirectories(true);
  panel->setAllowsMultipleSelection(true);
  panel->setPrompt("Choose");
  panel->setTitle("Choose files and folders\u2026");
  panel->setMessage("Choose files and/or folders you wish to send");
  if (NSApp->mainWindow() == nullptr)
    panel->setLevel(CGShieldingWindowLevel());

  const long response = panel->runModal();
  panel->orderOut();
  panel->close();

  if (response == kQXModalResponseOK)
    client->AddArrayOfFiles(panel->URLs());
  mResult = true;
  return mResult;
}

bool CQXWebClientBaseMac::SelectFilesToUpload() {
  if (mLogger != nullptr)
    mLogger->DebugMsg("SelectFilesToUpload");
  auto dialog = std::make_unique<CQXWebClientCocoaSelectFilesToUpload>();
  const bool result = dialog->doBrowseDialog(this);
  dialog.reset();
  if (mLogger != nullptr)
    mLogger->DebugMsg(result ? "Selected Files" : "Could not select files!!!!");
  return result;
}

bool CQXWebClientBaseMac::AddArrayOfFiles(const std::vector<std::optional<std::string>>& urls) {
  json_xwstringset items;
  for (const auto& path : urls) {
    if (!path)
      continue;
    // An entry equal to one already in the set (ignoring case) is dropped.
    items.insert(xwstring(wstringFromNSString(path)));
  }
  if (items.empty())
    return false;
  return AddFiles(items);
}
