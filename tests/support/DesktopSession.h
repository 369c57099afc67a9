// What a GTK program needs to run in a test without touching the user's
// desktop: a private session bus, a scratch home with its XDG folders, an
// settings backend of its own and no accessibility bridge. Everything it
// starts ends with it.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>

class DesktopSession {
 public:
  // `display` holds the variables of the display server the session's
  // programs use.
  explicit DesktopSession(std::map<std::string, std::string> display);
  ~DesktopSession();

  DesktopSession(const DesktopSession&) = delete;
  DesktopSession& operator=(const DesktopSession&) = delete;

  bool Ok() const { return mBusPid > 0 && !mBusAddress.empty(); }
  const std::string& BusAddress() const { return mBusAddress; }
  // The variables to give a program of this session.
  std::map<std::string, std::string> Environment() const;

 private:
  std::map<std::string, std::string> mDisplay;
  std::string mRoot;
  std::string mHome;
  pid_t mBusPid = -1;
  std::string mBusAddress;
};
