// Internal to desktop/: the program's one notification-area icon, shared by
// the desktop layers of every platform.
#pragma once

#include <QIcon>
#include <QString>
#include <memory>

#include "desktop/desktop.h"

class QSystemTrayIcon;

namespace margivo::detail {

class TBandeja {
 public:
  TBandeja();
  ~TBandeja();
  TBandeja(const TBandeja&) = delete;
  TBandeja& operator=(const TBandeja&) = delete;

  // Shows the icon with tip `dica`. An icon already shown keeps its place
  // and only gets the new tip when it differs; without a notification area
  // nothing happens (the next call looks again).
  void mostra(const QIcon& icone, const QString& dica);
  void remove();
  bool visivel() const;

 private:
  std::unique_ptr<QSystemTrayIcon> icone_;
};

// The part of the desktop layer every platform shares: the notification
// icon, with the picture of the window it is created for.
class TDesktopComBandeja : public TDesktop {
 public:
  void CriaIcone(QWidget* Form, const QString& Nome) override;
  void DestroiIcone() override;
  bool iconeVisivel() const override;

 private:
  TBandeja bandeja_;
};

}  // namespace margivo::detail
