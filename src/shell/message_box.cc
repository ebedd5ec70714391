#include "shell/message_box.h"

#include <QEventLoop>
#include <QMessageBox>
#include <algorithm>
#include <iostream>
#include <vector>

namespace quorbin {
namespace {

std::vector<QMessageBox*> open_boxes;
bool ending = false;

}  // namespace

void ShowMessage(const std::string& text, bool graphical) {
  if (!graphical || ending) {
    std::cerr << text << std::endl;
    return;
  }
  QMessageBox box(QMessageBox::Information, QStringLiteral("quorbin_sync"),
                  QString::fromStdString(text), QMessageBox::Ok);
  // Not modal, so that "Sair" in the tray menu can still be clicked; the local
  // loop delivers the timers and the tray as the application's loop does.
  box.setWindowModality(Qt::NonModal);
  QEventLoop until_closed;
  QObject::connect(&box, &QMessageBox::finished, &until_closed, &QEventLoop::quit);
  open_boxes.push_back(&box);
  box.show();
  until_closed.exec();
  open_boxes.erase(std::find(open_boxes.begin(), open_boxes.end(), &box));
}

void CloseOpenMessages() {
  ending = true;
  for (QMessageBox* box : open_boxes) box->done(QMessageBox::Ok);
}

}  // namespace quorbin
