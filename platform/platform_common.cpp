#include "platform/platform.h"

Platform SystemPlatform() {
  return Platform{&SystemConsole(), &SystemMessageBoxes(), &SystemInternet(), &SystemPictureCodec(),
                  &SystemDesktop()};
}
