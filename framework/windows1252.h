// Windows-1252, the "ANSI" code page of Western Windows: the encoding the
// ERP's tools write their settings in. A table of its own, so that every
// platform reads and writes it alike (Qt knows it only where it was built
// with ICU).
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace margivo {

// Every byte reads as a character: the five bytes the code page leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) as the control characters of the
// same number, as Windows itself converts them.
QString fromWindows1252(QByteArrayView bytes);

// The bytes of `text` in `out`; false (and `out` undefined) when `text` holds
// a character the code page has no byte for.
bool toWindows1252(QStringView text, QByteArray* out);

}  // namespace margivo
