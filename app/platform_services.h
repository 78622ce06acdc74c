#ifndef APP_PLATFORM_SERVICES_H_
#define APP_PLATFORM_SERVICES_H_

#include <chrono>
#include <cstdint>
#include <functional>

#include "picture/picture_codec.h"
#include "platform/console/console.h"
#include "platform/console/message_box.h"
#include "platform/desktop/desktop.h"
#include "platform/network/internet.h"

// Every operating-system service the main object uses, in one place so that a
// test can hand it fakes. None of the pointers is owned.
struct Platform {
  Console* console;
  MessageBoxes* boxes;
  Internet* internet;
  PictureCodec* pictures;
  Desktop* desktop;
  // Milliseconds on a clock that never goes back, which the download's time
  // limit is measured on: the steady clock, unless a test hands in one that
  // shows the limit firing at its very millisecond without waiting for it.
  std::function<int64_t()> clock = [] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
};

// The real services of this system.
Platform SystemPlatform();

#endif  // APP_PLATFORM_SERVICES_H_
