// The panel in which the user picks files and folders to open: files and
// folders together, one or several at once, or exactly one folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs/ModalWindow.h"

class QXOpenPanel : public QXModalWindow {
 public:
  QXOpenPanel();

  void setCanChooseFiles(bool flag);
  void setCanChooseDirectories(bool flag);
  void setAllowsMultipleSelection(bool flag);
  void setCanCreateDirectories(bool flag);
  // The text of the confirming button.
  void setPrompt(const std::string& prompt);
  // A line shown above the file list; empty hides it.
  void setMessage(const std::string& message);

  // The items picked when the panel was confirmed, in the order the panel
  // gives them: each one's absolute path, or nullopt for an item that has
  // none (not on a local disk). Empty when it was not confirmed.
  std::vector<std::optional<std::string>> URLs() const { return mPicked; }
  // The first picked item, or nullopt when nothing was picked.
  std::optional<std::string> URL() const;

  // The confirming button: takes the selection and ends the run with
  // kQXModalResponseOK.
  virtual void ok();
  // The cancel button, Escape and the window manager's close button: ends
  // the run with kQXModalResponseCancel.
  virtual void cancel();

 protected:
  void windowShouldClose() override { cancel(); }

 private:
  GtkFileChooser* chooser() const;
  std::vector<std::optional<std::string>> selection() const;
  bool enterTypedFolder();
  static void OnResponse(GtkDialog*, gint response, gpointer self);

  GtkWidget* mPromptButton;
  GtkWidget* mMessage;
  bool mCanChooseFiles = true;
  bool mCanChooseDirectories = false;
  std::vector<std::optional<std::string>> mPicked;
};
