#include "platform/dialogs/ProgressWindow.h"

#include "platform/app/Application.h"
#include "tests/support/GtkTestDisplay.h"

namespace {

constexpr char kTitle[] = "Adding files\u2026";

bool Shown() {
  GList* windows = gtk_window_list_toplevels();
  bool shown = false;
  for (GList* window = windows; window; window = window->next) {
    shown = shown || (gtk_widget_get_visible(GTK_WIDGET(window->data)) &&
                      g_strcmp0(gtk_window_get_title(GTK_WINDOW(window->data)), kTitle) == 0);
  }
  g_list_free(windows);
  return shown;
}

class ProgressWindowTest : public GtkTestDisplay {};

TEST_F(ProgressWindowTest, ShowsOnlyOnceTheWorkHasTakenASecond) {
  ASSERT_TRUE(QXApplication::sharedApplication()->hasDisplay());
  QXProgressWindow progress(kTitle, "files found");
  for (size_t done = 0; done < 1000; ++done)
    ASSERT_TRUE(progress.update(done));
  EXPECT_FALSE(Shown());
  g_usleep(G_USEC_PER_SEC * 11 / 10);
  EXPECT_TRUE(progress.update(1000));
  EXPECT_TRUE(Shown());
}

}  // namespace
