// Shared by the engine's tests: a sample database with the parameter rows
// every calculation reads, a gadget link over a real connection to it, the
// order-items rows the gadget hands the engine, and the figures of a call.
#pragma once

#include <gtest/gtest.h>

#include <QDate>
#include <QString>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "engine/dmrent.h"
#include "engine/ligacaogadget.h"
#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/db/database.h"
#include "framework/db/query.h"
#include "framework/regional.h"
#include "tests/support/testdb.h"

namespace margivo::test {

// Parameter rows every calculation reads: branch "01", PARAPDV with a
// cheque rate of 3 % a month and commissions off, PARATLM with both base-date
// rules off, cost policy 1 and commission type "1".
inline const char* kParametrosBase =
    "INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA) VALUES ('01', 'Matriz');"
    "INSERT INTO PARAPDV (TXJUROSCH, INCLUICOMISSAORENTABILIDADE) VALUES (0.03, 'N');"
    "INSERT INTO PARATLM (GERARRECDATAENTREGA, GERARRECDATAFATURA) VALUES ('N', 'N');"
    "INSERT INTO PARARENTABILIDADE (TIPOCUSTO, TIPOCOMISSAO) VALUES (1, '1');";

// A sample database holding kParametrosBase plus `fixture`, and the gadget
// link the engine reaches it through: its own connection (embedded engine),
// settings with Empresa "01" and a fixed "today".
class AmbienteEngine : public TGadgetRentabilidade {
 public:
  explicit AmbienteEngine(const QString& fixture = QString())
      : db_(QString::fromLatin1(kParametrosBase) + fixture) {
    setRegionalSettings(RegionalSettings::brazilian());
    config_.Empresa = QStringLiteral("01");
    conexao_.setConfiguracao(QStringLiteral("L"), QString(), QString(), db_.path(),
                             QStringLiteral("SYSDBA"), QStringLiteral("masterkey"));
    try {
      conexao_.conectarBanco();
      // The engine's calls of a test run as in one refresh: the database
      // stays in use for the fixture's life.
      emUso_.emplace(conexao_);
    } catch (const DatabaseError& erro) {
      ADD_FAILURE() << erro.what();
    }
  }

  TConexao* Conexao() const override { return &conexao_; }
  TConfig* Config() const override { return &config_; }
  QDate Hoje() const override { return hoje_; }

  void setHoje(const QDate& dia) { hoje_ = dia; }
  TestDatabase& db() { return db_; }
  Database& banco() { return *conexao_.getBancoDados(); }

  // A fresh data module linked to this gadget, as a refresh makes it.
  std::unique_ptr<TdmRentabilidade> novoModulo() {
    auto dm = std::make_unique<TdmRentabilidade>();
    dm->AdicionaGadget(this);
    dm->AssociaConexoes();
    return dm;
  }

  // The order-items rows of one order (one row per product and grade, with
  // the order's header columns), as the gadget's query returns them,
  // positioned on the row of `codProd` (the first row when empty).
  std::unique_ptr<Query> itens(const QString& codPedido, const QString& codProd = QString()) {
    auto q = std::make_unique<Query>(&banco());
    q->sql() << QStringLiteral(
        "SELECT PEDIDOI.CODPROD, PEDIDOI.CODGRADE, SUM(PEDIDOI.QUANTIDADE) AS QUANTIDADE,"
        " SUM(PEDIDOI.PRECOUNIT) AS PRECOUNIT, SUM(PEDIDOI.DESCONTOVLR) AS DESCONTOVLR,"
        " PEDIDOC.COMISSAO, PEDIDOC.CODVENDEDOR, PEDIDOC.CODPEDIDO, PEDIDOC.TIPOPEDIDO,"
        " PEDIDOC.CODEMPRESA, PEDIDOC.DATAPEDIDO, PEDIDOC.DATAENTREGA, PEDIDOC.FRETE,"
        " PEDIDOC.CODPRAZO, PEDIDOC.TOTALPEDIDO, PEDIDOC.VLRACRESCIMO, PRODUTO.DESCRICAO"
        " FROM PEDIDOI INNER JOIN PEDIDOC ON (PEDIDOI.CODEMPRESA = PEDIDOC.CODEMPRESA"
        " AND PEDIDOI.TIPOPEDIDO = PEDIDOC.TIPOPEDIDO AND PEDIDOI.CODPEDIDO = PEDIDOC.CODPEDIDO)"
        " INNER JOIN PRODUTO ON (PEDIDOI.CODPROD = PRODUTO.CODPROD)"
        " WHERE PEDIDOC.CODPEDIDO = :CodPedido"
        " GROUP BY 1, 2, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17 ORDER BY 1, 2");
    q->setString(QStringLiteral("CodPedido"), codPedido);
    q->open();
    if (!codProd.isEmpty())
      while (!q->eof() && q->fieldByName(QStringLiteral("CODPROD")).asString() != codProd)
        q->next();
    if (q->eof()) ADD_FAILURE() << "order " << codPedido.toStdString() << " has no such row";
    return q;
  }

 private:
  TestDatabase db_;
  mutable TConexao conexao_;
  std::optional<ScopedAttachment> emUso_;
  mutable TConfig config_;
  QDate hoje_{2024, 3, 15};
};

// The figures of one call and the running totals, as the gadget holds them.
struct Figuras {
  double MAquisicao = 0, MValorDaVenda = 0, MQtdeVendida = 0, MOperacional = 0, MCustoParcVd = 0,
         MComissao = 0, MImpostos = 0, MDescontoPV = 0, MTxEmissaoBoleto = 0, MOutros = 0,
         MCustoTotVd = 0, MMargemBrtLcr = 0, MMargemOpLcr = 0, MPercLucroBrt = 0, MPercLucroOpe = 0;
  double MTotCustoParcVd = 0, MTotValorDaVenda = 0, MTotComissao = 0, MTotImpostos = 0,
         MTotDescontoPV = 0, MTotTxEmissaoBoleto = 0, MTotOutros = 0, MTotCustoTotVd = 0,
         MTotMargemBrtLcr = 0, MTotMargemOpLcr = 0, MTotPercLucroBrt = 0, MTotPercLucroOpe = 0;
};

// The gadget's percentages and installment arrays for a call.
struct Entradas {
  double VfCustoOp = 0, VfCustoVd = 0, VfCustoFn = 0;
  std::vector<double> VlrParcelas = std::vector<double>(7, 0.0);
  std::vector<TDateTime> DtParcelas = std::vector<TDateTime>(7, 0.0);
  double MTotTroca = 0;
};

inline void Calcula(TdmRentabilidade& dm, const QString& documento, const QString& opcao,
                    const Query& qry, Figuras& f, const Entradas& e = Entradas()) {
  dm.PCalculaValoresRentabilidade(
      documento, opcao, e.VfCustoOp, e.VfCustoVd, e.VfCustoFn, e.VlrParcelas, e.DtParcelas, qry,
      qry, f.MAquisicao, f.MValorDaVenda, f.MQtdeVendida, f.MOperacional, f.MCustoParcVd,
      f.MComissao, f.MImpostos, f.MDescontoPV, f.MTxEmissaoBoleto, f.MOutros, f.MCustoTotVd,
      f.MMargemBrtLcr, f.MMargemOpLcr, f.MPercLucroBrt, f.MPercLucroOpe, f.MTotCustoParcVd,
      f.MTotValorDaVenda, f.MTotComissao, f.MTotImpostos, f.MTotDescontoPV, f.MTotTxEmissaoBoleto,
      f.MTotOutros, f.MTotCustoTotVd, f.MTotMargemBrtLcr, f.MTotMargemOpLcr, f.MTotPercLucroBrt,
      f.MTotPercLucroOpe, e.MTotTroca);
}

// What a payment of P received d days late costs at monthly rate m: the
// oracle the payment-terms tests compare with.
inline double CustoEsperado(double P, double dias, double taxaMensal) {
  const double diaria = std::pow(1.0 + taxaMensal, 1.0 / 30.0) - 1.0;
  return P - P / std::pow(1.0 + diaria, dias);
}

}  // namespace margivo::test
