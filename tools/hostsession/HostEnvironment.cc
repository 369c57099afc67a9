#include "tools/hostsession/HostEnvironment.h"

#include <cstring>

extern char** environ;

EnvironmentChanges FacelessHostChanges() {
  return {{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent-qx-bus"},
          {"DISPLAY", std::nullopt},
          {"WAYLAND_DISPLAY", std::nullopt},
          {"NO_AT_BRIDGE", "1"}};
}

std::vector<std::string> ChangedEnvironment(const EnvironmentChanges& changes) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const char* equals = strchr(*entry, '=');
    if (equals != nullptr)
      variables[std::string(*entry, static_cast<size_t>(equals - *entry))] = equals + 1;
  }
  for (const auto& [name, value] : changes) {
    if (value)
      variables[name] = *value;
    else
      variables.erase(name);
  }
  std::vector<std::string> entries;
  for (const auto& [name, value] : variables)
    entries.push_back(name + "=" + value);
  return entries;
}
