// How margivo-report prints a refresh: as text for a person, or as one JSON
// object for scripts.
#pragma once

#include <QByteArray>
#include <QString>

namespace margivo {

struct ResultadoAtualizacao;

namespace relatorio {

// Branch, period, the eight figures under their panel titles, then the rows
// and engine calls; with `itens` one line per engine call.
QString formatoTexto(const ResultadoAtualizacao& resultado, bool itens);

// {"lblNomeFilial", "lblPeriodo", "DataInicial", "DataFinal", "rows",
//  "calls": {"Produto", "Frete"}, "labels": {the eight label names},
//  "totals": {the twelve totals, as numbers}} and with `itens` "items": one
// object per engine call in call order. A label the refresh did not write
// (lblPeriodo for a period kind outside 0-3) is the empty text.
QByteArray formatoJson(const ResultadoAtualizacao& resultado, bool itens);
// The same object compact, on one line ending in a line break.
QByteArray formatoJsonLinha(const ResultadoAtualizacao& resultado, bool itens);

// {"error": mensagem}
QByteArray erroJson(const QString& mensagem);

}  // namespace relatorio
}  // namespace margivo
