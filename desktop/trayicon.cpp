#include "desktop/trayicon.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QWidget>

namespace margivo::detail {

TrayIcon::TrayIcon() = default;
TrayIcon::~TrayIcon() = default;

void TrayIcon::show(const QIcon& picture, const QString& toolTip) {
  if (!icon_) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    icon_ = std::make_unique<QSystemTrayIcon>(picture);
    icon_->setToolTip(toolTip);
    icon_->show();
    return;
  }
  if (icon_->toolTip() != toolTip) icon_->setToolTip(toolTip);
  if (!icon_->isVisible()) icon_->show();
}

void TrayIcon::remove() {
  if (!icon_) return;
  icon_->hide();
  icon_.reset();
}

bool TrayIcon::isVisible() const { return icon_ && icon_->isVisible(); }

void DesktopWithTrayIcon::CriaIcone(QWidget* Form, const QString& Nome) {
  // The host window carries the program's own icon (a window without one
  // answers the application's).
  trayIcon_.show(Form != nullptr ? Form->windowIcon() : QGuiApplication::windowIcon(), Nome);
}

void DesktopWithTrayIcon::DestroiIcone() { trayIcon_.remove(); }

bool DesktopWithTrayIcon::iconVisible() const { return trayIcon_.isVisible(); }

}  // namespace margivo::detail
