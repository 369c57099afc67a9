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

  // The absolute path of each picked item in the order the panel gives
  // them, or nullopt for an item that has none (not on a local disk).
  std::vector<std::optional<std::string>> URLs() const;
  // The first picked item, or nullopt when nothing is picked.
  std::optional<std::string> URL() const;

  // The confirming button: ends the run with kQXModalResponseOK.
  virtual void ok();
  // The cancel button, Escape and the window manager's close button: ends
  // the run with kQXModalResponseCancel.
  virtual void cancel();

 protected:
  void windowShouldClose() override { cancel(); }

 private:
  GtkFileChooser* chooser() const;
  bool enterTypedFolder();
  static void OnResponse(GtkDialog*, gint response, gpointer self);

  GtkWidget* mPromptButton;
  GtkWidget* mMessage;
  bool mCanChooseFiles = true;
  bool mCanChooseDirectories = false;
};
