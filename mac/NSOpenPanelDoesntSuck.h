// The open panel the client's dialogs use: it remembers which of its buttons
// ended it. The answer itself comes from the panel's modal run.
#pragma once

#include <memory>

#include "platform/dialogs/OpenPanel.h"

class NSOpenPanelDoesntSuck : public QXOpenPanel {
 public:
  static std::unique_ptr<NSOpenPanelDoesntSuck> openPanel();

  void ok() override;
  void cancel() override;
  bool getHitOK() const { return mHitOK; }

 private:
  NSOpenPanelDoesntSuck();

  bool mHitOK;
  bool mHitCancel;
};
