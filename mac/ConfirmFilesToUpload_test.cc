// The confirmation alert, shown on a virtual display of its own: what it
// asks, and which answer adds the files. The keys a user presses on it are
// the end-to-end dialog tests' part.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "Common/testing/FakeWebClient.h"
#include "mac/QXWebClientBaseMac.h"
#include "platform/app/Application.h"
#include "tools/desktop/Desktop.h"

namespace {

// Ended by the test program's environment teardown: GTK must be done with
// the display before its server goes.
struct VirtualDisplay : ::testing::Environment {
  std::unique_ptr<Desktop> desktop = std::make_unique<Desktop>();
  void TearDown() override { desktop.reset(); }
};

struct Watch {
  bool accept;
  std::string text;
};

// Once the alert shows, keeps its text and accepts it as Return would, by
// its default button, or closes it.
gboolean AnswerAlert(gpointer data) {
  auto* watch = static_cast<Watch*>(data);
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item && watch->text.empty(); item = item->next) {
    if (!GTK_IS_MESSAGE_DIALOG(item->data) || !gtk_widget_get_mapped(GTK_WIDGET(item->data)))
      continue;
    g_autofree char* text = nullptr;
    g_object_get(item->data, "text", &text, nullptr);
    watch->text = text;
    if (watch->accept)
      gtk_window_activate_default(GTK_WINDOW(item->data));
    else
      gtk_window_close(GTK_WINDOW(item->data));
  }
  g_list_free(windows);
  return G_SOURCE_CONTINUE;
}

class Client : public testing_support::Recording<CQXWebClientBaseMac> {
  void Log(const char*) override {}
};

TEST(ConfirmFilesToUpload, CountsTheQueuedItemsAndOnlyItsDefaultButtonAdds) {
  auto* display = new VirtualDisplay;
  ::testing::AddGlobalTestEnvironment(display);
  ASSERT_TRUE(display->desktop->Ok());
  for (const auto& [name, value] : display->desktop->Environment())
    setenv(name.c_str(), value.c_str(), 1);
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
  ASSERT_NE(QXApplication::sharedApplication(), nullptr);

  Client client;
  json_xwstringset items;
  for (const char* item : {"/tmp/one", "/tmp/ONE", "/tmp/two"})
    items.insert(xwstring(item));
  for (const bool accept : {true, false}) {
    Watch watch{accept, {}};
    const guint source = g_timeout_add(50, AnswerAlert, &watch);
    EXPECT_EQ(client.VerifyFileSelection(items), accept);
    g_source_remove(source);
    EXPECT_EQ(watch.text, "Add 2 item(s) for sending?\n");
  }
}

}  // namespace
