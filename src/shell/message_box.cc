#include "shell/message_box.h"

#include <QMessageBox>
#include <iostream>

namespace quorbin {

void ShowMessage(const std::string& text, bool graphical) {
  if (!graphical) {
    std::cerr << text << std::endl;
    return;
  }
  QMessageBox::information(nullptr, QStringLiteral("quorbin_sync"), QString::fromStdString(text));
}

}  // namespace quorbin
