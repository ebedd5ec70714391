// A system message fetched with its inserts ignored (FormatMessage with
// FORMAT_MESSAGE_IGNORE_INSERTS) still holds them: "%1 is not a valid Win32
// application". FillMessageInserts leaves no placeholder in it. Both systems
// share this file, so that it is tested where the tests run fastest.
#pragma once

#include <string>
#include <string_view>

namespace quorbin::platform {

// Each insert (%1 to %99, with its optional !format! spec) becomes `subject`;
// the escapes %%, %. and %! become the character, %n, %r, %t and %b a blank,
// and %0 ends the message. Runs of blanks are folded into one, and the message
// is trimmed of blanks, line breaks and a final full stop.
inline std::string FillMessageInserts(std::string_view message, std::string_view subject) {
  std::string text;
  for (std::size_t i = 0; i < message.size(); ++i) {
    const char c = message[i];
    if (c == '\r' || c == '\n' || c == '\t') {
      text += ' ';
      continue;
    }
    if (c != '%' || i + 1 == message.size()) {
      text += c;
      continue;
    }
    const char next = message[i + 1];
    if (next >= '1' && next <= '9') {
      i += 1;
      if (i + 1 < message.size() && message[i + 1] >= '0' && message[i + 1] <= '9') ++i;
      if (i + 1 < message.size() && message[i + 1] == '!') {
        const std::size_t end = message.find('!', i + 2);
        if (end != std::string_view::npos) i = end;
      }
      text += subject;
    } else if (next == '0') {
      break;
    } else if (next == '%' || next == '.' || next == '!') {
      text += next;
      ++i;
    } else if (next == 'n' || next == 'r' || next == 't' || next == 'b') {
      text += ' ';
      ++i;
    } else {
      text += c;
    }
  }
  std::string folded;
  for (const char c : text) {
    if (c == ' ' && (folded.empty() || folded.back() == ' ')) continue;
    folded += c;
  }
  while (!folded.empty() && (folded.back() == ' ' || folded.back() == '.')) folded.pop_back();
  return folded;
}

}  // namespace quorbin::platform
