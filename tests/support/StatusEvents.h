// Playing the Assistant's side of the bus in tests: finding the host on a
// session bus and sending it status events built as any program could. The
// host hears only the connection that owns com.quorvex.Assistant: call
// OwnAssistantName on the sending connection first, or send from another
// connection to play a stranger.
#pragma once

#include <gio/gio.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

class HostProcess;

// The client's refCon from the host's "Added new instance of plugin" line;
// 0 (and a test failure) when there is none.
uint32_t HostRefCon(const HostProcess& host);
// The process of the connection with the bus name `name` (unique or well
// known); 0 when there is none.
pid_t NameOwnerPid(GDBusConnection* bus, const std::string& name);
// The unique bus name of the connection that process `pid` holds, waiting up
// to `timeoutMs` for it to appear; empty when it does not.
std::string UniqueNameOfProcess(GDBusConnection* bus, pid_t pid, int timeoutMs);
// Makes `bus` the owner of com.quorvex.Assistant (taken from nobody: no
// queueing, no replacing); false (and a test failure) when it is not now.
bool OwnAssistantName(GDBusConnection* bus);
// The arguments of the host's Event method for a status event that carries
// `message` to the client with `refCon` (a floating reference).
GVariant* StatusEventArguments(uint32_t refCon, const std::string& message);
// Sends the status event and waits for the host's answer; false (and a test
// failure) when the call failed.
bool SendStatusEvent(GDBusConnection* bus, const std::string& hostName, uint32_t refCon,
                     const std::string& message, int timeoutMs);
