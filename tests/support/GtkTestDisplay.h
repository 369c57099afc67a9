// A fixture for tests that show GTK windows in their own process: one
// virtual display and desktop session for the whole test program, GTK
// opened on it, a scratch folder per test and a driver for the user's part.
// Header only: the test programs that use it link GTK themselves.
#pragma once

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "platform/dialogs/ModalWindow.h"
#include "tests/support/DesktopSession.h"
#include "tests/support/VirtualDisplay.h"
#include "tests/support/X11DialogDriver.h"

class GtkTestDisplay : public ::testing::Test {
 public:
  // What a modal run gives when the test had to end it.
  static constexpr long kTimedOut = -99;
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

  // Runs `window` modally; ends it with kTimedOut when nobody answered in time.
  static long RunModal(QXModalWindow& window, int deadlineMs = 2 * (kShowMs + kGoneMs)) {
    struct Deadline {
      QXModalWindow* window;
      bool hit = false;
    } deadline{&window};
    const guint source = g_timeout_add(
        static_cast<guint>(deadlineMs),
        [](gpointer data) -> gboolean {
          auto* state = static_cast<Deadline*>(data);
          state->hit = true;
          state->window->endModal(kTimedOut);
          return G_SOURCE_REMOVE;
        },
        &deadline);
    const long response = window.runModal();
    if (!deadline.hit)
      g_source_remove(source);
    EXPECT_FALSE(deadline.hit) << "the dialog was not answered within " << deadlineMs << " ms";
    return response;
  }

  // Runs `window` modally and calls `inside` once it is on screen, from
  // within the modal loop; `inside` must end the run.
  static long RunWhileModal(QXModalWindow& window, std::function<void()> inside) {
    struct Pending {
      QXModalWindow* window;
      std::function<void()> inside;
    } pending{&window, std::move(inside)};
    const guint source = g_timeout_add(
        50,
        [](gpointer data) -> gboolean {
          auto* state = static_cast<Pending*>(data);
          GtkWindow* shown = state->window->window();
          if (shown && !gtk_widget_get_mapped(GTK_WIDGET(shown)))
            return G_SOURCE_CONTINUE;
          state->inside();
          state->inside = nullptr;
          return G_SOURCE_REMOVE;
        },
        &pending);
    const long response = RunModal(window, kShowMs + kGoneMs);
    if (pending.inside)
      g_source_remove(source);
    return response;
  }

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

    void Stop() {
      // GTK keeps its connection; nothing reads it once the tests are done.
      ok = false;
      driver.reset();
      desktop.reset();
      display.reset();
    }
  };

  struct Environment : ::testing::Environment {
    void TearDown() override { Session::Instance().Stop(); }
  };

 public:
  static inline ::testing::Environment* const kEnvironment =
      ::testing::AddGlobalTestEnvironment(new Environment);
};
