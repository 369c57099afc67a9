#include "tests/support/DialogDriver.h"

#include <chrono>
#include <functional>
#include <sstream>
#include <thread>

#include "tests/support/ChildProcess.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPoll = std::chrono::milliseconds(100);
// How long the pixels must stay unchanged to count as settled.
constexpr auto kQuiet = std::chrono::milliseconds(700);

bool PollUntil(int timeoutMs, const std::function<bool()>& done) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (done())
      return true;
    if (Clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(kPoll);
  }
}

// The value of a UTF8_STRING property as xprop prints it: name = "value".
std::string QuotedValue(const std::string& line) {
  const auto open = line.find('"');
  const auto close = line.rfind('"');
  if (open == std::string::npos || close <= open)
    return "";
  std::string value;
  for (size_t i = open + 1; i < close; ++i) {
    if (line[i] == '\\' && i + 1 < close)
      ++i;
    value += line[i];
  }
  return value;
}

}  // namespace

DialogDriver::DialogDriver(std::map<std::string, std::string> environment)
    : mEnvironment(std::move(environment)) {
  // xprop prints UTF-8 titles as they are only in a UTF-8 locale.
  mEnvironment["LC_ALL"] = "C.UTF-8";
}

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

bool DialogDriver::Fail(const std::string& what) {
  mLastError = what + (mLastError.empty() ? "" : " (" + mLastError + ")");
  return false;
}

std::optional<std::string> DialogDriver::WaitForWindow(const std::string& title, int timeoutMs) {
  std::optional<std::string> found;
  const bool shown = PollUntil(timeoutMs, [&] {
    auto ids = Run({"xdotool", "search", "--onlyvisible", "--name", ""});
    if (!ids)
      return false;
    std::istringstream lines(*ids);
    for (std::string id; std::getline(lines, id);) {
      if (!id.empty() && WindowTitle(id) == title) {
        found = id;
        return true;
      }
    }
    return false;
  });
  if (!shown)
    Fail("no window titled \"" + title + "\"");
  return found;
}

bool DialogDriver::WaitForWindowGone(const std::string& window, int timeoutMs) {
  const bool gone = PollUntil(timeoutMs, [&] {
    auto state = Run({"xwininfo", "-id", window});
    return !state || state->find("IsViewable") == std::string::npos;
  });
  return gone || Fail("window " + window + " still shown");
}

std::string DialogDriver::WindowTitle(const std::string& window) {
  auto line = Run({"xprop", "-id", window, "_NET_WM_NAME"});
  return line ? QuotedValue(*line) : "";
}

bool DialogDriver::IsKeptAbove(const std::string& window) {
  // Before a window manager takes over, the wish is in the client's own
  // state property.
  auto state = Run({"xprop", "-id", window, "_NET_WM_STATE"});
  return state && state->find("_NET_WM_STATE_ABOVE") != std::string::npos;
}

bool DialogDriver::Focus(const std::string& window) {
  return Run({"xdotool", "windowfocus", "--sync", window}).has_value();
}

bool DialogDriver::Key(const std::string& chords) {
  return Run({"xdotool", "key", "--clearmodifiers", "--delay", "60", chords}).has_value();
}

bool DialogDriver::Type(const std::string& text) {
  return Run({"xdotool", "type", "--delay", "20", text}, 60000).has_value();
}

bool DialogDriver::Click(const std::string& window, double x, double y) {
  auto geometry = Run({"xdotool", "getwindowgeometry", "--shell", window});
  if (!geometry)
    return false;
  int width = 0, height = 0;
  std::istringstream lines(*geometry);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("WIDTH=", 0) == 0)
      width = std::stoi(line.substr(6));
    if (line.rfind("HEIGHT=", 0) == 0)
      height = std::stoi(line.substr(7));
  }
  if (width <= 0 || height <= 0)
    return false;
  // A synced move to where the pointer already is can wait for a motion that
  // never comes: start from the screen's corner so there is always a move.
  if (!Run({"xdotool", "mousemove", "0", "0"}))
    return false;
  return Run({"xdotool", "mousemove", "--window", window, "--sync",
              std::to_string(static_cast<int>(width * x)),
              std::to_string(static_cast<int>(height * y)), "click", "1"})
      .has_value();
}

std::optional<std::string> DialogDriver::Snapshot(const std::string& window) {
  auto digest = Run({"sh", "-c", "import -silent -window \"$0\" rgb:- | md5sum", window});
  if (!digest || digest->size() < 32)
    return std::nullopt;
  return digest->substr(0, 32);
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

bool DialogDriver::Screenshot(const std::string& path) {
  return Run({"import", "-silent", "-window", "root", path}, 20000).has_value();
}

bool DialogDriver::TypeLocation(const std::string& window, const std::string& path) {
  if (!Key("ctrl+l") || !Type(path))
    return false;
  // The field completes names as they are typed; what it proposes is
  // selected text that Delete removes, once it has shown.
  return WaitUntilSettled(window, std::nullopt, 10000) && Key("Delete") && Key("Return");
}

bool DialogDriver::ChooseAllInFolder(const std::string& window, const std::string& folder,
                                     const std::string& confirmChord) {
  if (!Focus(window))
    return Fail("focus");
  if (!WaitUntilSettled(window, std::nullopt, 10000))
    return Fail("panel never settled");
  const auto before = Snapshot(window);
  // A trailing "/" makes the panel enter the folder rather than pick it.
  if (!TypeLocation(window, folder + "/"))
    return Fail("typing the folder");
  if (!WaitUntilSettled(window, before, 10000))
    return Fail("folder never shown");
  // Into the file list, then everything in it.
  return (Click(window, 0.6, 0.45) && Key("ctrl+a") && Key(confirmChord)) ||
         Fail("selecting and confirming");
}

bool DialogDriver::ChoosePath(const std::string& window, const std::string& path) {
  if (!Focus(window))
    return Fail("focus");
  if (!WaitUntilSettled(window, std::nullopt, 10000))
    return Fail("panel never settled");
  return TypeLocation(window, path) || Fail("typing the path");
}
