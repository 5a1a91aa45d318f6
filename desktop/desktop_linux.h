// Internal to desktop/: the freedesktop side of the desktop layer, exposed
// for its tests.
#pragma once

#include <QString>

namespace margivo::linux_desktop {

// The user's settings directory: $XDG_CONFIG_HOME when it is an absolute
// path, otherwise ~/.config.
QString userConfigDir();
// $XDG_CONFIG_HOME/autostart/<Gadget>.desktop
QString autostartFile(const QString& Gadget);
// The Exec line's value that runs `programa` with no arguments: the path as
// it is when it holds no character the desktop entry format reserves,
// otherwise in double quotes with '"', '`', '$' and '\' escaped; '%' is
// doubled in either case (it starts a field code).
QString execCommand(const QString& programa);
// The whole autostart entry for `Gadget` running `programa`.
QString autostartEntry(const QString& Gadget, const QString& programa);
// The lock file of the single-instance lock `nome` in the user's runtime
// directory.
QString lockFilePath(const QString& nome);

}  // namespace margivo::linux_desktop
