#include "host/QXWebClientNativeMac.h"

#include "host/BrowserChannel.h"

CQXWebClientNativeMac::CQXWebClientNativeMac() {
  InstallAEHandlers();
}

CQXWebClientNativeMac::~CQXWebClientNativeMac() {
  RemoveAEHandlers();
}

bool CQXWebClientNativeMac::Initialize(xwstring& response) {
  CreateLogger();
  if (!CQXWebClientBaseMac::Initialize(response))
    return false;
  const char* text = response;
  return NotifyBrowser(text);
}

bool CQXWebClientNativeMac::NotifyBrowser(const char* text) {
  return BrowserChannel::Standard().WriteFrame(text);
}

// A record the browser cannot take is dropped: logging has nowhere to report it.
void CQXWebClientNativeMac::Log(const char* text) {
  NotifyBrowser(text);
}
