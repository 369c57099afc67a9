// The native-messaging host the browser starts. Arguments (an origin or a
// manifest path, depending on the browser) are not used.
#include <memory>

#include "host/BrowserChannel.h"
#include "host/ConsoleListener.h"
#include "host/QXWebClientNativeMac.h"
#include "platform/app/Application.h"

int main(int, char**) {
  // Before anything can print: from here on fd 1 is stderr and only frames
  // reach the browser.
  BrowserChannel::Standard();

  CQXWebClientNativeMac* client = new CQXWebClientNativeMac();
  xwstring response;
  client->Initialize(response);

  QXApplication* application = QXApplication::sharedApplication();
  auto listener = std::make_unique<ConsoleListener>();
  listener->init();
  listener->setClient(client);
  listener->getData();
  application->run();

  listener.reset();
  if (client != nullptr)
    delete client;
  return 0;
}
