// The folder panel of one "SelectDownloadLocation" request.
#pragma once

class CQXWebClientBaseMac;

class CQXWebClientCocoaSelectDownloadLocation {
 public:
  // Shows the panel and stores the chosen folder in the client, creating it
  // when it is missing; true when a folder is there to download into.
  bool doBrowseDialog(CQXWebClientBaseMac* client);

 private:
  bool mResult = false;
};
