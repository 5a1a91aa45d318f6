#include "desktop/desktop.h"

namespace margivo {

DesktopError::DesktopError(const QString& message, const QString& details)
    : std::runtime_error(message.toStdString()), details_(details) {}

}  // namespace margivo
