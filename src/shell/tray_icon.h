// The agent's only visible trace: a notification-area icon whose menu has one
// item, "Sair". When no notification area exists yet (the tray host starts after
// the agent at logon), the icon is shown again as soon as one appears.
#pragma once

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <functional>

namespace quorbin {

class TrayIcon {
 public:
  explicit TrayIcon(std::function<void()> on_quit);

 private:
  void ShowWhenTrayAppears();

  QMenu menu_;
  QSystemTrayIcon icon_;
  QTimer retry_;
  bool shown_in_tray_ = false;
};

}  // namespace quorbin
