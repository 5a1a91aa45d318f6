// Internal to the engine. The database look-ups of the calculation, one
// method per kind of look-up.
//
// Every look-up runs the ERP statement on the data module's query that the
// calculation has always used for it (or on a query object of its own where
// the calculation creates one), leaves that query open as the steps expect,
// and hands the values back as a plain record. The steps read only these
// records, never the queries, so a look-up can later be answered from a
// per-refresh cache without touching the steps: the result of each method
// depends only on its arguments and on the database.
//
// A missing row, or a null column, reads as 0 or empty text.
// Errors: every method may throw DatabaseError (ConversionError for a column
// whose text does not convert).
#pragma once

#include <QHash>
#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "framework/datetime.h"

namespace margivo {

class Query;
class TdmRentabilidade;

// A payment condition (CONDPAG row).
struct TCondPag {
  int TipoVenda = 0;
  std::array<int, 7> Prazo{};       // Prazo1..Prazo7, days from the base date
  std::array<double, 7> Percent{};  // Percent1..Percent7, share in percent; 0 = equal
  double TxEmissaoBoleto = 0;       // fee for issuing one boleto
  int TipoIntegracao = 0;           // settlement scheme: 3 per installment, 4 single
  QString TipoIntegracaoTexto;      // the same column read as text ("" without a row)
  QString UtilizaConvenio;          // "S": paid through a card/agreement operator
};

// The order's closing record (EnceFat): how the order was paid.
struct TEnceFat {
  double VlrReceber = 0, VlrConvenio = 0, VlrFinanc = 0, VlrChPreDatado = 0, VlrCheque = 0,
         VlrDinheiro = 0, VlrDesconto = 0;
  double Total = 0;       // the amount received (a computed column)
  bool TotalNulo = true;  // no record, or a null term in the sum
};

struct TChequePreDatado {
  double VlrCheque = 0;
  TDateTime Dt_Entrada = 0;
};

struct TFinanciamento {
  QString CodPlano, DescFormaPgto, CodFinanceira;
  double ValorMensalidade = 0;
};

struct TPlanoFinanc {
  double DiasCompensacao = 0;
  double TaxaRetencao = 0;
  int NumParc = 0;
  QString CodPrazo;
  QString Entrada;
};

// One pair (agreement record of the order, receivable document of the order).
struct TDocumentoConvenio {
  QString Convenio;
  TDateTime Dt_Emissao = 0;
  TDateTime Dt_Vencimento = 0;
  double ValorDocto = 0;
};

struct TCartCon {
  double DiasCompensacao = 0;
  double PercDesc = 0;
  QString CodPrazo;
  double TaxaMensalAntecip = 0;
};

struct TParcelaPedido {
  double VlrParc = 0;
  TDateTime VencParc = 0;
};

// Last movement of a product grade at a branch on or before a day: its day
// and the highest sequence number of that day.
struct TMovimento {
  TDateTime Dt_Movimento = 0;
  qint64 Sequencia = 0;
};

// Answers of the look-ups already run in one refresh, by look-up and key.
// The whole refresh reads one snapshot, so a look-up asked again with the
// same key would read the same rows: it is answered from here instead.
struct TCacheConsultas {
  std::optional<QString> tipoComissao;
  std::optional<int> tipoCusto;
  QHash<QString, double> custoOperc, comissaoVendedor, comissaoProduto, precoCustoAtual,
      precoMedioAtual, precoGerencial, precoDoMovimento, totalItensPedido, valorDaTroca;
  QHash<QString, std::optional<TMovimento>> ultimoMovimento;
  // Every movement of a grade at a branch (day, sequence; a null sequence as
  // nothing), read once: the last movement on or before any day is found
  // among them.
  struct MovimentoGrade {
    TDateTime Dt_Movimento;
    std::optional<qint64> Sequencia;
  };
  QHash<QString, std::vector<MovimentoGrade>> movimentosDaGrade;
  QHash<QString, TCondPag> condPag;
  QHash<QString, TEnceFat> enceFat;
  QHash<QString, std::vector<TChequePreDatado>> chequesPreDatados;
  QHash<QString, TFinanciamento> financiamento;
  QHash<QString, TPlanoFinanc> planoFinanc;
  QHash<QString, std::vector<TDocumentoConvenio>> documentosConvenio;
  QHash<QString, TCartCon> cartCon;
  QHash<QString, std::vector<TParcelaPedido>> parcelasPedido;
};

class TConsultasRentabilidade {
 public:
  explicit TConsultasRentabilidade(TdmRentabilidade& dm);
  ~TConsultasRentabilidade();

  // With the cache on, each distinct look-up runs once and is answered from
  // memory afterwards. REQUIRES: on only for the length of one read snapshot
  // (one refresh). Turning it off forgets every answer.
  void AtivaCache(bool ativo);
  bool CacheAtivo() const noexcept { return cache_ != nullptr; }

  // Product's own operating-cost percentage (Produto.CustoOperc); qryAuxiliar.
  double CustoOperacionalProduto(const QString& CodProd);

  // PARAPDV, current row of qryParaPDV (opened when it is not open yet).
  void AbreParaPDV();
  QString IncluiComissaoRentabilidade();
  double TxJurosCh();

  // PARATLM, current row of ParaTlm (opened by AssociaConexoes).
  QString GerarRecDataEntrega();
  QString GerarRecDataFatura();

  // PARARENTABILIDADE.TIPOCOMISSAO, on a query object of its own.
  QString TipoComissao();
  // Vendend.Comissao and Produto.Comissao; qryAuxiliar.
  double ComissaoVendedor(const QString& CodVendedor);
  double ComissaoProduto(const QString& CodProd);

  // The cost look-ups run on FPrecoCusto's own query object QAux.
  int TipoCusto(Query& QAux);
  double PrecoCustoAtual(Query& QAux, const QString& CodEmpresa, const QString& CodProd);
  double PrecoMedioAtual(Query& QAux, const QString& CodEmpresa, const QString& CodProd);
  double PrecoGerencial(Query& QAux, const QString& CodEmpresa, const QString& CodProd,
                        const QString& CodGrade);
  std::optional<TMovimento> UltimoMovimento(Query& QAux, const QString& CodEmpresa,
                                            const QString& CodProd, const QString& CodGrade,
                                            TDateTime DataVenda);
  // Column "PrecoCusto" or "PrecoMedio" of one movement.
  enum class PrecoMovimento { Custo, Medio };
  double PrecoDoMovimento(Query& QAux, PrecoMovimento Preco, const QString& CodEmpresa,
                          const QString& CodProd, const QString& CodGrade,
                          const TMovimento& Movimento);

  // Sum of the order's item lines, on a query object of its own.
  double TotalItensPedido(const QString& CodEmpresa, const QString& CodPedido,
                          const QString& TipoPedido);
  // OrcCabe.TotalOrcamento of a quote; qryAuxiliar.
  double ValorDaTroca(const QString& CodEmpresa, const QString& CodTroca);

  // VlrParc01 of the quote header open in qrySelecaoOrc.
  double ValorParc01Orcamento();

  // CONDPAG row of a condition; qryAuxiliar.
  TCondPag CondPag(const QString& CodPrazo);
  // EnceFat row of an order; qryTemp.
  TEnceFat EnceFat(const QString& CodEmpresa, const QString& TipoPedido, const QString& CodPedido);
  // PreTerc rows of a document; qryAuxiliar.
  std::vector<TChequePreDatado> ChequesPreDatados(const QString& CodEmpresa,
                                                  const QString& NumDocOrig);
  // Financiamento row of a sale; qryTemp.
  TFinanciamento Financiamento(const QString& CodEmpresa, const QString& CodVenda);
  // Financeira + PlanosFinanc row of a plan; qryTemp.
  TPlanoFinanc PlanoFinanc(const QString& CodFinanceira, const QString& CodPlano,
                           const QString& DescFormaPgto);
  // ConvEnceFat x DocuRec rows of an order, in the database's order; qryAux.
  std::vector<TDocumentoConvenio> DocumentosConvenio(const QString& CodEmpresa,
                                                     const QString& TipoPedido,
                                                     const QString& CodPedido);
  // CARTCON row of an agreement; qryTemp.
  TCartCon CartCon(const QString& Codigo);
  // The order's ParcPedC installments up to (not including) the first one
  // whose amount is not positive, at most 24; qryAux.
  std::vector<TParcelaPedido> ParcelasPedido(const QString& CodEmpresa, const QString& TipoPedido,
                                             const QString& CodPedido);

 private:
  // qryAuxiliar for a look-up other than CondPag.
  Query& UsaQryAuxiliar();
  // `consulta()`, or its answer kept in `respostas` under `chave` (the look-up
  // runs when there is no cache, `respostas` null, or no answer yet).
  // `usaQryAuxiliar`: the look-up runs on qryAuxiliar.
  // UltimoMovimento from the grade's movements, read once per refresh.
  std::optional<TMovimento> UltimoMovimentoDaGrade(Query& QAux, const QString& CodEmpresa,
                                                   const QString& CodProd, const QString& CodGrade,
                                                   TDateTime DataVenda);
  template <typename T, typename Consulta>
  T Lembra(QHash<QString, T>* respostas, const QString& chave, bool usaQryAuxiliar,
           Consulta&& consulta);

  TdmRentabilidade& dm_;
  std::unique_ptr<TCacheConsultas> cache_;
};

}  // namespace margivo
