#include "desktop/bandeja.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QWidget>

namespace margivo::detail {

TBandeja::TBandeja() = default;
TBandeja::~TBandeja() = default;

void TBandeja::mostra(const QIcon& icone, const QString& dica) {
  if (!icone_) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
    icone_ = std::make_unique<QSystemTrayIcon>(icone);
    icone_->setToolTip(dica);
    icone_->show();
    return;
  }
  if (icone_->toolTip() != dica) icone_->setToolTip(dica);
  if (!icone_->isVisible()) icone_->show();
}

void TBandeja::remove() {
  if (!icone_) return;
  icone_->hide();
  icone_.reset();
}

bool TBandeja::visivel() const { return icone_ && icone_->isVisible(); }

void TDesktopComBandeja::CriaIcone(QWidget* Form, const QString& Nome) {
  // The host window carries the program's own icon (a window without one
  // answers the application's).
  bandeja_.mostra(Form != nullptr ? Form->windowIcon() : QGuiApplication::windowIcon(), Nome);
}

void TDesktopComBandeja::DestroiIcone() { bandeja_.remove(); }

bool TDesktopComBandeja::iconeVisivel() const { return bandeja_.visivel(); }

}  // namespace margivo::detail
