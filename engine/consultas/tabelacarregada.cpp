#include "engine/consultas/tabelacarregada_p.h"

namespace margivo {

namespace {

// The code as the database may compare it: no trailing blanks, upper case.
QString canonico(const QString& texto) {
  const QString s = semBrancosFinais(texto);
  for (const QChar c : s)
    if (c >= u'a' && c <= u'z') return s.toUpper();
  return s;
}

}  // namespace

QString semBrancosFinais(const QString& texto) {
  qsizetype n = texto.size();
  while (n > 0 && texto.at(n - 1) == u' ') --n;
  return n == texto.size() ? texto : texto.left(n);
}

TChave semBrancosFinais(const TChave& chave) {
  return {semBrancosFinais(chave.a), semBrancosFinais(chave.b), semBrancosFinais(chave.c)};
}

bool ascii(const QString& texto) {
  for (const QChar c : texto)
    if (c.unicode() > 0x7F) return false;
  return true;
}

bool ascii(const TChave& chave) { return ascii(chave.a) && ascii(chave.b) && ascii(chave.c); }

TChave canonica(const TChave& chave) {
  return {canonico(chave.a), canonico(chave.b), canonico(chave.c)};
}

}  // namespace margivo
