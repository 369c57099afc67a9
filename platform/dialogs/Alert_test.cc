#include "platform/dialogs/Alert.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "tests/support/GtkTestDisplay.h"

using ::testing::ElementsAre;

namespace {

constexpr char kTitle[] = "Quorvex Web Client";

std::vector<std::string> ButtonLabels(GtkWindow* window) {
  std::vector<std::string> labels;
  GtkWidget* any =
      gtk_dialog_get_widget_for_response(GTK_DIALOG(window), kQXAlertFirstButtonReturn);
  GList* children = gtk_container_get_children(GTK_CONTAINER(gtk_widget_get_parent(any)));
  for (GList* child = children; child; child = child->next)
    labels.push_back(gtk_button_get_label(GTK_BUTTON(child->data)));
  g_list_free(children);
  return labels;
}

std::string StringProperty(GtkWindow* window, const char* name) {
  g_autofree char* value = nullptr;
  g_object_get(window, name, &value, nullptr);
  return value ? value : "<none>";
}

class AlertTest : public GtkTestDisplay {
 protected:
  // The upload confirmation as the client builds it.
  void Build(QXAlert& alert, const std::string& message) {
    QXAlertButton& yes = alert.addButtonWithTitle("Add Files");
    yes.setAction([this, &alert] {
      ++mYes;
      alert.endModal(kQXAlertFirstButtonReturn);
    });
    alert.addButtonWithTitle("Cancel");
    alert.setMessageText(message);
    alert.setInformativeText("");
    alert.setAlertStyle(kQXWarningAlertStyle);
  }

  // Runs `alert` modally while a user presses `key` in it.
  long RunWithKey(QXAlert& alert, const char* key, bool* keptAbove = nullptr) {
    bool driven = false;
    std::thread user([&] {
      auto id = Driver().WaitForWindow(kTitle, kShowMs);
      if (keptAbove != nullptr)
        *keptAbove = id && Driver().IsKeptAbove(*id);
      driven = id && Driver().Focus(*id) && Driver().Key(key) &&
               Driver().WaitForWindowGone(*id, kGoneMs);
    });
    const long response = RunModal(alert);
    alert.orderOut();
    user.join();
    EXPECT_TRUE(driven) << Driver().LastError();
    return response;
  }

  int mYes = 0;
};

TEST_F(AlertTest, ShowsTheMessageAndButtonsFirstButtonRightmostAndDefault) {
  QXAlert alert;
  Build(alert, "Add 3 item(s) for sending?\n");
  GtkWindow* window = alert.window();

  EXPECT_EQ(StringProperty(window, "text"), "Add 3 item(s) for sending?\n");
  EXPECT_EQ(StringProperty(window, "secondary-text"), "<none>");
  EXPECT_THAT(ButtonLabels(window), ElementsAre("Cancel", "Add Files"));
  EXPECT_EQ(gtk_window_get_default_widget(window),
            gtk_dialog_get_widget_for_response(GTK_DIALOG(window), kQXAlertFirstButtonReturn));
  GtkMessageType type = GTK_MESSAGE_OTHER;
  g_object_get(window, "message-type", &type, nullptr);
  EXPECT_EQ(type, GTK_MESSAGE_WARNING);
  EXPECT_STREQ(gtk_window_get_title(window), kTitle);

  alert.setInformativeText("Details");
  EXPECT_EQ(StringProperty(window, "secondary-text"), "Details");
}

TEST_F(AlertTest, ReturnRunsTheFirstButtonsAction) {
  QXAlert alert;
  Build(alert, "Add 1 item(s) for sending?\n");
  bool keptAbove = false;
  EXPECT_EQ(RunWithKey(alert, "Return", &keptAbove), kQXAlertFirstButtonReturn);
  EXPECT_EQ(mYes, 1);
  EXPECT_TRUE(keptAbove);
}

TEST_F(AlertTest, EscapeAndTheSecondButtonDeclineWithoutTheAction) {
  QXAlert escaped;
  Build(escaped, "Add 2 item(s) for sending?\n");
  EXPECT_EQ(RunWithKey(escaped, "Escape"), kQXModalResponseCancel);
  QXAlert declined;
  Build(declined, "Add 2 item(s) for sending?\n");
  const long response = RunWhileModal(declined, [&] {
    gtk_button_clicked(GTK_BUTTON(gtk_dialog_get_widget_for_response(
        GTK_DIALOG(declined.window()), kQXAlertFirstButtonReturn + 1)));
  });
  EXPECT_EQ(response, kQXAlertFirstButtonReturn + 1);
  EXPECT_EQ(mYes, 0);
}

TEST_F(AlertTest, AnActionMayCloseTheWindowAndStillSetTheAnswer) {
  QXAlert alert;
  QXAlertButton& yes = alert.addButtonWithTitle("Add Files");
  yes.setAction([&] {
    alert.close();
    alert.endModal(kQXAlertFirstButtonReturn);
    alert.orderOut();
  });
  alert.addButtonWithTitle("Cancel");
  const long response = RunWhileModal(alert, [&] { gtk_button_clicked(yes.widget()); });
  EXPECT_EQ(response, kQXAlertFirstButtonReturn);
  EXPECT_EQ(alert.window(), nullptr);
}

}  // namespace
