#ifndef PLATFORM_CONSOLE_MESSAGE_BOX_WIN32_H_
#define PLATFORM_CONSOLE_MESSAGE_BOX_WIN32_H_

#include "platform/console/message_box.h"

// The boxes of the windowless program, whatever this program file is:
// SystemMessageBoxes() gives them unless the program is a console program,
// whose messages go to standard error instead.
MessageBoxes& WindowMessageBoxes();

#endif  // PLATFORM_CONSOLE_MESSAGE_BOX_WIN32_H_
