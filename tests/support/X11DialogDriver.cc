#include "tests/support/X11DialogDriver.h"

#include <sstream>

namespace {

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

// xprop prints UTF-8 titles as they are only in a UTF-8 locale.
std::map<std::string, std::string> InUtf8Locale(std::map<std::string, std::string> environment) {
  environment["LC_ALL"] = "C.UTF-8";
  return environment;
}

}  // namespace

X11DialogDriver::X11DialogDriver(std::map<std::string, std::string> environment)
    : DialogDriver(InUtf8Locale(std::move(environment))) {}

std::optional<std::string> X11DialogDriver::FindWindow(const std::string& title) {
  auto ids = Run({"xdotool", "search", "--onlyvisible", "--name", ""});
  if (!ids)
    return std::nullopt;
  std::istringstream lines(*ids);
  for (std::string id; std::getline(lines, id);) {
    if (!id.empty() && WindowTitle(id) == title)
      return id;
  }
  return std::nullopt;
}

bool X11DialogDriver::IsShown(const std::string& window) {
  auto state = Run({"xwininfo", "-id", window});
  return state && state->find("IsViewable") != std::string::npos;
}

std::string X11DialogDriver::WindowTitle(const std::string& window) {
  auto line = Run({"xprop", "-id", window, "_NET_WM_NAME"});
  return line ? QuotedValue(*line) : "";
}

bool X11DialogDriver::IsKeptAbove(const std::string& window) {
  // Before a window manager takes over, the wish is in the client's own
  // state property.
  auto state = Run({"xprop", "-id", window, "_NET_WM_STATE"});
  return state && state->find("_NET_WM_STATE_ABOVE") != std::string::npos;
}

bool X11DialogDriver::Focus(const std::string& window) {
  return Run({"xdotool", "windowfocus", "--sync", window}).has_value();
}

bool X11DialogDriver::Key(const std::string& chord) {
  return Run({"xdotool", "key", "--clearmodifiers", "--delay", "60", chord}).has_value();
}

bool X11DialogDriver::Type(const std::string& text) {
  return Run({"xdotool", "type", "--delay", "20", text}, 60000).has_value();
}

bool X11DialogDriver::Click(const std::string& window, double x, double y) {
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

std::optional<std::string> X11DialogDriver::Snapshot(const std::string& window) {
  return Digest("import -silent -window \"$0\" rgb:-", window);
}

bool X11DialogDriver::Screenshot(const std::string& path) {
  return Run({"import", "-silent", "-window", "root", path}, 20000).has_value();
}
