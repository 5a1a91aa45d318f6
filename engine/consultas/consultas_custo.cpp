// The look-ups of the cost price: the cost policy, the current and
// managerial costs and the price recorded with a grade's last movement.
#include "engine/consultas/consultas_p.h"

#include "framework/db/query.h"

namespace margivo {

namespace {

// A code written into the statement text as an SQL string constant: in
// single quotes, every single quote inside doubled, so that any code matches
// literally and cannot change the statement.
QString literal(const QString& codigo) {
  QString texto = codigo;
  texto.replace(u'\'', QStringLiteral("''"));
  return u'\'' + texto + u'\'';
}

}  // namespace

Query& TQueryPreguicosa::operator*() {
  if (!query_) query_.emplace(banco_);
  return *query_;
}

int TConsultasRentabilidade::tipoCusto(TQueryPreguicosa& QAux) {
  if (cache_ && cache_->tipoCusto) return *cache_->tipoCusto;
  preparaConsulta(*QAux, {QStringLiteral("Select TipoCusto From ParaRentabilidade")});
  QAux->open();
  const int tipo = inteiroDe(*QAux, "TipoCusto");
  if (cache_) cache_->tipoCusto = tipo;
  return tipo;
}

double TConsultasRentabilidade::precoCustoAtual(TQueryPreguicosa& QAux, const QString& codEmpresa,
                                                const QString& codProd) {
  return lembra(
      cache_ ? &cache_->precoCustoAtual : nullptr, TChave{codEmpresa, codProd}, false,
      [&]() -> double {
        preparaConsulta(
            *QAux,
            {QStringLiteral("Select PrecoCusto               From CompProd                   "
                            "Where CodProd = :CodProd And          CodEmpresa = :CodEmpresa  ")});
        QAux->setString(QStringLiteral("CodProd"), codProd);
        QAux->setString(QStringLiteral("CodEmpresa"), codEmpresa);
        QAux->open();
        return floatDe(*QAux, "PrecoCusto");
      },
      cache_ ? &cache_->compProdCusto : nullptr);
}

double TConsultasRentabilidade::precoMedioAtual(TQueryPreguicosa& QAux, const QString& codEmpresa,
                                                const QString& codProd) {
  return lembra(
      cache_ ? &cache_->precoMedioAtual : nullptr, TChave{codEmpresa, codProd}, false,
      [&]() -> double {
        preparaConsulta(
            *QAux,
            {QStringLiteral("Select PrecoMedio               From CompProd                   "
                            "Where CodProd = :CodProd And          CodEmpresa = :CodEmpresa  ")});
        QAux->setString(QStringLiteral("CodProd"), codProd);
        QAux->setString(QStringLiteral("CodEmpresa"), codEmpresa);
        QAux->open();
        return floatDe(*QAux, "PrecoMedio");
      },
      cache_ ? &cache_->compProdMedio : nullptr);
}

double TConsultasRentabilidade::precoGerencial(TQueryPreguicosa& QAux, const QString& codEmpresa,
                                               const QString& codProd, const QString& codGrade) {
  return lembra(
      cache_ ? &cache_->precoGerencial : nullptr, TChave{codEmpresa, codProd, codGrade}, false,
      [&]() -> double {
        preparaConsulta(
            *QAux,
            {QStringLiteral("Select PRECOCUSTO                  From CUSTOGERENCIAL                "
                            "Where CodProd = :CodProd And             CodEmpresa = :CodEmpresa And"
                            "       CodGrade   =:CodGrade        ")});
        QAux->setString(QStringLiteral("CodProd"), codProd);
        QAux->setString(QStringLiteral("CodEmpresa"), codEmpresa);
        QAux->setString(QStringLiteral("CodGrade"), codGrade);
        QAux->open();
        return floatDe(*QAux, "PRECOCUSTO");
      },
      cache_ ? &cache_->custoGerencial : nullptr);
}

std::optional<TMovimento> TConsultasRentabilidade::ultimoMovimento(TQueryPreguicosa& QAux,
                                                                   const QString& codEmpresa,
                                                                   const QString& codProd,
                                                                   const QString& codGrade,
                                                                   TDateTime dataVenda) {
  if (cache_) return ultimoMovimentoDaGrade(QAux, codEmpresa, codProd, codGrade, dataVenda);
  // Without a cache: the ERP's statement for the grade and day.
  const QString E = literal(codEmpresa), P = literal(codProd), G = literal(codGrade);
  preparaConsulta(
      *QAux,
      {QStringLiteral("Select Dt_Movimento, Max(Sequencia) As Sequencia   From MvGeral       "
                      "                                Where CodEmpresa = ") +
       E + QStringLiteral("  And CodProd    = ") + P + QStringLiteral("  And CodGrade   = ") + G +
       QStringLiteral("  And Dt_Movimento =                               ") +
       QStringLiteral("      (Select Max(Dt_Movimento)                    ") +
       QStringLiteral("       From MvGeral                                ") +
       QStringLiteral("       Where CodEmpresa = ") + E +
       QStringLiteral("         And CodProd    = ") + P +
       QStringLiteral("         And CodGrade   = ") + G +
       QStringLiteral("         And Dt_Movimento <= :Dt_Movimento)        ") +
       QStringLiteral("Group By Dt_Movimento                              ")});
  QAux->setDate(QStringLiteral("Dt_Movimento"), dataVenda);
  QAux->open();
  if (QAux->isEmpty()) return std::nullopt;
  TMovimento movimento;
  movimento.Dt_Movimento = dataDe(*QAux, "Dt_Movimento");
  movimento.Sequencia = QAux->fieldByName("Sequencia").asInteger();
  QAux->close();
  return movimento;
}

const std::vector<TCacheConsultas::MovimentoGrade>* TConsultasRentabilidade::movimentosDaGrade(
    TQueryPreguicosa& QAux, const TChave& grade) {
  if (const auto it = cache_->movimentosDaGrade.constFind(grade);
      it != cache_->movimentosDaGrade.constEnd())
    return &*it;
  // The period's movements, read for every grade at once.
  if (cache_->movimentos) {
    const std::vector<TCacheConsultas::MovimentoGrade>* movimentos = nullptr;
    switch (cache_->movimentos->procura(grade, movimentos)) {
      case TCobertura::Linha:
        return movimentos;
      case TCobertura::SemLinha: {
        static const std::vector<TCacheConsultas::MovimentoGrade> nenhum;
        return &nenhum;
      }
      case TCobertura::Fora:
        break;
    }
  }
  // One statement per grade, the same text for every grade (prepared once).
  preparaConsulta(*QAux, {QStringLiteral("Select Dt_Movimento, Sequencia From MvGeral"),
                          QStringLiteral(" Where CodEmpresa = :CodEmpresa"),
                          QStringLiteral("   And CodProd    = :CodProd"),
                          QStringLiteral("   And CodGrade   = :CodGrade")});
  QAux->setString(QStringLiteral("CodEmpresa"), grade.a);
  QAux->setString(QStringLiteral("CodProd"), grade.b);
  QAux->setString(QStringLiteral("CodGrade"), grade.c);
  QAux->open();
  std::vector<TCacheConsultas::MovimentoGrade> movimentos;
  for (QAux->first(); !QAux->eof(); QAux->next()) {
    const Field dia = QAux->fieldByName("Dt_Movimento");
    if (dia.isNull()) continue;  // never on or before a day
    const Field sequencia = QAux->fieldByName("Sequencia");
    movimentos.push_back({dia.asDateTime(), sequencia.isNull()
                                                ? std::nullopt
                                                : std::optional<qint64>(sequencia.asInteger())});
  }
  QAux->close();
  return &*cache_->movimentosDaGrade.insert(grade, std::move(movimentos));
}

std::optional<TMovimento> TConsultasRentabilidade::ultimoMovimentoDaGrade(TQueryPreguicosa& QAux,
                                                                          const QString& codEmpresa,
                                                                          const QString& codProd,
                                                                          const QString& codGrade,
                                                                          TDateTime dataVenda) {
  const std::vector<TCacheConsultas::MovimentoGrade>& movimentos =
      *movimentosDaGrade(QAux, TChave{codEmpresa, codProd, codGrade});
  // The latest day on or before the sale day, and the highest sequence of
  // that day (none: 0, as a null maximum reads).
  std::optional<TDateTime> ultimoDia;
  for (const auto& m : movimentos)
    if (m.Dt_Movimento <= dataVenda && (!ultimoDia || m.Dt_Movimento > *ultimoDia))
      ultimoDia = m.Dt_Movimento;
  if (!ultimoDia) return std::nullopt;
  std::optional<qint64> sequencia;
  for (const auto& m : movimentos)
    if (m.Dt_Movimento == *ultimoDia && m.Sequencia && (!sequencia || *m.Sequencia > *sequencia))
      sequencia = m.Sequencia;
  return TMovimento{*ultimoDia, sequencia.value_or(0)};
}

double TConsultasRentabilidade::precoDoMovimento(TQueryPreguicosa& QAux, PrecoMovimento preco,
                                                 const QString& codEmpresa, const QString& codProd,
                                                 const QString& codGrade,
                                                 const TMovimento& movimento) {
  const bool medio = preco == PrecoMovimento::Medio;
  if (cache_ && cache_->movimentos && cache_->movimentosMedio == medio) {
    // The movement's row among the period's movements: its price, when the
    // statement would find exactly that row.
    const std::vector<TCacheConsultas::MovimentoGrade>* movimentos = nullptr;
    const TCobertura cobertura =
        cache_->movimentos->procura(TChave{codEmpresa, codProd, codGrade}, movimentos);
    if (cobertura != TCobertura::Fora) {
      const TCacheConsultas::MovimentoGrade* achado = nullptr;
      int linhas = 0;
      if (cobertura == TCobertura::Linha) {
        for (const auto& m : *movimentos) {
          if (m.Dt_Movimento == movimento.Dt_Movimento && m.Sequencia == movimento.Sequencia) {
            achado = &m;
            ++linhas;
          }
        }
      }
      if (linhas <= 1) return achado ? achado->Preco : 0;
    }
  }
  return lembra(
      cache_ ? &cache_->precoDoMovimento : nullptr,
      TChaveMovimento{TChave{codEmpresa, codProd, codGrade}, movimento.Dt_Movimento,
                      movimento.Sequencia, medio},
      false, [&]() -> double {
        const QString E = literal(codEmpresa), P = literal(codProd), G = literal(codGrade);
        const QString inicio =
            preco == PrecoMovimento::Custo
                ? QStringLiteral(
                      "Select PrecoCusto                                  From MvGeral     "
                      "                                  Where CodEmpresa = ")
                : QStringLiteral(
                      "Select PrecoMedio                                  From MvGeral     "
                      "                                  Where CodEmpresa = ");
        preparaConsulta(*QAux,
                        {inicio + E + QStringLiteral("  And CodProd    = ") + P +
                         QStringLiteral("  And CodGrade   = ") + G +
                         QStringLiteral("  And Dt_Movimento = :Dt_Movimento                 ") +
                         QStringLiteral("  And Sequencia    = :Sequencia                    ")});
        QAux->setDate(QStringLiteral("Dt_Movimento"), movimento.Dt_Movimento);
        QAux->setInteger(QStringLiteral("Sequencia"), movimento.Sequencia);
        QAux->open();
        return floatDe(*QAux, preco == PrecoMovimento::Custo ? "PrecoCusto" : "PrecoMedio");
      });
}

}  // namespace margivo
