// Shows a failure's message to the user: a dialog when the agent has a usable
// display, the text on standard error otherwise. The dialog does not block the
// tray menu, and a request to end closes every dialog still open (as a quit
// message closes a message box on Windows); once the end was requested, further
// messages go to standard error.
#pragma once

#include <string>

namespace quorbin {

// Returns when the user closed the dialog or CloseOpenMessages closed it.
void ShowMessage(const std::string& text, bool graphical);

void CloseOpenMessages();

}  // namespace quorbin
