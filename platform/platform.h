#ifndef PLATFORM_PLATFORM_H_
#define PLATFORM_PLATFORM_H_

#include "platform/console.h"
#include "platform/desktop.h"
#include "platform/internet.h"
#include "platform/message_box.h"
#include "platform/picture.h"

// Every operating-system service the main object uses, in one place so that a
// test can hand it fakes. None of the pointers is owned.
struct Platform {
  Console* console;
  MessageBoxes* boxes;
  Internet* internet;
  PictureCodec* pictures;
  Desktop* desktop;
};

// The real services of this system.
Platform SystemPlatform();

#endif  // PLATFORM_PLATFORM_H_
