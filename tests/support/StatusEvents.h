// Playing the Assistant's side of the bus in tests: finding the host and the
// Assistant on a session bus, and taking the Assistant's name, since the host
// hears status events only from the connection that owns it.
#pragma once

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "tests/support/SessionBus.h"

// The client's refCon from the host's "Added new instance of plugin" line
// in its system log; 0 (and a test failure) when there is none.
inline uint32_t HostRefCon(const std::string& syslog) {
  const std::string prefix = "Added new instance of plugin, refCon=";
  const size_t at = syslog.find(prefix);
  EXPECT_NE(at, std::string::npos) << "no refCon in the host's system log";
  return at == std::string::npos ? 0 : std::stoul(syslog.substr(at + prefix.size()), nullptr, 16);
}

// The process of the connection with the bus name `name`; 0 when none has it.
inline pid_t NameOwnerPid(GDBusConnection* bus, const std::string& name) {
  g_autoptr(GVariant) reply =
      CallDaemon(bus, "GetConnectionUnixProcessID", g_variant_new("(s)", name.c_str()));
  guint32 pid = 0;
  if (reply != nullptr)
    g_variant_get(reply, "(u)", &pid);
  return static_cast<pid_t>(pid);
}

// The unique bus name of the connection that process `pid` holds, waiting up
// to `timeoutMs` for it to appear; empty when it does not.
inline std::string UniqueNameOfProcess(GDBusConnection* bus, pid_t pid, int timeoutMs) {
  std::string found;
  PollUntil(timeoutMs, [&] {
    g_autoptr(GVariant) names = CallDaemon(bus, "ListNames", nullptr);
    g_autoptr(GVariantIter) iter = nullptr;
    g_variant_get(names, "(as)", &iter);
    for (const char* name = nullptr; g_variant_iter_next(iter, "&s", &name);)
      if (name[0] == ':' && NameOwnerPid(bus, name) == pid)
        found = name;
    return !found.empty();
  });
  return found;
}

// Makes `bus` the owner of com.quorvex.Assistant (taken from nobody: no
// queueing, no replacing); false (and a test failure) when it is not now.
inline bool OwnAssistantName(GDBusConnection* bus) {
  constexpr guint32 kDoNotQueue = 4, kPrimaryOwner = 1, kAlreadyOwner = 4;
  g_autoptr(GVariant) reply =
      CallDaemon(bus, "RequestName", g_variant_new("(su)", "com.quorvex.Assistant", kDoNotQueue));
  guint32 result = 0;
  if (reply != nullptr)
    g_variant_get(reply, "(u)", &result);
  EXPECT_TRUE(result == kPrimaryOwner || result == kAlreadyOwner) << "the Assistant's name";
  return result == kPrimaryOwner || result == kAlreadyOwner;
}
