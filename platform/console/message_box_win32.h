#ifndef PLATFORM_CONSOLE_MESSAGE_BOX_WIN32_H_
#define PLATFORM_CONSOLE_MESSAGE_BOX_WIN32_H_

#include <string>

#include "platform/console/message_box.h"

// The boxes of the windowless program, whatever this program file is:
// SystemMessageBoxes() gives them unless the program is a console program,
// whose messages go to standard error instead.
MessageBoxes& WindowMessageBoxes();

// MessageBoxA(no owner, `text`, `caption`, `type`) that closes by itself
// after `timeout_ms` unless it is answered first. True when it closed by
// itself. Call it on a thread without boxes of its own.
bool ShowTimedMessageBox(const std::string& caption, const std::string& text, unsigned type,
                         unsigned timeout_ms);

#endif  // PLATFORM_CONSOLE_MESSAGE_BOX_WIN32_H_
