// Every message box of the window program goes through here: the boxes of the core
// (protect/message_boxes.h), the general error box and the quit question. Tests give the
// answers instead of a user ("next answer"), so no test ever waits on a modal box.
#pragma once

#include <functional>

#include "protect/message_boxes.h"

class QWidget;

namespace kestravuna::app {

class MessageService {
 public:
  // Shows `box` with an OK button and returns when it is closed. Application boxes are modal
  // to every window of the program; ownerless ones belong to no window.
  static void Show(const MessageBox& box);
  // Asks `question` with "&Ja" (Enter) and "&Nein" (Escape); true for "&Ja".
  static bool Ask(const MessageBox& question);

  // Test seam: while set, no box is shown; each is handed to `answer`, whose result is the
  // answer to a question (and is ignored for a box with an OK button).
  using Responder = std::function<bool(const MessageBox&)>;
  static void AnswerWith(Responder answer);
};

// Runs an event handler's work. An exception that ends it is shown in the general error box,
// so the window system's event loop never sees one; the program goes on.
void RunHandler(const std::function<void()>& work);

// The user has confirmed the quit question: the program ends as soon as every handler that is
// running has returned (a run in progress goes on to its end first). Ending earlier would cut
// off the boxes such a run still shows.
void RequestQuit();
// Test seam: what ending the program does (by default, the message loop is told to end).
void SetProgramEnd(std::function<void()> end);

}  // namespace kestravuna::app
