#include "platform/dialogs/OpenPanel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "tests/support/DialogDriver.h"
#include "tests/support/GtkTestDisplay.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::Optional;

namespace {

std::string LabelOf(GtkWidget* button) {
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(button));
  // A button with an image packs its label in a box.
  if (GTK_IS_LABEL(child))
    return gtk_label_get_text(GTK_LABEL(child));
  return gtk_button_get_label(GTK_BUTTON(button));
}

// Button labels of the dialog's action area, left to right.
std::vector<std::string> ButtonLabels(GtkWindow* window) {
  std::vector<std::string> labels;
  GtkWidget* cancel = gtk_dialog_get_widget_for_response(GTK_DIALOG(window), GTK_RESPONSE_CANCEL);
  GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_widget_get_parent(cancel)));
  for (GList* child = children; child; child = child->next)
    if (GTK_IS_BUTTON(child->data) && gtk_widget_get_visible(GTK_WIDGET(child->data)))
      labels.push_back(LabelOf(GTK_WIDGET(child->data)));
  g_list_free(children);
  return labels;
}

// Every label text shown in the window.
void CollectLabels(GtkWidget* widget, std::vector<std::string>* texts) {
  if (GTK_IS_LABEL(widget) && gtk_widget_get_visible(widget))
    texts->push_back(gtk_label_get_text(GTK_LABEL(widget)));
  if (GTK_IS_CONTAINER(widget)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* child = children; child; child = child->next)
      CollectLabels(GTK_WIDGET(child->data), texts);
    g_list_free(children);
  }
}

class OpenPanelTest : public GtkTestDisplay {
 protected:
  void SetUp() override {
    GtkTestDisplay::SetUp();
    mFolder = fs::path(mScratch) / "pick";
    fs::create_directories(mFolder / "Photos" / "Trip");
    for (const char* name : {"a.txt", "b.txt", "c.txt", "Photos/Trip/d.jpg"})
      std::ofstream(mFolder / name) << name;
  }

  // The upload panel as the client configures it.
  static void ConfigureForUpload(QXOpenPanel& panel) {
    panel.setCanChooseFiles(true);
    panel.setCanChooseDirectories(true);
    panel.setAllowsMultipleSelection(true);
    panel.setPrompt("Choose");
    panel.setTitle("Choose files and folders\u2026");
    panel.setMessage("Choose files and/or folders you wish to send");
  }

  // Runs `window` modally while a user plays `answer` in the window titled
  // `title`; fails the test when the user part could not be played.
  long RunWithUser(QXModalWindow& window, const std::string& title,
                   std::function<bool(const std::string&)> answer) {
    bool driven = false;
    std::thread user([&] {
      auto id = Driver().WaitForWindow(title, kShowMs);
      driven = id && answer(*id) && Driver().WaitForWindowGone(*id, kGoneMs);
    });
    const long response = RunModal(window);
    window.orderOut();
    user.join();
    EXPECT_TRUE(driven) << Driver().LastError();
    return response;
  }

  std::vector<std::optional<std::string>> SortedURLs(const QXOpenPanel& panel) {
    auto urls = panel.URLs();
    std::sort(urls.begin(), urls.end());
    return urls;
  }

  fs::path mFolder;
};

TEST_F(OpenPanelTest, ShowsTheTextsAndOptionsItWasGiven) {
  QXOpenPanel panel;
  ConfigureForUpload(panel);
  panel.setLevel(CGShieldingWindowLevel());

  std::vector<std::string> labels;
  bool keptAbove = false;
  RunWhileModal(panel, [&] {
    labels.clear();
    CollectLabels(GTK_WIDGET(panel.window()), &labels);
    auto id = Driver().WaitForWindow("Choose files and folders\u2026", kShowMs);
    keptAbove = id && Driver().IsKeptAbove(*id);
    panel.cancel();
  });

  EXPECT_STREQ(gtk_window_get_title(panel.window()), "Choose files and folders\u2026");
  EXPECT_THAT(ButtonLabels(panel.window()), ElementsAre("Cancel", "Choose"));
  EXPECT_THAT(labels, ::testing::Contains("Choose files and/or folders you wish to send"));
  EXPECT_TRUE(gtk_file_chooser_get_select_multiple(GTK_FILE_CHOOSER(panel.window())));
  EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(panel.window())),
            GTK_FILE_CHOOSER_ACTION_OPEN);
  EXPECT_TRUE(gtk_window_get_modal(panel.window()));
  EXPECT_TRUE(keptAbove);
}

TEST_F(OpenPanelTest, ReturnsFilesAndAFolderPickedTogether) {
  QXOpenPanel panel;
  ConfigureForUpload(panel);
  EXPECT_EQ(RunWithUser(panel, "Choose files and folders\u2026",
                        [&](const std::string& id) {
                          return Driver().ChooseAllInFolder(id, mFolder.string(), "alt+c");
                        }),
            kQXModalResponseOK);
  EXPECT_THAT(
      SortedURLs(panel),
      ElementsAre(Optional((mFolder / "Photos").string()), Optional((mFolder / "a.txt").string()),
                  Optional((mFolder / "b.txt").string()), Optional((mFolder / "c.txt").string())));
}

TEST_F(OpenPanelTest, APanelForFilesOnlyLeavesSelectedFoldersOut) {
  QXOpenPanel panel;
  panel.setAllowsMultipleSelection(true);
  panel.setPrompt("Open");
  panel.setTitle("Files only");
  EXPECT_EQ(RunWithUser(panel, "Files only",
                        [&](const std::string& id) {
                          return Driver().ChooseAllInFolder(id, mFolder.string(), "alt+o");
                        }),
            kQXModalResponseOK);
  EXPECT_THAT(SortedURLs(panel), ElementsAre(Optional((mFolder / "a.txt").string()),
                                             Optional((mFolder / "b.txt").string()),
                                             Optional((mFolder / "c.txt").string())));
}

TEST_F(OpenPanelTest, EscapeClosingAndAClosedPanelAllCancelWithNoPicks) {
  QXOpenPanel escaped;
  ConfigureForUpload(escaped);
  EXPECT_EQ(RunWithUser(escaped, "Choose files and folders\u2026",
                        [&](const std::string& id) {
                          return Driver().Focus(id) && Driver().Key("Escape");
                        }),
            kQXModalResponseCancel);

  QXOpenPanel closed;
  ConfigureForUpload(closed);
  // What a window manager's close button sends.
  EXPECT_EQ(RunWhileModal(closed, [&] { gtk_window_close(closed.window()); }),
            kQXModalResponseCancel);
  EXPECT_TRUE(closed.URLs().empty());
  // The panel stays for its owner to close.
  ASSERT_NE(closed.window(), nullptr);
  EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(closed.window())));

  closed.close();
  EXPECT_EQ(closed.window(), nullptr);
  EXPECT_EQ(closed.runModal(), kQXModalResponseCancel);
  EXPECT_TRUE(closed.URLs().empty());
  EXPECT_EQ(closed.URL(), std::nullopt);
}

TEST_F(OpenPanelTest, FolderPanelReturnsOneTypedFolderEvenOneNotYetThere) {
  QXOpenPanel panel;
  panel.setCanCreateDirectories(true);
  panel.setCanChooseDirectories(true);
  panel.setCanChooseFiles(false);
  panel.setPrompt("Choose");
  panel.setTitle("Choose a folder");

  const std::string wanted = (mFolder / "new" / "deeper").string();
  EXPECT_EQ(RunWithUser(panel, "Choose a folder",
                        [&](const std::string& id) { return Driver().ChoosePath(id, wanted); }),
            kQXModalResponseOK);
  EXPECT_THAT(panel.URL(), Optional(wanted));
  EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(panel.window())),
            GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER);
  EXPECT_TRUE(gtk_file_chooser_get_create_folders(GTK_FILE_CHOOSER(panel.window())));
  EXPECT_FALSE(gtk_file_chooser_get_select_multiple(GTK_FILE_CHOOSER(panel.window())));
  EXPECT_THAT(ButtonLabels(panel.window()), ElementsAre("Cancel", "Choose"));
}

TEST_F(OpenPanelTest, EventsOfTheMainContextRunWhileThePanelIsOpen) {
  QXOpenPanel panel;
  ConfigureForUpload(panel);
  // Scheduled before the panel opens, as a bus message would be.
  bool delivered = false;
  g_timeout_add(
      0,
      [](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &delivered);
  bool deliveredWhileOpen = false;
  RunWhileModal(panel, [&] {
    deliveredWhileOpen = delivered;
    panel.ok();
  });
  EXPECT_TRUE(deliveredWhileOpen);
}

}  // namespace
