// The upload panel of one "SelectFilesToUpload" request.
#pragma once

class CQXWebClientBaseMac;

class CQXWebClientCocoaSelectFilesToUpload {
 public:
  // Shows the panel and hands confirmed picks to the client; false only when
  // there is no display to show it on.
  bool doBrowseDialog(CQXWebClientBaseMac* client);

 private:
  bool mResult = false;
};
