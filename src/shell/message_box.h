// Shows a failure's message to the user: a dialog when the agent has a display,
// the text on standard error otherwise.
#pragma once

#include <string>

namespace quorbin {

void ShowMessage(const std::string& text, bool graphical);

}  // namespace quorbin
