#include "Common/QXWebClientBase.h"

#include <cassert>
#include <sstream>

#include "platform/core/TickCount.h"

std::map<uint32_t, CQXWebClientBase*> CQXWebClientBase::sPluginList;

namespace {

constexpr int32_t kNoFileTransferLimit = 2147483647;

uint32_t RegistryKey(uint64_t refCon) {
  return static_cast<uint32_t>(refCon);
}

}  // namespace

CQXWebClientBase::CQXWebClientBase()
    : mLogger(nullptr), mRefCon(TickCount()), mFileTransferLimit(kNoFileTransferLimit) {
  // No logger exists yet, so registration is recorded in the system log only.
  std::ostringstream line;
  line << "Added new instance of plugin, refCon=" << std::hex << mRefCon
       << ", this=" << static_cast<const void*>(this);
  WC_WriteToSyslog(line.str().c_str());
  sPluginList.emplace(RegistryKey(mRefCon), this);
}

CQXWebClientBase::~CQXWebClientBase() {
  const auto entry = sPluginList.find(RegistryKey(mRefCon));
  if (entry == sPluginList.end())
    assert(false);

  std::ostringstream line;
  line << "Removed instance of plugin, refCon=" << std::hex << mRefCon;
  WC_WriteToSyslog(line.str().c_str());

  if (entry != sPluginList.end())
    sPluginList.erase(entry);
  WC_DeleteIfObject(mLogger);
}

CQXWebClientBase* CQXWebClientBase::GetPluginInstanceFromRefCon(unsigned int refCon) {
  std::ostringstream searching;
  searching << "Searching plugin instances for refCon=" << std::hex << refCon
            << ", numPlugins=" << sPluginList.size();
  WC_WriteToSyslog(searching.str().c_str());

  const auto entry = sPluginList.find(refCon);
  if (entry != sPluginList.end())
    return entry->second;

  std::ostringstream missing;
  missing << "Could not find plugin for refCon=" << std::hex << refCon;
  WC_WriteToSyslog(missing.str().c_str());
  return nullptr;
}

bool CQXWebClientBase::Reset() {
  if (mLogger != nullptr)
    mLogger->DebugMsg("Reset");
  mFileTransferLimit = kNoFileTransferLimit;
  mDownloadLocation = "";
  mUploadList.clear();
  return true;
}

// The platform layer gives these a body; the core alone cannot do them.
bool CQXWebClientBase::Initialize(xwstring& /*response*/) {
  return false;
}
bool CQXWebClientBase::SelectFilesToUpload() {
  return false;
}
bool CQXWebClientBase::SelectDownloadLocation() {
  return false;
}
bool CQXWebClientBase::VerifyFileSelection(json_xwstringset& /*items*/) {
  return false;
}
