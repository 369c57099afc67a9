#include "platform/app/Application.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace {

QXApplication* HeadlessApplication() {
  // Opening no display must leave the process faceless, and a locale asked
  // for by the environment must not replace the C locale.
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  setenv("LC_ALL", "C.UTF-8", 1);
  return QXApplication::sharedApplication();
}

}  // namespace

TEST(QXApplicationTest, HeadlessApplicationKeepsTheCLocaleAndRunsUntilStopped) {
  QXApplication* application = HeadlessApplication();
  ASSERT_NE(application, nullptr);
  EXPECT_EQ(application, QXApplication::sharedApplication());
  EXPECT_FALSE(application->hasDisplay());
  EXPECT_EQ(NSApp, nullptr);
  EXPECT_STREQ(setlocale(LC_ALL, nullptr), "C");
  EXPECT_EQ(application->mainWindow(), nullptr);

  // Run dispatches until stop, and a second run picks up where it stopped.
  struct Counter {
    QXApplication* application;
    int calls = 0;
  } counter{application};
  auto tick = [](gpointer data) -> gboolean {
    auto* state = static_cast<Counter*>(data);
    if (++state->calls == 3)
      state->application->stop();
    return G_SOURCE_CONTINUE;
  };

  guint source = g_timeout_add(1, tick, &counter);
  application->run();
  EXPECT_EQ(counter.calls, 3);
  counter.calls = 0;
  application->run();
  EXPECT_EQ(counter.calls, 3);
  g_source_remove(source);
}

TEST(QXApplicationDeathTest, TerminateEndsTheProcessWithoutUnwinding) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string marker = ::testing::TempDir() + "/qx-terminate-unwound";
  unlink(marker.c_str());
  struct UnwindMarker {
    std::string path;
    ~UnwindMarker() { fclose(fopen(path.c_str(), "w")); }
  };
  EXPECT_EXIT(
      {
        UnwindMarker unwound{marker};
        HeadlessApplication()->terminate();
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_NE(access(marker.c_str(), F_OK), 0) << "terminate() unwound the stack";
}
