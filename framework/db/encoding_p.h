// Internal: how text travels between the program and the ERP's database.
//
// The attachment asks for no character set, so the database hands over the
// bytes it stores: Windows-1252 in the ERP's tables, UTF-8 in files written
// by newer tools. Reading tells the two apart; writing prefers the ERP's own.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>

namespace margivo::detail {

// Text as the ERP stores it: Windows-1252 bytes when every character has
// one, otherwise UTF-8 (the database then keeps what it is given).
QByteArray encodeText(const QString& text);
// Bytes from the database: UTF-8 when they are valid UTF-8 (plain ASCII
// included), otherwise Windows-1252.
QString decodeText(const char* bytes, std::size_t size);

}  // namespace margivo::detail
