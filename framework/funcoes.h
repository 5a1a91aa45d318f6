// Helper functions shared by the gadget and the calculation engine.
#pragma once

#include <QString>

namespace margivo {

// Rounds VFNumero to VFCasasDecimais decimals through its decimal text: the
// value is first written with 18 significant digits (ties to even), then cut
// after the last decimal kept, rounding a cut-off 5 or more away from zero.
// So 2.5 -> 3, -2.5 -> -3, 0.125 -> 0.13, and 2.675 -> 2.67 (its double lies
// below the tie). A count of 0 or less rounds to a whole number.
double FRound(int VFCasasDecimais, double VFNumero);

// VFTamanho blanks; empty for 0 or less.
QString Space(int VFTamanho);

// Right-aligns VFString in VFTamanho characters: a longer text keeps its last
// VFTamanho characters, a shorter one gets blanks in front. VFTamanho of 0 or
// less returns the text unchanged.
QString PadL(const QString& VFString, int VFTamanho);

// Trims VFString, keeps its last VFTamanho characters and pads it with zeros
// on the left: ("7", 2) -> "07", (" 123 ", 5) -> "00123", ("12345", 3) -> "345".
QString StrZero(const QString& VFString, int VFTamanho);

// The name (FILIAIS.NOMEEMPRESA) of branch CodFilial, read through an
// attachment of its own made from the database section of the settings file;
// empty when the branch does not exist. Throws the settings' or the
// database's error when the file cannot be read or the query fails (a
// connection that cannot be made fails at the query).
QString NomeFilial(const QString& CodFilial);
// The same, with the database section of the settings file `arquivoConfig`
// (a program run on another settings file than its default one).
QString NomeFilial(const QString& CodFilial, const QString& arquivoConfig);

}  // namespace margivo
