// The desktop client layer: Apple Events to the Assistant, the native
// dialogs, item expansion, the platform logger and the error texts.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "Common/QXWebClientBase.h"
#include "platform/appleevents/AETypes.h"
#include "platform/core/CoreFoundation.h"

namespace MacFileOperations {
class QXFileHandle;
}

class CQXWebClientBaseMac : public CQXWebClientBase {
 public:
  CQXWebClientBaseMac();
  ~CQXWebClientBaseMac() override;

  bool Initialize(xwstring& response) override;
  void CreateLogger() override;
  bool ProxyExecuteRequest(wchar_t* request) override;
  using CQXWebClientBase::AddFiles;
  bool AddFiles(json_xwstringset& items) override;
  bool SelectFilesToUpload() override;
  bool SelectDownloadLocation() override;
  bool VerifyFileSelection(json_xwstringset& items) override;
  bool RetrieveErrorString(tErrorStringID id, xwstring& text) override;

  virtual void Log(const char* text) = 0;
  virtual void HandleStatusEvent(const AEDesc* event);
  virtual void GetFSItemFullPosixPathFromURLString(const char* url, CFStringRef* path);

  // Each element is one picked URL's POSIX path, or nullopt for a URL
  // without one.
  bool AddArrayOfFiles(const std::vector<std::optional<std::string>>& urls);
  void SetDownloadLocation(const std::wstring& path);

  bool FindAssistantApplication(ProcessSerialNumber& psn);
  bool AEHandleAssistantRequest(AEDesc& address, std::string& request, std::string& response);

  static void WriteToLog(long client, const char* text);
  static void InstallAEHandlers();
  static void RemoveAEHandlers();
  static OSErr StatusAppleEventHandler(const AppleEvent* event, AppleEvent* reply,
                                       SRefCon handlerRefCon);
  static bool EnumerationCallback(const MacFileOperations::QXFileHandle& file,
                                  const std::wstring& relativePath, CFileList* list);

 protected:
  int mSupportDragDrop;

  static AEEventHandlerUPP sStatusAEHandlerUPP;
  static int32_t sStatusAEHandlerUPPRefCount;
  // How long a launched Assistant may take to appear: 120 s; tests shorten it.
  static time_t sAssistantLaunchWaitSeconds;
};

// The Assistant's bundle identifier, which is also its well-known bus name.
extern const char* const kQXAssistantBundleIdentifier;

bool FindAProcess(ProcessSerialNumber& psn);
