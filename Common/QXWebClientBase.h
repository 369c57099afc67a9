// The platform-neutral client: the state the browser works with and the
// operations its requests are dispatched to.
#pragma once

#include <json-c/json.h>

#include <cstdint>
#include <map>

#include "Common/FileList.h"
#include "Common/Logger.h"
#include "Common/Protocol.h"
#include "Common/xwstring.h"

class CQXWebClientBase {
 public:
  CQXWebClientBase();
  virtual ~CQXWebClientBase();

  // The virtual operations keep this order: platform layers append theirs.
  virtual bool HandleNotification(const char* text);
  virtual bool NotifyBrowser(const char* text) = 0;
  virtual bool Initialize(xwstring& response);
  virtual bool ExecuteRequest(wchar_t* text);
  virtual void CreateLogger() = 0;
  virtual bool ProxyExecuteRequest(wchar_t* request) = 0;
  virtual bool AddFiles(json_xwstringset& items) = 0;
  virtual bool QueueFilesForUpload(json_object* request);
  virtual bool CheckFilenameLength(const xwstring& path);
  virtual bool AddFiles(CFileList& files);
  virtual bool DeleteFiles(CFileList& files);
  virtual bool SelectFilesToUpload();
  virtual bool DeleteFilesFromUploadList(json_object* request);
  virtual bool SelectDownloadLocation();
  virtual bool VerifyFileSelection(json_xwstringset& items);
  virtual bool StartUpload(json_object* request);
  virtual bool StartDownload(json_object* request);
  virtual bool SetParameter(json_object* request);
  virtual void ReportError(tErrorStringID id, ...);
  virtual bool RetrieveErrorString(tErrorStringID id, xwstring& text) = 0;
  virtual bool Reset();

  // The request entry of the browser channel: the frame's bytes as they
  // came, up to a NUL, which spares a wide copy of a body that may be huge.
  // ExecuteRequest reaches the same dispatch.
  bool ExecuteRequestUTF8(const char* text);

  static CQXWebClientBase* GetPluginInstanceFromRefCon(unsigned int refCon);
  static bool NotificationCallback(const char* text, long client);

  // Read-only views for the layers above and for tests.
  const CFileList& UploadList() const { return mUploadList; }
  const xwstring& DownloadLocation() const { return mDownloadLocation; }
  uint64_t RefCon() const { return mRefCon; }
  int FileTransferLimit() const { return mFileTransferLimit; }

 protected:
  CLogger* mLogger;
  CFileList mUploadList;
  xwstring mDownloadLocation;
  uint64_t mRefCon;
  int32_t mFileTransferLimit;

  static std::map<uint32_t, CQXWebClientBase*> sPluginList;

 private:
  CQXWebClientBase(const CQXWebClientBase&) = delete;
  CQXWebClientBase& operator=(const CQXWebClientBase&) = delete;
};
