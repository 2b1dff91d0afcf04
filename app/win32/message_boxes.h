// The program's message boxes as the system draws them, and the rule every event handler keeps:
// an exception that ends a handler is shown in the general error box, never passed on into the
// window system (which could not carry it through its own frames).
#pragma once

#include <functional>

#include "protect/message_boxes.h"

namespace kestravuna::app::win32 {

// Shows `box` with an OK button and returns when it is closed. An application box is modal to
// every window of the program; a box without owner leaves them usable meanwhile.
void ShowBox(const MessageBox& box);
// Asks `question` with "&Ja" (Enter) and "&Nein" (Escape), whatever the system's language;
// true for "&Ja".
bool Ask(const MessageBox& question);

// Runs an event handler's work; an exception that ends it is shown in the general error box.
// When the program's end was asked for meanwhile, it ends once no handler runs any more.
void RunHandler(const std::function<void()>& work);
// The quit question was answered "&Ja": the message loop ends once the running handlers are
// done.
void RequestQuit();

}  // namespace kestravuna::app::win32
