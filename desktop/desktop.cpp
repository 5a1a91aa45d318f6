#include "desktop/desktop.h"

namespace margivo {

DesktopError::DesktopError(const QString& message) : std::runtime_error(message.toStdString()) {}

}  // namespace margivo
