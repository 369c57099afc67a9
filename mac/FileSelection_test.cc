// The client's native file selection: the upload panel, the download-folder
// panel and the confirmation alert, shown on a virtual display and answered
// from the keyboard, and their behaviour when there is no display.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "Common/testing/FakeWebClient.h"
#include "mac/QXWebClientBaseMac.h"
#include "platform/app/Application.h"
#include "tests/support/GtkTestDisplay.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

class SelectionClient : public Recording<CQXWebClientBaseMac> {
 public:
  using CQXWebClientBaseMac::AddFiles;
  void Log(const char*) override {}
  // The expansion is tested on its own; here only what reaches it counts.
  bool AddFiles(json_xwstringset& items) override { return added.push_back(Texts(items)), true; }
  std::string Location() const {
    const char* location = DownloadLocation();
    return location ? location : "<none>";
  }
  std::vector<Strings> added;
};

class FileSelectionTest : public GtkTestDisplay {
 protected:
  void SetUp() override {
    GtkTestDisplay::SetUp();
    ASSERT_NE(QXApplication::sharedApplication(), nullptr);
    ASSERT_NE(NSApp, nullptr);
    fs::create_directories(mScratch / "Photos");
    for (const char* name : {"a.txt", "b.txt", "Photos/d.jpg"})
      std::ofstream(mScratch / name) << name;
  }

  // Runs `request` while a user answers in the window titled `title` with
  // `keys`, or types a path into it, or types the path after "refused " and,
  // the panel still open a second later, the fresh folder; keeps the text of
  // a shown alert.
  template <typename Request>
  bool WithUser(const char* title, const std::string& keys, Request request) {
    bool driven = false;
    std::thread user([&] {
      auto id = Driver().WaitForWindow(title, kShowMs);
      driven = id &&
               (keys[0] == '/'   ? Driver().ChoosePath(*id, keys)
                : keys == "pick" ? Driver().ChooseAllInFolder(*id, mScratch, "alt+c")
                : keys.rfind("refused ", 0) == 0 ? Driver().ChoosePath(*id, keys.substr(8)) &&
                                                       !Driver().WaitForWindowGone(*id, 1000) &&
                                                       Driver().ChoosePath(*id, Fresh())
                                                 : Driver().Focus(*id) && Driver().Key(keys)) &&
               Driver().WaitForWindowGone(*id, kGoneMs);
    });
    struct Watch {
      std::string* message;
      gint64 end;
    } watch{&mMessage, g_get_monotonic_time() + gint64(2) * (kShowMs + kGoneMs) * 1000};
    const guint source = g_timeout_add(
        100,
        [](gpointer data) -> gboolean {
          auto* state = static_cast<Watch*>(data);
          GList* windows = gtk_window_list_toplevels();
          for (GList* item = windows; item; item = item->next) {
            if (GTK_IS_MESSAGE_DIALOG(item->data) &&
                gtk_widget_get_mapped(GTK_WIDGET(item->data))) {
              g_autofree char* text = nullptr;
              g_object_get(item->data, "text", &text, nullptr);
              *state->message = text;
            }
            // A user who never finds the window must not leave the request waiting.
            if (g_get_monotonic_time() > state->end)
              gtk_window_close(GTK_WINDOW(item->data));
          }
          g_list_free(windows);
          return G_SOURCE_CONTINUE;
        },
        &watch);
    const bool result = request();
    g_source_remove(source);
    user.join();
    EXPECT_TRUE(driven) << Driver().LastError();
    return result;
  }

  std::string Fresh() const { return (mScratch / "downloads" / "new").string(); }

  SelectionClient mClient;
  std::string mMessage;
};

TEST_F(FileSelectionTest, PickedItemsReachTheExpansionAsOneSetAndCancelAddsNothing) {
  const char* title = "Choose files and folders\u2026";
  EXPECT_TRUE(WithUser(title, "pick", [&] { return mClient.SelectFilesToUpload(); }));
  EXPECT_TRUE(WithUser(title, "Escape", [&] { return mClient.SelectFilesToUpload(); }));
  const std::string root = mScratch.string();
  EXPECT_EQ(mClient.added,
            (std::vector<Strings>{{root + "/a.txt", root + "/b.txt", root + "/Photos"}}));

  EXPECT_FALSE(mClient.AddArrayOfFiles({std::nullopt}));
  EXPECT_TRUE(mClient.AddArrayOfFiles({"/tmp/Zeta", std::nullopt, "/tmp/alpha", "/tmp/ZETA"}));
  EXPECT_EQ(mClient.added.back(), (Strings{"/tmp/alpha", "/tmp/Zeta"}));
}

TEST_F(FileSelectionTest, ChosenDownloadFolderIsStoredAndCreatedWhenMissing) {
  const char* title = "Choose a folder";
  const auto choose = [&] { return mClient.SelectDownloadLocation(); };
  const std::string fresh = Fresh();
  EXPECT_TRUE(WithUser(title, fresh, choose));
  EXPECT_TRUE(fs::is_directory(fresh));
  EXPECT_FALSE(WithUser(title, "Escape", choose));
  EXPECT_EQ(mClient.Location(), fresh);
  // A folder that cannot be created is still stored, but the choice fails.
  const std::string impossible = (mScratch / "a.txt" / "inside").string();
  EXPECT_FALSE(WithUser(title, impossible, choose));
  EXPECT_EQ(mClient.Location(), impossible);
  // A file is no folder to download into.
  EXPECT_TRUE(WithUser(title, "refused " + (mScratch / "a.txt").string(), choose));
  EXPECT_EQ(mClient.Location(), Fresh());
}

TEST_F(FileSelectionTest, ConfirmationCountsQueuedItemsAndAnswersYesOrNo) {
  json_xwstringset items;
  for (const char* item : {"/tmp/one", "/tmp/ONE", "/tmp/two"})
    items.insert(xwstring(item));
  const auto confirm = [&] { return mClient.VerifyFileSelection(items); };
  EXPECT_TRUE(WithUser("Quorvex Web Client", "Return", confirm));
  EXPECT_EQ(mMessage, "Add 2 item(s) for sending?\n");
  EXPECT_FALSE(WithUser("Quorvex Web Client", "Escape", confirm));
  EXPECT_TRUE(mClient.frames.empty());
}

TEST_F(FileSelectionTest, WithoutADisplayNothingIsShownAndNothingChanges) {
  QXApplication* application = NSApp;
  NSApp = nullptr;
  mClient.SetDownloadLocation(L"/tmp/earlier");
  json_xwstringset items;
  items.insert(xwstring("/tmp/one"));
  EXPECT_FALSE(mClient.SelectFilesToUpload());
  EXPECT_FALSE(mClient.SelectDownloadLocation());
  EXPECT_FALSE(mClient.VerifyFileSelection(items));
  NSApp = application;
  EXPECT_EQ(mClient.Location(), "/tmp/earlier");
  EXPECT_TRUE(mClient.added.empty());
}

}  // namespace
