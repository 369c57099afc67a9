// The client's native file selection: the upload panel, the download-folder
// panel and the confirmation alert, shown on a virtual display and answered
// from the keyboard, and their behaviour when there is no display.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "Common/testing/FakeWebClient.h"
#include "mac/QXWebClientBaseMac.h"
#include "platform/app/Application.h"
#include "tests/support/GtkTestDisplay.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr char kUploadTitle[] = "Choose files and folders\u2026";
constexpr char kFolderTitle[] = "Choose a folder";
constexpr char kAlertTitle[] = "Quorvex Web Client";

// The toolkit's windows that are on screen.
std::vector<GtkWindow*> ShownWindows() {
  std::vector<GtkWindow*> shown;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item; item = item->next)
    if (gtk_widget_get_mapped(GTK_WIDGET(item->data)))
      shown.push_back(GTK_WINDOW(item->data));
  g_list_free(windows);
  return shown;
}

class SelectionClient : public CQXWebClientBaseMac {
 public:
  using CQXWebClientBaseMac::AddFiles;

  SelectionClient() { CreateLogger(); }
  bool NotifyBrowser(const char* text) override {
    frames.emplace_back(text);
    return true;
  }
  void Log(const char*) override {}
  void CreateLogger() override { mLogger = new testing_support::RecordingLogger(records); }
  // The expansion is tested on its own; here only what reaches it counts.
  bool AddFiles(json_xwstringset& items) override {
    added.emplace_back();
    for (const xwstring& item : items)
      added.back().emplace_back(static_cast<const char*>(item));
    return addResult;
  }

  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    for (const auto& record : records)
      texts.push_back(record.second);
    return texts;
  }
  std::string Location() const {
    const char* text = DownloadLocation();
    return text ? text : "<none>";
  }

  std::vector<std::string> frames;
  std::vector<std::pair<std::string, std::string>> records;
  std::vector<std::vector<std::string>> added;
  bool addResult = true;
};

class FileSelectionTest : public GtkTestDisplay {
 protected:
  void SetUp() override {
    GtkTestDisplay::SetUp();
    ASSERT_NE(QXApplication::sharedApplication(), nullptr);
    ASSERT_NE(NSApp, nullptr);
    mPick = mScratch / "pick";
    fs::create_directories(mPick / "Photos" / "Trip");
    for (const char* name : {"a.txt", "b.txt", "c.txt", "Photos/Trip/d.jpg"})
      std::ofstream(mPick / name) << name;
  }

  // Runs `request` while a user answers with `answer` in the window titled
  // `title`; fails the test when the user part could not be played.
  template <typename Request>
  auto WithUser(const std::string& title, std::function<bool(const std::string&)> answer,
                Request request) {
    bool driven = false;
    std::thread user([&] {
      auto id = Driver().WaitForWindow(title, kShowMs);
      driven = id && answer(*id) && Driver().WaitForWindowGone(*id, kGoneMs);
    });
    // A user who never finds the window must not leave the request waiting.
    const guint rescue = g_timeout_add_seconds(
        2 * (kShowMs + kGoneMs) / 1000,
        [](gpointer) -> gboolean {
          for (GtkWindow* window : ShownWindows())
            gtk_window_close(window);
          return G_SOURCE_CONTINUE;
        },
        nullptr);
    auto result = request();
    g_source_remove(rescue);
    user.join();
    EXPECT_TRUE(driven) << Driver().LastError();
    return result;
  }

  fs::path mPick;
  SelectionClient mClient;
};

TEST_F(FileSelectionTest, PickedItemsReachTheExpansionAsOneSetAndCancelAddsNothing) {
  EXPECT_TRUE(WithUser(
      kUploadTitle,
      [&](const std::string& id) { return Driver().ChooseAllInFolder(id, mPick, "alt+c"); },
      [&] { return mClient.SelectFilesToUpload(); }));
  ASSERT_EQ(mClient.added.size(), 1u);
  EXPECT_THAT(mClient.added[0],
              ElementsAre((mPick / "a.txt").string(), (mPick / "b.txt").string(),
                          (mPick / "c.txt").string(), (mPick / "Photos").string()));
  EXPECT_THAT(mClient.LogTexts(), ElementsAre("SelectFilesToUpload", "Selected Files"));

  // Cancelling adds nothing and still succeeds.
  mClient.records.clear();
  EXPECT_TRUE(WithUser(
      kUploadTitle,
      [&](const std::string& id) { return Driver().Focus(id) && Driver().Key("Escape"); },
      [&] { return mClient.SelectFilesToUpload(); }));
  EXPECT_EQ(mClient.added.size(), 1u);
  EXPECT_THAT(mClient.frames, IsEmpty());
  EXPECT_THAT(mClient.LogTexts(), ElementsAre("SelectFilesToUpload", "Selected Files"));
}

TEST_F(FileSelectionTest, AddArrayOfFilesSkipsPathlessItemsAndCaseDuplicates) {
  EXPECT_FALSE(mClient.AddArrayOfFiles({}));
  EXPECT_FALSE(mClient.AddArrayOfFiles({std::nullopt}));
  EXPECT_THAT(mClient.added, IsEmpty());

  mClient.addResult = false;
  EXPECT_FALSE(mClient.AddArrayOfFiles({"/tmp/Zeta", std::nullopt, "/tmp/alpha", "/tmp/ZETA"}));
  ASSERT_EQ(mClient.added.size(), 1u);
  // The set orders its paths; of two equal ignoring case the first stays.
  EXPECT_THAT(mClient.added[0], ElementsAre("/tmp/alpha", "/tmp/Zeta"));

  mClient.addResult = true;
  EXPECT_TRUE(mClient.AddArrayOfFiles({"/tmp/\xff-not-utf8"}));
  EXPECT_THAT(mClient.added[1], ElementsAre("/tmp/\xff-not-utf8"));
}

TEST_F(FileSelectionTest, ChosenDownloadFolderIsStoredAndCreatedWhenMissing) {
  const std::string fresh = (mScratch / "downloads" / "new").string();
  EXPECT_TRUE(WithUser(
      kFolderTitle, [&](const std::string& id) { return Driver().ChoosePath(id, fresh); },
      [&] { return mClient.SelectDownloadLocation(); }));
  EXPECT_EQ(mClient.Location(), fresh);
  EXPECT_TRUE(fs::is_directory(fresh));

  // Choosing an existing folder replaces the location.
  EXPECT_TRUE(WithUser(
      kFolderTitle, [&](const std::string& id) { return Driver().ChoosePath(id, mPick.string()); },
      [&] { return mClient.SelectDownloadLocation(); }));
  EXPECT_EQ(mClient.Location(), mPick.string());

  // Cancelling keeps it.
  EXPECT_FALSE(WithUser(
      kFolderTitle,
      [&](const std::string& id) { return Driver().Focus(id) && Driver().Key("Escape"); },
      [&] { return mClient.SelectDownloadLocation(); }));
  EXPECT_EQ(mClient.Location(), mPick.string());
  EXPECT_THAT(mClient.frames, IsEmpty());
  EXPECT_THAT(mClient.LogTexts(), IsEmpty());

  // A folder that cannot be created is still stored, but the choice fails.
  const std::string impossible = (mPick / "a.txt" / "inside").string();
  EXPECT_FALSE(WithUser(
      kFolderTitle, [&](const std::string& id) { return Driver().ChoosePath(id, impossible); },
      [&] { return mClient.SelectDownloadLocation(); }));
  EXPECT_EQ(mClient.Location(), impossible);
}

TEST_F(FileSelectionTest, ConfirmationCountsQueuedItemsAndAnswersYesOrNo) {
  json_xwstringset items;
  items.insert(xwstring("/tmp/one"));
  items.insert(xwstring("/tmp/ONE"));
  items.insert(xwstring(mPick.string().c_str()));

  std::string message = "<not shown>";
  // Read from inside the modal run, the way the user sees it.
  const guint peek = g_timeout_add(
      100,
      [](gpointer text) -> gboolean {
        for (GtkWindow* window : ShownWindows()) {
          if (!GTK_IS_MESSAGE_DIALOG(window))
            continue;
          g_autofree char* shown = nullptr;
          g_object_get(window, "text", &shown, nullptr);
          *static_cast<std::string*>(text) = shown;
          return G_SOURCE_REMOVE;
        }
        return G_SOURCE_CONTINUE;
      },
      &message);
  const bool confirmed = WithUser(
      kAlertTitle,
      [&](const std::string& id) { return Driver().Focus(id) && Driver().Key("Return"); },
      [&] { return mClient.VerifyFileSelection(items); });
  if (message == "<not shown>")
    g_source_remove(peek);

  EXPECT_TRUE(confirmed);
  EXPECT_EQ(message, "Add 2 item(s) for sending?\n");

  // Declining answers false.
  EXPECT_FALSE(WithUser(
      kAlertTitle,
      [&](const std::string& id) { return Driver().Focus(id) && Driver().Key("Escape"); },
      [&] { return mClient.VerifyFileSelection(items); }));
  EXPECT_THAT(mClient.frames, IsEmpty());
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

  EXPECT_THAT(mClient.LogTexts(), ElementsAre("SelectFilesToUpload", "Could not select files!!!!"));
  EXPECT_EQ(mClient.Location(), "/tmp/earlier");
  EXPECT_THAT(mClient.added, IsEmpty());
  EXPECT_THAT(mClient.frames, IsEmpty());
  EXPECT_THAT(ShownWindows(), IsEmpty());
}

}  // namespace
