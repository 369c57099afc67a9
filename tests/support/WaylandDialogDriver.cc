#include "tests/support/WaylandDialogDriver.h"

#include <memory>

namespace {

struct JsonPut {
  void operator()(json_object* object) const { json_object_put(object); }
};

// A member as text ("" when absent): numbers and booleans as JSON writes them.
std::string Member(json_object* node, const char* name) {
  json_object* value = nullptr;
  if (!json_object_object_get_ex(node, name, &value) || value == nullptr)
    return "";
  return json_object_get_string(value);
}

json_object* FindNode(json_object* node, const std::function<bool(json_object*)>& match) {
  if (match(node))
    return node;
  for (const char* children : {"nodes", "floating_nodes"}) {
    json_object* list = nullptr;
    if (!json_object_object_get_ex(node, children, &list))
      continue;
    for (size_t i = 0; i < json_object_array_length(list); ++i) {
      if (json_object* found = FindNode(json_object_array_get_idx(list, i), match))
        return found;
    }
  }
  return nullptr;
}

}  // namespace

WaylandDialogDriver::WaylandDialogDriver(std::map<std::string, std::string> environment)
    : DialogDriver(std::move(environment)) {}

std::optional<WaylandDialogDriver::Window> WaylandDialogDriver::Find(
    const std::function<bool(json_object*)>& match) {
  auto tree = Run({"swaymsg", "-r", "-t", "get_tree"});
  if (!tree)
    return std::nullopt;
  std::unique_ptr<json_object, JsonPut> root(json_tokener_parse(tree->c_str()));
  // Only windows have a process; outputs and workspaces are nodes too.
  json_object* node = FindNode(root.get(), [&](json_object* candidate) {
    return !Member(candidate, "pid").empty() && Member(candidate, "visible") == "true" &&
           match(candidate);
  });
  if (node == nullptr)
    return std::nullopt;
  json_object* rect = nullptr;
  json_object_object_get_ex(node, "rect", &rect);
  return Window{Member(node, "id"), Member(rect, "x") + "," + Member(rect, "y") + " " +
                                        Member(rect, "width") + "x" + Member(rect, "height")};
}

std::optional<std::string> WaylandDialogDriver::FindWindow(const std::string& title) {
  auto window = Find([&](json_object* node) { return Member(node, "name") == title; });
  return window ? std::optional<std::string>(window->id) : std::nullopt;
}

bool WaylandDialogDriver::IsShown(const std::string& window) {
  return Find([&](json_object* node) { return Member(node, "id") == window; }).has_value();
}

bool WaylandDialogDriver::Focus(const std::string& window) {
  return Run({"swaymsg", "[con_id=" + window + "]", "focus"}).has_value();
}

// GTK never matches a key binding on the highest keycode of a keymap, and
// wtype's keymap holds only the keys it types: one more key that is never
// pressed comes last.
bool WaylandDialogDriver::Wtype(std::vector<std::string> args, int timeoutMs) {
  args.insert(args.begin(), "wtype");
  args.insert(args.end(), {"-p", "VoidSymbol"});
  return Run(args, timeoutMs).has_value();
}

bool WaylandDialogDriver::Key(const std::string& chord) {
  std::vector<std::string> modifiers;
  size_t start = 0;
  for (size_t plus; (plus = chord.find('+', start)) != std::string::npos; start = plus + 1)
    modifiers.push_back(chord.substr(start, plus - start));
  std::vector<std::string> args;
  for (const auto& modifier : modifiers)
    args.insert(args.end(), {"-M", modifier});
  args.insert(args.end(), {"-k", chord.substr(start)});
  for (auto modifier = modifiers.rbegin(); modifier != modifiers.rend(); ++modifier)
    args.insert(args.end(), {"-m", *modifier});
  return Wtype(args);
}

bool WaylandDialogDriver::Type(const std::string& text) {
  return Wtype({"-d", "20", text}, 60000);
}

std::optional<std::string> WaylandDialogDriver::Snapshot(const std::string& window) {
  auto found = Find([&](json_object* node) { return Member(node, "id") == window; });
  if (!found)
    return std::nullopt;
  return Digest("grim -g \"$0\" -t ppm -", found->geometry);
}

bool WaylandDialogDriver::Screenshot(const std::string& path) {
  return Run({"grim", path}, 20000).has_value();
}
