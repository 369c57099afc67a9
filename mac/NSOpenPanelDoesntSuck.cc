#include "mac/NSOpenPanelDoesntSuck.h"

std::unique_ptr<NSOpenPanelDoesntSuck> NSOpenPanelDoesntSuck::openPanel() {
  return std::unique_ptr<NSOpenPanelDoesntSuck>(new NSOpenPanelDoesntSuck());
}

NSOpenPanelDoesntSuck::NSOpenPanelDoesntSuck() : mHitOK(false), mHitCancel(false) {}

void NSOpenPanelDoesntSuck::ok() {
  mHitOK = true;
  QXOpenPanel::ok();
}

void NSOpenPanelDoesntSuck::cancel() {
  mHitCancel = true;
  QXOpenPanel::cancel();
}
