#include "app/platform_services.h"

Platform SystemPlatform() {
  return Platform{&SystemConsole(), &SystemMessageBoxes(), &SystemInternet(), &SystemPictureCodec(),
                  &SystemDesktop()};
}
