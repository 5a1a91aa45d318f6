// Internal to desktop/: the program's one notification-area icon, shared by
// the desktop layers of every platform.
#pragma once

#include <QIcon>
#include <QString>
#include <memory>

#include "desktop/desktop.h"

class QSystemTrayIcon;

namespace margivo::detail {

class TrayIcon {
 public:
  TrayIcon();
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Shows the icon with tip `toolTip`. An icon already shown keeps its place
  // and only gets the new tip when it differs; without a notification area
  // nothing happens (the next call looks again).
  void show(const QIcon& picture, const QString& toolTip);
  void remove();
  bool isVisible() const;

 private:
  std::unique_ptr<QSystemTrayIcon> icon_;
};

// The part of the desktop layer every platform shares: the notification
// icon, with the picture of the window it is created for.
class DesktopWithTrayIcon : public Desktop {
 public:
  void CriaIcone(QWidget* Form, const QString& Nome) override;
  void DestroiIcone() override;
  bool iconVisible() const override;

 private:
  TrayIcon trayIcon_;
};

}  // namespace margivo::detail
