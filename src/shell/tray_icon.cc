#include "shell/tray_icon.h"

#include <QPainter>
#include <QPixmap>

namespace quorbin {
namespace {

constexpr int kTrayRetryMs = 2000;

QIcon AgentIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(0x1f, 0x6f, 0xb2));
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(1, 1, 30, 30);
  painter.setPen(QPen(Qt::white, 4));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(8, 8, 14, 14);
  painter.drawLine(18, 18, 25, 25);
  return QIcon(pixmap);
}

}  // namespace

TrayIcon::TrayIcon(std::function<void()> on_quit) {
  QObject::connect(menu_.addAction(QStringLiteral("Sair")), &QAction::triggered,
                   std::move(on_quit));
  icon_.setIcon(AgentIcon());
  icon_.setContextMenu(&menu_);
  icon_.show();
  shown_in_tray_ = QSystemTrayIcon::isSystemTrayAvailable();
  retry_.setInterval(kTrayRetryMs);
  QObject::connect(&retry_, &QTimer::timeout, [this] { ShowWhenTrayAppears(); });
  if (!shown_in_tray_) retry_.start();
}

void TrayIcon::ShowWhenTrayAppears() {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
  icon_.hide();
  icon_.show();
  shown_in_tray_ = true;
  retry_.stop();
}

}  // namespace quorbin
