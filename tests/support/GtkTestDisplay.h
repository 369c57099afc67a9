// A fixture for tests that show GTK windows in their own process: one
// virtual desktop for the whole test program, GTK opened on it, a scratch
// folder per test and a driver for the user's part. Header only: the test
// programs that use it link GTK themselves.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "tests/support/Desktop.h"
#include "tests/support/DialogDriver.h"

class GtkTestDisplay : public ::testing::Test {
 public:
  // Bounds for a user waiting for a window to show and to go. A loaded
  // machine running the sanitizer build can take many seconds to show a
  // file chooser; only a failing test ever waits this long.
  static constexpr int kShowMs = 60000;
  static constexpr int kGoneMs = 30000;

 protected:
  void SetUp() override {
    ASSERT_TRUE(Session().driver) << "no virtual display for GTK";
    char pattern[] = "/tmp/qx-dialogs-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    mScratch = pattern;
  }

  void TearDown() override {
    // Windows of this test leave the server before the next test looks.
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    gdk_display_sync(gdk_display_get_default());
    std::error_code ignored;
    std::filesystem::remove_all(mScratch, ignored);
  }

  DialogDriver& Driver() { return *Session().driver; }

  std::filesystem::path mScratch;

 private:
  // Started on first use and ended by the test program's environment
  // teardown: the display must close before its server goes. GTK keeps its
  // connection; nothing reads it once the tests are done.
  struct Shared : ::testing::Environment {
    std::unique_ptr<Desktop> desktop;
    std::unique_ptr<DialogDriver> driver;
    void TearDown() override {
      driver.reset();
      desktop.reset();
    }
  };
  static Shared& Session() {
    static Shared* const shared = [] {
      auto* session = new Shared;
      ::testing::AddGlobalTestEnvironment(session);
      session->desktop = std::make_unique<Desktop>();
      if (!session->desktop->Ok())
        return session;
      for (const auto& [name, value] : session->desktop->Environment())
        setenv(name.c_str(), value.c_str(), 1);
      unsetenv("WAYLAND_DISPLAY");
      gtk_disable_setlocale();
      if (gtk_init_check(nullptr, nullptr))
        session->driver = std::make_unique<DialogDriver>(session->desktop->Environment());
      return session;
    }();
    return *shared;
  }
};
