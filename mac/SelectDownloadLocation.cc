#include "mac/SelectDownloadLocation.h"

#include <memory>

#include "Assistant/Mac/Cocoa/MacFileOperations/FileQueries.h"
#include "mac/NSOpenPanelDoesntSuck.h"
#include "mac/QXWebClientBaseMac.h"
#include "mac/nsstring/NSStringWstring.h"
#include "platform/app/Application.h"

bool CQXWebClientCocoaSelectDownloadLocation::doBrowseDialog(CQXWebClientBaseMac* client) {
  mResult = false;
  if (NSApp == nullptr)
    return mResult;

  auto panel = NSOpenPanelDoesntSuck::openPanel();
  panel->setCanCreateDirectories(true);
  panel->setCanChooseDirectories(true);
  panel->setCanChooseFiles(false);
  panel->setPrompt("Choose");
  panel->setTitle("Choose a folder");
  if (NSApp->mainWindow() == nullptr)
    panel->setLevel(CGShieldingWindowLevel());

  const long response = panel->runModal();
  panel->orderOut();

  const auto url = panel->URL();
  if (response != kQXModalResponseOK || !url)
    return mResult;

  // Stored before the folder is looked at: a choice that cannot be created
  // again still replaces the earlier one.
  const std::wstring path = wstringFromNSString(url);
  client->SetDownloadLocation(path);
  if (MacFileOperations::FileExists(path)) {
    mResult = true;
  } else {
    const bool isDirectory = true;
    mResult = MacFileOperations::CreateFile(path, &isDirectory, nullptr, nullptr, nullptr, nullptr,
                                            0, nullptr);
  }
  return mResult;
}

bool CQXWebClientBaseMac::SelectDownloadLocation() {
  auto dialog = std::make_unique<CQXWebClientCocoaSelectDownloadLocation>();
  return dialog->doBrowseDialog(this);
}
