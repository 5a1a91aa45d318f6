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
#include "framework/query.h"

namespace margivo {

class Database;
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

// The key of a look-up: its arguments, up to three texts (unused ones
// empty). Copying the texts only shares them: building a key allocates
// nothing.
struct TChave {
  TChave() = default;
  TChave(QString a_, QString b_ = {}, QString c_ = {})
      : a(std::move(a_)), b(std::move(b_)), c(std::move(c_)) {}
  QString a, b, c;
  friend bool operator==(const TChave&, const TChave&) = default;
};
inline size_t qHash(const TChave& k, size_t seed = 0) noexcept {
  return qHashMulti(seed, k.a, k.b, k.c);
}

// The key of the price recorded with one movement of a grade.
struct TChaveMovimento {
  TChave grade;  // CodEmpresa, CodProd, CodGrade
  TDateTime dia = 0;
  qint64 sequencia = 0;
  bool medio = false;  // PrecoMedio rather than PrecoCusto
  friend bool operator==(const TChaveMovimento&, const TChaveMovimento&) = default;
};
inline size_t qHash(const TChaveMovimento& k, size_t seed = 0) noexcept {
  return qHashMulti(seed, k.grade, k.dia, k.sequencia, k.medio);
}

// How a table read whole answers a key.
enum class TCobertura {
  Linha,     // the key's one row
  SemLinha,  // no row can match the key: the look-up's answer is its default
  Fora,      // the rows read cannot tell: the look-up must run
};

// The rows of a small table (or the branch's rows of one), read in one
// statement, answering look-ups by key exactly as the look-up's statement
// would in the same snapshot.
//
// The database compares codes ignoring trailing blanks (and, under a
// case-insensitive collation, letter case), so a row answers a key only when
// no other row of the table could match that key too: rows are grouped by
// the code without trailing blanks, in upper case, and only a group of one
// row answers, and only the key written as that row's own code (without its
// trailing blanks). A key that matches no group has no row, provided every
// row that could match it was read (`empresa`: only that branch's rows were
// read) and the key is plain ASCII. A table with a code outside ASCII is not
// used at all (a collation could compare accents loosely).
template <typename V>
class TTabelaCarregada {
 public:
  // `empresa`: the rows read are those of this branch only (the first part
  // of each key, compared as the database does); none: every row.
  explicit TTabelaCarregada(std::optional<QString> empresa = std::nullopt)
      : empresa_(std::move(empresa)) {}

  // One row read, answering its key alone. A row with a null key column
  // must not be passed.
  void Adiciona(const TChave& chave, V valor);
  // The answer of the rows of `chave` together (e.g. the movements of a
  // grade), to add a row to: rows of one key spelled two ways (case,
  // trailing blanks) leave it without answer.
  V& Acumula(const TChave& chave);
  // After the last row.
  void Conclui();

  TCobertura Procura(const TChave& chave, const V*& valor) const;

 private:
  struct Grupo {
    TChave chave;  // the row's own code, without trailing blanks
    V valor;
    int linhas = 0;
  };
  std::optional<QString> empresa_;
  bool ascii_ = true;
  QHash<TChave, Grupo> grupos_;  // by canonical code
  QHash<TChave, V> unicas_;      // by the row's own code, groups of one row
};

// Answers of the look-ups already run in one refresh, by look-up and key.
// The whole refresh reads one snapshot, so a look-up asked again with the
// same key would read the same rows: it is answered from here instead.
struct TCacheConsultas {
  std::optional<QString> tipoComissao;
  std::optional<int> tipoCusto;
  QHash<TChave, double> custoOperc, comissaoVendedor, comissaoProduto, precoCustoAtual,
      precoMedioAtual, precoGerencial, totalItensPedido, valorDaTroca;
  QHash<TChaveMovimento, double> precoDoMovimento;
  // Every movement of a grade at a branch (day, sequence; a null sequence as
  // nothing; the price column the cost policy reads, when the movements were
  // read for the period), read once: the last movement on or before any day
  // is found among them.
  struct MovimentoGrade {
    TDateTime Dt_Movimento;
    std::optional<qint64> Sequencia;
    double Preco = 0;
  };
  QHash<TChave, std::vector<MovimentoGrade>> movimentosDaGrade;
  QHash<TChave, TCondPag> condPag;
  QHash<TChave, TEnceFat> enceFat;
  QHash<TChave, std::vector<TChequePreDatado>> chequesPreDatados;
  QHash<TChave, TFinanciamento> financiamento;
  QHash<TChave, TPlanoFinanc> planoFinanc;
  QHash<TChave, std::vector<TDocumentoConvenio>> documentosConvenio;
  QHash<TChave, TCartCon> cartCon;
  QHash<TChave, std::vector<TParcelaPedido>> parcelasPedido;

  // Tables read whole for the period (CarregaPeriodo); empty when not read.
  std::optional<TTabelaCarregada<double>> produtoCustoOperc, produtoComissao, vendedorComissao,
      compProdCusto, compProdMedio, custoGerencial;
  std::optional<TTabelaCarregada<TCondPag>> condPagCarregada;
  std::optional<TTabelaCarregada<TCartCon>> cartConCarregada;
  std::optional<TTabelaCarregada<TPlanoFinanc>> planoFinancCarregado;
  // The movements of the branch (or every branch) up to the period's end,
  // with the price column of the cost policy, by grade.
  std::optional<TTabelaCarregada<std::vector<MovimentoGrade>>> movimentos;
  bool movimentosMedio = false;  // their price is PrecoMedio
};

// FPrecoCusto's own query object, made only when a statement has to run.
class TQueryPreguicosa {
 public:
  explicit TQueryPreguicosa(Database* banco) noexcept : banco_(banco) {}
  Query& operator*();
  Query* operator->() { return &**this; }

 private:
  Database* banco_;
  std::optional<Query> query_;
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

  // Fills the cache, in a handful of statements, with the answers of the
  // look-ups the refresh of a period asks: the per-order ones for every order
  // of PEDIDOC the order-items query can select (DATAPEDIDO between Data1 and
  // Data2, branch Empresa unless empty, FATURADO as MostraPedidos selects),
  // and the small tables whole (the movements and costs of the branch). Each
  // answer is the one the look-up's own statement gives in the snapshot;
  // whatever a set-based statement cannot answer exactly is left out, and that
  // look-up runs its own statement when asked. A load whose statement fails
  // (the per-order look-ups as a whole, or one table) is left out too (the
  // look-ups' own statements then report the error where the calculation
  // meets it).
  // REQUIRES: the cache on; runs in the attachment's current transaction
  // (the refresh's snapshot).
  void CarregaPeriodo(const QString& Empresa, const QString& MostraPedidos, TDateTime Data1,
                      TDateTime Data2);

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
  int TipoCusto(TQueryPreguicosa& QAux);
  double PrecoCustoAtual(TQueryPreguicosa& QAux, const QString& CodEmpresa, const QString& CodProd);
  double PrecoMedioAtual(TQueryPreguicosa& QAux, const QString& CodEmpresa, const QString& CodProd);
  double PrecoGerencial(TQueryPreguicosa& QAux, const QString& CodEmpresa, const QString& CodProd,
                        const QString& CodGrade);
  std::optional<TMovimento> UltimoMovimento(TQueryPreguicosa& QAux, const QString& CodEmpresa,
                                            const QString& CodProd, const QString& CodGrade,
                                            TDateTime DataVenda);
  // Column "PrecoCusto" or "PrecoMedio" of one movement.
  enum class PrecoMovimento { Custo, Medio };
  double PrecoDoMovimento(TQueryPreguicosa& QAux, PrecoMovimento Preco, const QString& CodEmpresa,
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
  // The grade's movements (key CodEmpresa, CodProd, CodGrade): from the
  // period's movements, or read once by a statement of the grade.
  const std::vector<TCacheConsultas::MovimentoGrade>* MovimentosDaGrade(TQueryPreguicosa& QAux,
                                                                        const TChave& grade);
  std::optional<TMovimento> UltimoMovimentoDaGrade(TQueryPreguicosa& QAux,
                                                   const QString& CodEmpresa,
                                                   const QString& CodProd, const QString& CodGrade,
                                                   TDateTime DataVenda);
  template <typename K, typename T, typename Consulta>
  T Lembra(QHash<K, T>* respostas, const K& chave, bool usaQryAuxiliar, Consulta&& consulta,
           const std::optional<TTabelaCarregada<T>>* tabela = nullptr);

  // The loads of CarregaPeriodo, each one statement.
  struct Periodo;
  // The period's orders and their per-order look-ups (closing record, sum
  // of the lines, cheques, financing, agreement documents, installments).
  void CarregaPedidos(Periodo& p);
  void CarregaTabelas(const Periodo& p);
  void CarregaMovimentos(const Periodo& p, bool medio);

  TdmRentabilidade& dm_;
  std::unique_ptr<TCacheConsultas> cache_;
};

}  // namespace margivo
