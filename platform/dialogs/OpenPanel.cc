#include "platform/dialogs/OpenPanel.h"

#include <glib.h>

#include <memory>
#include <utility>

namespace {

// The confirming button answers with its own response rather than an
// accepting one: the stock dialog intercepts accepting responses and opens
// a selected folder instead of returning it together with the files.
constexpr gint kChooseResponse = 1;

// A prompt shown as given, its first letter the keyboard shortcut.
std::string MnemonicFor(const std::string& text) {
  std::string label = "_";
  for (char c : text) {
    label += c;
    if (c == '_')
      label += '_';
  }
  return label;
}

struct GFileDeleter {
  void operator()(GFile* file) const { g_object_unref(file); }
};

}  // namespace

QXOpenPanel::QXOpenPanel()
    : QXModalWindow(gtk_file_chooser_dialog_new("", nullptr, GTK_FILE_CHOOSER_ACTION_OPEN, nullptr,
                                                nullptr)) {
  GtkDialog* dialog = GTK_DIALOG(window());
  // Escape cancels; alt and the prompt's first letter confirm, so the cancel
  // button must not claim a letter the prompt may start with.
  gtk_dialog_add_button(dialog, "Cancel", GTK_RESPONSE_CANCEL);
  mPromptButton = gtk_dialog_add_button(dialog, "_Open", kChooseResponse);
  gtk_dialog_set_default_response(dialog, kChooseResponse);
  gtk_style_context_add_class(gtk_widget_get_style_context(mPromptButton), "suggested-action");

  mMessage = gtk_label_new(nullptr);
  gtk_label_set_line_wrap(GTK_LABEL(mMessage), TRUE);
  gtk_label_set_xalign(GTK_LABEL(mMessage), 0.0f);
  gtk_widget_set_margin_start(mMessage, 6);
  gtk_widget_set_margin_end(mMessage, 6);
  gtk_widget_set_margin_top(mMessage, 6);
  gtk_widget_set_no_show_all(mMessage, TRUE);
  GtkWidget* content = gtk_dialog_get_content_area(dialog);
  gtk_box_pack_start(GTK_BOX(content), mMessage, FALSE, FALSE, 0);
  gtk_box_reorder_child(GTK_BOX(content), mMessage, 0);

  gtk_file_chooser_set_local_only(chooser(), TRUE);
  gtk_window_set_type_hint(window(), GDK_WINDOW_TYPE_HINT_DIALOG);
  g_signal_connect(dialog, "response", G_CALLBACK(OnResponse), this);
}

GtkFileChooser* QXOpenPanel::chooser() const {
  return GTK_FILE_CHOOSER(window());
}

void QXOpenPanel::setCanChooseFiles(bool flag) {
  mCanChooseFiles = flag;
  gtk_file_chooser_set_action(
      chooser(), flag ? GTK_FILE_CHOOSER_ACTION_OPEN : GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
}

void QXOpenPanel::setCanChooseDirectories(bool flag) {
  mCanChooseDirectories = flag;
}

void QXOpenPanel::setAllowsMultipleSelection(bool flag) {
  gtk_file_chooser_set_select_multiple(chooser(), flag);
}

void QXOpenPanel::setCanCreateDirectories(bool flag) {
  gtk_file_chooser_set_create_folders(chooser(), flag);
}

void QXOpenPanel::setPrompt(const std::string& prompt) {
  gtk_button_set_label(GTK_BUTTON(mPromptButton), MnemonicFor(prompt).c_str());
}

void QXOpenPanel::setMessage(const std::string& message) {
  gtk_label_set_text(GTK_LABEL(mMessage), message.c_str());
  gtk_widget_set_visible(mMessage, !message.empty());
}

std::vector<std::optional<std::string>> QXOpenPanel::selection() const {
  std::vector<std::optional<std::string>> paths;
  if (!window())
    return paths;
  GSList* files = gtk_file_chooser_get_files(chooser());
  for (GSList* item = files; item; item = item->next) {
    GFile* file = G_FILE(item->data);
    // A folder in a panel for files only is one the user meant to open.
    if (!mCanChooseDirectories && mCanChooseFiles &&
        g_file_query_file_type(file, G_FILE_QUERY_INFO_NONE, nullptr) == G_FILE_TYPE_DIRECTORY)
      continue;
    g_autofree char* path = g_file_get_path(file);
    paths.push_back(path ? std::optional<std::string>(path) : std::nullopt);
  }
  g_slist_free_full(files, g_object_unref);
  return paths;
}

std::optional<std::string> QXOpenPanel::URL() const {
  if (mPicked.empty())
    return std::nullopt;
  return mPicked.front();
}

void QXOpenPanel::ok() {
  std::vector<std::optional<std::string>> picked = selection();
  // The stock folder chooser returns a typed path to a file as it is; a
  // panel for folders only must not answer with one, so it stays open.
  if (!mCanChooseFiles) {
    for (const auto& path : picked) {
      if (path && g_file_test(path->c_str(), G_FILE_TEST_EXISTS) &&
          !g_file_test(path->c_str(), G_FILE_TEST_IS_DIR)) {
        gtk_widget_error_bell(GTK_WIDGET(window()));
        return;
      }
    }
  }
  mPicked = std::move(picked);
  endModal(kQXModalResponseOK);
}

void QXOpenPanel::cancel() {
  endModal(kQXModalResponseCancel);
}

// In a panel for files, a folder typed into the location field with a
// trailing "/" is one to go into, as in a shell; without it, the typed item
// is the one picked.
bool QXOpenPanel::enterTypedFolder() {
  // A panel for folders only takes the typed folder as the answer.
  if (!mCanChooseFiles)
    return false;
  GtkWidget* focus = gtk_window_get_focus(window());
  if (!focus || !GTK_IS_ENTRY(focus))
    return false;
  const std::string text = gtk_entry_get_text(GTK_ENTRY(focus));
  if (text.empty() || text.back() != '/')
    return false;

  std::unique_ptr<GFile, GFileDeleter> folder;
  if (text[0] == '~') {
    g_autofree char* home = g_build_filename(g_get_home_dir(), text.c_str() + 1, nullptr);
    folder.reset(g_file_new_for_path(home));
  } else if (g_path_is_absolute(text.c_str())) {
    folder.reset(g_file_new_for_path(text.c_str()));
  } else {
    GFile* current = gtk_file_chooser_get_current_folder_file(chooser());
    if (!current)
      return false;
    folder.reset(g_file_resolve_relative_path(current, text.c_str()));
    g_object_unref(current);
  }
  if (g_file_query_file_type(folder.get(), G_FILE_QUERY_INFO_NONE, nullptr) !=
      G_FILE_TYPE_DIRECTORY)
    return false;
  // Emptied first: changing the folder may replace the location field.
  gtk_entry_set_text(GTK_ENTRY(focus), "");
  gtk_file_chooser_set_current_folder_file(chooser(), folder.get(), nullptr);
  return true;
}

void QXOpenPanel::OnResponse(GtkDialog*, gint response, gpointer self) {
  auto* panel = static_cast<QXOpenPanel*>(self);
  if (response == kChooseResponse) {
    if (!panel->enterTypedFolder())
      panel->ok();
  } else {
    panel->cancel();
  }
}
