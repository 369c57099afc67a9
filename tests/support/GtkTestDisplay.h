// A fixture for tests that show GTK windows in their own process: one
// virtual display and desktop session for the whole test program, GTK
// opened on it, a scratch folder per test and a driver for the user's part.
// Header only: the test programs that use it link GTK themselves.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "tests/support/DesktopSession.h"
#include "tests/support/VirtualDisplay.h"
#include "tests/support/X11DialogDriver.h"

class GtkTestDisplay : public ::testing::Test {
 public:
  // Bounds for a user waiting for a window to show and to go. A loaded
  // machine running the sanitizer build can take many seconds to show a
  // file chooser; only a failing test ever waits this long.
  static constexpr int kShowMs = 60000;
  static constexpr int kGoneMs = 30000;

 protected:
  void SetUp() override {
    ASSERT_TRUE(Session::Get().ok) << "no virtual display for GTK";
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
    if (!mScratch.empty())
      std::filesystem::remove_all(mScratch, ignored);
  }

  X11DialogDriver& Driver() { return *Session::Get().driver; }

  std::filesystem::path mScratch;

 private:
  // Started on first use, ended by the test program's environment teardown
  // (the display must close before its server goes).
  struct Session {
    std::unique_ptr<VirtualDisplay> display;
    std::unique_ptr<DesktopSession> desktop;
    std::unique_ptr<X11DialogDriver> driver;
    bool ok = false;

    static Session& Instance() {
      static Session session;
      return session;
    }
    static Session& Get() {
      Session& session = Instance();
      if (!session.display)
        session.Start();
      return session;
    }

    void Start() {
      display = std::make_unique<VirtualDisplay>();
      if (!display->Ok())
        return;
      desktop = std::make_unique<DesktopSession>(display->Environment());
      if (!desktop->Ok())
        return;
      for (const auto& [name, value] : desktop->Environment())
        setenv(name.c_str(), value.c_str(), 1);
      unsetenv("WAYLAND_DISPLAY");
      driver = std::make_unique<X11DialogDriver>(desktop->Environment());
      gtk_disable_setlocale();
      ok = gtk_init_check(nullptr, nullptr);
    }
  };

  struct Environment : ::testing::Environment {
    // GTK keeps its connection; nothing reads it once the tests are done.
    void TearDown() override {
      Session& session = Session::Instance();
      session.ok = false;
      session.driver.reset();
      session.desktop.reset();
      session.display.reset();
    }
  };

 public:
  static inline ::testing::Environment* const kEnvironment =
      ::testing::AddGlobalTestEnvironment(new Environment);
};
