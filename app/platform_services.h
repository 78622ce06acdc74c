#ifndef APP_PLATFORM_SERVICES_H_
#define APP_PLATFORM_SERVICES_H_

#include "picture/picture_codec.h"
#include "platform/console/console.h"
#include "platform/console/message_box.h"
#include "platform/desktop/desktop.h"
#include "platform/network/internet.h"
#include "retrieval/download.h"

// Every operating-system service the main object uses, in one place so that a
// test can hand it fakes. None of the pointers is owned.
struct Platform {
  Console* console;
  MessageBoxes* boxes;
  Internet* internet;
  PictureCodec* pictures;
  Desktop* desktop;
  // What the download's time limit is measured on.
  MillisecondClock clock = SteadyClockMilliseconds;
};

// The real services of this system.
Platform SystemPlatform();

#endif  // APP_PLATFORM_SERVICES_H_
