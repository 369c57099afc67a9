// The client the host process runs: the desktop client layer plus the two
// operations that face the browser.
#pragma once

#include "mac/QXWebClientBaseMac.h"

class CQXWebClientNativeMac : public CQXWebClientBaseMac {
 public:
  CQXWebClientNativeMac();
  ~CQXWebClientNativeMac() override;

  bool Initialize(xwstring& response) override;
  // Writes one frame to the browser; see BrowserChannel::WriteFrame for
  // when it is refused.
  bool NotifyBrowser(const char* text) override;
  void Log(const char* text) override;
};
