// The environment a host is started with.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// Changes to this process's environment: a value sets the variable, nullopt
// removes it.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

// A faceless host: no display to open its panels on and a session bus that
// cannot be reached, so that a run never talks to the desktop session by
// accident.
EnvironmentChanges FacelessHostChanges();

// This process's environment with `changes` applied, as "NAME=value" entries.
std::vector<std::string> ChangedEnvironment(const EnvironmentChanges& changes);
