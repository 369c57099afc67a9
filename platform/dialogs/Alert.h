// A modal question with a message, an informative text and buttons. The
// first button is the default one (Return); a button without an action of
// its own ends the run with kQXAlertFirstButtonReturn plus its index.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialogs/ModalWindow.h"

enum QXAlertStyle {
  kQXWarningAlertStyle = 0,
  kQXInformationalAlertStyle = 1,
  kQXCriticalAlertStyle = 2,
};

class QXAlertButton {
 public:
  // Replaces the button's own behaviour (ending the run) with `action`.
  void setAction(std::function<void()> action) { mAction = std::move(action); }
  GtkButton* widget() const { return mButton; }

 private:
  friend class QXAlert;
  QXAlertButton(class QXAlert* alert, GtkButton* button, long code);
  static void OnClicked(GtkButton*, gpointer self);

  class QXAlert* mAlert;
  GtkButton* mButton;
  long mCode;
  std::function<void()> mAction;
};

class QXAlert : public QXModalWindow {
 public:
  QXAlert();

  // Buttons appear right to left in the order added, the first rightmost.
  QXAlertButton& addButtonWithTitle(const std::string& title);
  void setMessageText(const std::string& text);
  void setInformativeText(const std::string& text);
  void setAlertStyle(QXAlertStyle style);

 protected:
  // Closing the alert without a button is the cancelling answer.
  void windowShouldClose() override { endModal(kQXModalResponseCancel); }

 private:
  std::vector<std::unique_ptr<QXAlertButton>> mButtons;
};
