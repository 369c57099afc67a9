#include "tests/support/DialogDriver.h"

#include <chrono>

#include "tests/support/ChildProcess.h"
#include "tests/support/WaylandDialogDriver.h"
#include "tests/support/X11DialogDriver.h"

namespace {

using Clock = std::chrono::steady_clock;
// How long the pixels must stay unchanged to count as settled.
constexpr auto kQuiet = std::chrono::milliseconds(700);
// How long a panel may take to draw itself or a folder on a loaded machine.
constexpr int kSettleTimeoutMs = 30000;

}  // namespace

std::unique_ptr<DialogDriver> DialogDriver::For(DesktopKind kind,
                                                std::map<std::string, std::string> environment) {
  if (kind == DesktopKind::kWayland)
    return std::make_unique<WaylandDialogDriver>(std::move(environment));
  return std::make_unique<X11DialogDriver>(std::move(environment));
}

DialogDriver::DialogDriver(std::map<std::string, std::string> environment)
    : mEnvironment(std::move(environment)) {}

std::optional<std::string> DialogDriver::Run(const std::vector<std::string>& argv, int timeoutMs) {
  ChildResult result = RunChild(argv, mEnvironment, timeoutMs);
  if (result.exitCode != 0) {
    std::string command;
    for (const auto& arg : argv)
      command += (command.empty() ? "" : " ") + arg;
    mLastError = command + ": exit code " + std::to_string(result.exitCode);
    return std::nullopt;
  }
  return result.output;
}

std::optional<std::string> DialogDriver::Digest(const std::string& pixels, const std::string& arg) {
  auto digest = Run({"sh", "-c", pixels + " | md5sum", arg});
  if (!digest || digest->size() < 32)
    return std::nullopt;
  return digest->substr(0, 32);
}

bool DialogDriver::Fail(const std::string& what) {
  mLastError = what + (mLastError.empty() ? "" : " (" + mLastError + ")");
  return false;
}

std::optional<std::string> DialogDriver::WaitForWindow(const std::string& title, int timeoutMs) {
  std::optional<std::string> found;
  if (!PollUntil(timeoutMs, [&] { return (found = FindWindow(title)).has_value(); }))
    Fail("no window titled \"" + title + "\"");
  return found;
}

bool DialogDriver::WaitForWindowGone(const std::string& window, int timeoutMs) {
  return PollUntil(timeoutMs, [&] { return !IsShown(window); }) ||
         Fail("window " + window + " still shown");
}

bool DialogDriver::WaitUntilSettled(const std::string& window,
                                    const std::optional<std::string>& before, int timeoutMs) {
  std::optional<std::string> last;
  auto stableSince = Clock::now();
  return PollUntil(timeoutMs, [&] {
    auto now = Snapshot(window);
    if (!now || (before && *now == *before))
      return false;
    if (!last || *now != *last) {
      last = now;
      stableSince = Clock::now();
      return false;
    }
    return Clock::now() - stableSince >= kQuiet;
  });
}

std::optional<std::string> DialogDriver::TypeLocation(const std::string& window,
                                                      const std::string& path) {
  // The field completes names as they are typed; what it proposes is
  // selected text that Delete removes, once it has shown.
  if (!Key("ctrl+l") || !Type(path) || !WaitUntilSettled(window, std::nullopt, kSettleTimeoutMs) ||
      !Key("Delete"))
    return std::nullopt;
  auto typed = Snapshot(window);
  if (!typed || !Key("Return"))
    return std::nullopt;
  return typed;
}

bool DialogDriver::ChooseAllInFolder(const std::string& window, const std::string& folder,
                                     const std::string& confirmChord) {
  if (!Focus(window))
    return Fail("focus");
  if (!WaitUntilSettled(window, std::nullopt, kSettleTimeoutMs))
    return Fail("panel never settled");
  // A trailing "/" makes the panel enter the folder rather than pick it.
  const auto typed = TypeLocation(window, folder + "/");
  if (!typed)
    return Fail("typing the folder");
  if (!WaitUntilSettled(window, typed, kSettleTimeoutMs))
    return Fail("folder never shown");
  if (!FocusFileList(window))
    return Fail("into the file list");
  // The folder's rows may still be on their way on a busy machine: wait for
  // the selection to show, then select again, so rows that came after the
  // first press are picked too.
  const auto shown = Snapshot(window);
  if (!Key("ctrl+a") || !WaitUntilSettled(window, shown, kSettleTimeoutMs))
    return Fail("nothing selected");
  return (Key("ctrl+a") && Key(confirmChord)) || Fail("selecting and confirming");
}

bool DialogDriver::ChoosePath(const std::string& window, const std::string& path) {
  if (!Focus(window))
    return Fail("focus");
  if (!WaitUntilSettled(window, std::nullopt, kSettleTimeoutMs))
    return Fail("panel never settled");
  return TypeLocation(window, path).has_value() || Fail("typing the path");
}
