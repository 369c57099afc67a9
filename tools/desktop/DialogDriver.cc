#include "tools/desktop/DialogDriver.h"

#include <chrono>
#include <sstream>

namespace {

// How long the pixels must stay unchanged to count as settled.
constexpr auto kQuiet = std::chrono::milliseconds(700);
// How long a panel may take to draw itself or a folder on a loaded machine.
constexpr int kSettleTimeoutMs = 30000;

// sway's criteria for a window by its title, taken as a regular expression:
// the dialogs' titles hold no character special to one.
std::string Titled(const std::string& title) {
  return "[title=\"^" + title + "$\"]";
}

// GTK never matches a key binding on the highest keycode of a keymap, and
// wtype's keymap holds only the keys it types: one more key, never pressed,
// comes last.
std::vector<std::string> WithSpareKey(std::vector<std::string> args) {
  args.insert(args.end(), {"-p", "VoidSymbol"});
  return args;
}

}  // namespace

DialogDriver::DialogDriver(Variables environment, DesktopKind kind)
    : mWayland(kind == DesktopKind::kWayland), mEnvironment(std::move(environment)) {
  // xprop prints UTF-8 titles as they are only in a UTF-8 locale.
  mEnvironment["LC_ALL"] = "C.UTF-8";
}

std::optional<std::string> DialogDriver::WaitForWindow(const std::string& title, int timeoutMs) {
  std::optional<std::string> found;
  if (!PollUntil(timeoutMs, [&] { return (found = FindWindow(title)).has_value(); }))
    Fail("no window titled \"" + title + "\"");
  return found;
}

bool DialogDriver::WaitForWindowGone(const std::string& window, int timeoutMs) {
  return PollUntil(timeoutMs, [&] { return !IsShown(window); }) || Fail(window + " still shown");
}

bool DialogDriver::Focus(const std::string& window) {
  return (mWayland ? Run({"swaymsg", Titled(window), "focus"})
                   : Run({"xdotool", "windowfocus", "--sync", window}))
      .has_value();
}

bool DialogDriver::Key(const std::string& chord) {
  if (!mWayland)
    return Run({"xdotool", "key", "--clearmodifiers", "--delay", "60", chord}).has_value();
  std::vector<std::string> modifiers, args = {"wtype"};
  size_t start = 0;
  for (size_t plus; (plus = chord.find('+', start)) != std::string::npos; start = plus + 1)
    modifiers.push_back(chord.substr(start, plus - start));
  for (const auto& modifier : modifiers)
    args.insert(args.end(), {"-M", modifier});
  args.insert(args.end(), {"-k", chord.substr(start)});
  for (auto modifier = modifiers.rbegin(); modifier != modifiers.rend(); ++modifier)
    args.insert(args.end(), {"-m", *modifier});
  return Run(WithSpareKey(args)).has_value();
}

bool DialogDriver::ChooseAll(const std::string& window, const std::string& confirmChord) {
  // The folder's rows may still be on their way on a busy machine: wait for
  // the selection to show, then select again, so rows that came after the
  // first press are picked too.
  const auto shown = ReadyPanel(window) ? Snapshot() : std::nullopt;
  if (!shown || !Key("ctrl+a") || !WaitUntilSettled(shown))
    return Fail("nothing selected");
  return (Key("ctrl+a") && Key(confirmChord)) || Fail("selecting and confirming");
}

bool DialogDriver::ChoosePath(const std::string& window, const std::string& path) {
  return (ReadyPanel(window) && TypeLocation(path)) || Fail("typing the path");
}

std::optional<std::string> DialogDriver::Run(const std::vector<std::string>& argv, int timeoutMs) {
  ChildResult result = RunChild(argv, mEnvironment, timeoutMs);
  if (result.exitCode == 0)
    return result.output;
  mLastError = argv[0] + " " + argv[1] + ": exit code " + std::to_string(result.exitCode);
  return std::nullopt;
}

std::optional<std::string> DialogDriver::FindWindow(const std::string& title) {
  if (mWayland)
    return IsShown(title) ? std::optional<std::string>(title) : std::nullopt;
  std::istringstream lines(Run({"sh", "-c",
                                "for id in $(xdotool search --onlyvisible --name ''); do "
                                "printf '%s ' $id; xprop -id $id _NET_WM_NAME; done"})
                               .value_or(""));
  const std::string ending = "= \"" + title + "\"";
  for (std::string line; std::getline(lines, line);)
    if (line.size() > ending.size() &&
        line.compare(line.size() - ending.size(), ending.size(), ending) == 0)
      return line.substr(0, line.find(' '));
  return std::nullopt;
}

bool DialogDriver::IsShown(const std::string& window) {
  if (mWayland)
    return RunChild({"swaymsg", Titled(window), "nop"}, mEnvironment, 10000).exitCode == 0;
  auto state = Run({"xwininfo", "-id", window});
  return state && state->find("IsViewable") != std::string::npos;
}

std::optional<std::string> DialogDriver::Snapshot() {
  return Run({"sh", "-c",
              mWayland ? "grim -t ppm - | md5sum" : "import -silent -window root rgb:- | md5sum"});
}

bool DialogDriver::WaitUntilSettled(const std::optional<std::string>& before) {
  std::optional<std::string> last;
  auto stableSince = std::chrono::steady_clock::now();
  return PollUntil(kSettleTimeoutMs, [&] {
    auto now = Snapshot();
    if (!now || (before && *now == *before))
      return false;
    if (!last || *now != *last) {
      last = now;
      stableSince = std::chrono::steady_clock::now();
      return false;
    }
    return std::chrono::steady_clock::now() - stableSince >= kQuiet;
  });
}

bool DialogDriver::ReadyPanel(const std::string& window) {
  return (Focus(window) && WaitUntilSettled(std::nullopt)) || Fail("panel never settled");
}

// Types `path` into the location field and presses Return; the snapshot from
// just before Return. The field completes names as they are typed; what it
// proposes is selected text that Delete removes, once it shows.
std::optional<std::string> DialogDriver::TypeLocation(const std::string& path) {
  if (!Key("ctrl+l") ||
      !(mWayland ? Run(WithSpareKey({"wtype", "-d", "20", path}))
                 : Run({"xdotool", "type", "--delay", "20", path})) ||
      !WaitUntilSettled(std::nullopt) || !Key("Delete"))
    return std::nullopt;
  auto before = Snapshot();
  return before && Key("Return") ? before : std::nullopt;
}

bool DialogDriver::Fail(const std::string& what) {
  mLastError = what + (mLastError.empty() ? "" : " (" + mLastError + ")");
  return false;
}
