// Internal to the engine. The database look-ups of the calculation, one
// method per kind of look-up, for the order path and the quote path alike:
// every statement the calculation runs is here.
//
// Every look-up runs the ERP statement on the data module's query that the
// calculation has always used for it (or on a query object of its own where
// the calculation creates one), leaves that query open as the steps expect,
// and hands the values back as a plain record. The steps read only these
// records, never the queries, so the order path's look-ups can be answered
// from a per-refresh memory (cache_p.h) without touching the steps: the
// result of each method depends only on its arguments and on the database.
// The quote path's look-ups always run: a refresh never prices a quote.
//
// A missing row, or a null column, reads as 0 or empty text.
// Errors: every method may throw DatabaseError (ConversionError for a column
// whose text does not convert).
#pragma once

#include <QHash>
#include <QString>
#include <initializer_list>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include "engine/consultas/cache_p.h"
#include "engine/consultas/registros_p.h"
#include "framework/datetime.h"
#include "framework/db/query.h"

namespace margivo {

class Database;
class TdmRentabilidade;

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

  // With the cache on, each distinct look-up of the order path runs once and
  // is answered from memory afterwards. REQUIRES: on only for the length of
  // one read snapshot (one refresh). Turning it off forgets every answer.
  void ativaCache(bool ativo);
  bool cacheAtivo() const noexcept { return cache_ != nullptr; }
  // The memory the period loads fill; null with the cache off.
  TCacheConsultas* cache() noexcept { return cache_.get(); }
  // The connection's database, which the module's queries are bound to.
  Database* banco() const;

  // --- Order path.

  // Product's own operating-cost percentage (Produto.CustoOperc); qryAuxiliar.
  double custoOperacionalProduto(const QString& codProd);

  // PARAPDV, current row of qryParaPDV (opened when it is not open yet).
  void abreParaPDV();
  QString incluiComissaoRentabilidade();
  double txJurosCh();

  // PARATLM, current row of ParaTlm (opened by AssociaConexoes).
  QString gerarRecDataEntrega();
  QString gerarRecDataFatura();

  // PARARENTABILIDADE.TIPOCOMISSAO, on a query object of its own.
  QString tipoComissao();
  // Vendend.Comissao and Produto.Comissao; qryAuxiliar.
  double comissaoVendedor(const QString& codVendedor);
  double comissaoProduto(const QString& codProd);

  // The cost look-ups run on FPrecoCusto's own query object QAux.
  int tipoCusto(TQueryPreguicosa& QAux);
  double precoCustoAtual(TQueryPreguicosa& QAux, const QString& codEmpresa, const QString& codProd);
  double precoMedioAtual(TQueryPreguicosa& QAux, const QString& codEmpresa, const QString& codProd);
  double precoGerencial(TQueryPreguicosa& QAux, const QString& codEmpresa, const QString& codProd,
                        const QString& codGrade);
  std::optional<TMovimento> ultimoMovimento(TQueryPreguicosa& QAux, const QString& codEmpresa,
                                            const QString& codProd, const QString& codGrade,
                                            TDateTime dataVenda);
  // Column "PrecoCusto" or "PrecoMedio" of one movement.
  enum class PrecoMovimento { Custo, Medio };
  double precoDoMovimento(TQueryPreguicosa& QAux, PrecoMovimento preco, const QString& codEmpresa,
                          const QString& codProd, const QString& codGrade,
                          const TMovimento& movimento);

  // Tells the memory which order the calculation is at (CodEmpresa,
  // TipoPedido, CodPedido): its look-ups are answered from what the period
  // read for it without a search each, the cheques' and the financing's
  // included, whose keys are not the order's. Changes no answer.
  void calculaPedido(const QString& codEmpresa, const QString& tipoPedido,
                     const QString& codPedido) {
    respostasDoPedido(codEmpresa, tipoPedido, codPedido);
  }
  // Sum of the order's item lines, on a query object of its own.
  double totalItensPedido(const QString& codEmpresa, const QString& codPedido,
                          const QString& tipoPedido);
  // OrcCabe.TotalOrcamento of a quote; qryAuxiliar.
  double valorDaTroca(const QString& codEmpresa, const QString& codTroca);

  // CONDPAG row of a condition; qryAuxiliar.
  TCondPag condPag(const QString& codPrazo);
  // EnceFat row of an order; qryTemp.
  TEnceFat enceFat(const QString& codEmpresa, const QString& tipoPedido, const QString& codPedido);
  // PreTerc rows of a document; qryAuxiliar.
  std::vector<TChequePreDatado> chequesPreDatados(const QString& codEmpresa,
                                                  const QString& numDocOrig);
  // Financiamento row of a sale; qryTemp.
  TFinanciamento financiamento(const QString& codEmpresa, const QString& codVenda);
  // Financeira + PlanosFinanc row of a plan; qryTemp.
  TPlanoFinanc planoFinanc(const QString& codFinanceira, const QString& codPlano,
                           const QString& descFormaPgto);
  // ConvEnceFat x DocuRec rows of an order, in the database's order; qryAux.
  std::vector<TDocumentoConvenio> documentosConvenio(const QString& codEmpresa,
                                                     const QString& tipoPedido,
                                                     const QString& codPedido);
  // CARTCON row of an agreement; qryTemp.
  TCartCon cartCon(const QString& codigo);
  // The order's ParcPedC installments up to (not including) the first one
  // whose amount is not positive, at most 24; qryAux.
  std::vector<TParcelaPedido> parcelasPedido(const QString& codEmpresa, const QString& tipoPedido,
                                             const QString& codPedido);

  // --- Quote path, each on qryTemp unless said otherwise.

  // Financiamento row of the quote.
  TFinanciamentoOrc financiamentoOrcamento(const QString& codEmpresa, const QString& codOrc);
  // ORCCONVENIO.CODCONVENIO of the quote's payment term `sequencia` ("1" or
  // "2").
  QString convenioOrcamento(const QString& codEmpresa, const QString& codOrc,
                            const QString& sequencia);
  // CARTCON row of an agreement.
  TCartConOrc cartConOrcamento(const QString& codigo);
  // Financeira + PlanosFinanc row of a plan.
  TPlanoOrc planoOrcamento(const QString& codFinanceira, const QString& codPlano,
                           const QString& descFormaPgto);
  // Opens the quote's OrcCabe row in qrySelecaoOrc (closed first).
  void abreOrcamento(const QString& codEmpresa, const QString& codOrc);
  // VlrParc01 of the quote header open in qrySelecaoOrc.
  double valorParc01Orcamento();

 private:
  // qryAuxiliar for a look-up other than condPag.
  Query& usaQryAuxiliar();
  // qryAuxiliar no longer stands on the condition fbAbreDadosFinanc opened
  // last.
  void esqueceCondPag() noexcept;
  // The grade's movements (key CodEmpresa, CodProd, CodGrade): from the
  // period's movements, or read once by a statement of the grade.
  const std::vector<TCacheConsultas::MovimentoGrade>* movimentosDaGrade(TQueryPreguicosa& QAux,
                                                                        const TChave& grade);
  // ultimoMovimento from the grade's movements, read once per refresh.
  std::optional<TMovimento> ultimoMovimentoDaGrade(TQueryPreguicosa& QAux,
                                                   const QString& codEmpresa,
                                                   const QString& codProd, const QString& codGrade,
                                                   TDateTime dataVenda);
  // The period's answers for the order (CodEmpresa, TipoPedido, CodPedido),
  // kept as the order found last; null when the period did not read it.
  const TRespostasDoPedido* respostasDoPedido(const QString& codEmpresa, const QString& tipoPedido,
                                              const QString& codPedido);
  // `consulta()`, or its answer: from `tabela` when that table read whole
  // can tell, else kept in `respostas` under `chave` (the look-up runs when
  // there is no cache, `respostas` null, or no answer yet).
  // `usaQryAuxiliar`: the look-up runs on qryAuxiliar.
  template <typename K, typename T, typename Consulta>
  T lembra(QHash<K, T>* respostas, const K& chave, bool usaQryAuxiliar, Consulta&& consulta,
           const std::optional<TTabelaCarregada<T>>* tabela = nullptr);

  TdmRentabilidade& dm_;
  std::unique_ptr<TCacheConsultas> cache_;
};

// Closes `q` and gives it a new statement, one line per entry.
void preparaConsulta(Query& q, std::initializer_list<QString> linhas);

template <typename K, typename T, typename Consulta>
T TConsultasRentabilidade::lembra(QHash<K, T>* respostas, const K& chave, bool usaQryAuxiliar,
                                  Consulta&& consulta,
                                  const std::optional<TTabelaCarregada<T>>* tabela) {
  if (respostas == nullptr) return consulta();
  if (tabela != nullptr && tabela->has_value()) {
    if constexpr (std::is_same_v<K, TChave>) {
      const T* valor = nullptr;
      const TCobertura cobertura = (*tabela)->procura(chave, valor);
      if (cobertura != TCobertura::Fora) {
        if (usaQryAuxiliar) esqueceCondPag();
        return cobertura == TCobertura::Linha ? *valor : T{};
      }
    }
  }
  if (const auto it = respostas->constFind(chave); it != respostas->constEnd()) {
    // Answered from memory, the look-up still leaves qryAuxiliar off the
    // condition opened last, as running it would.
    if (usaQryAuxiliar) esqueceCondPag();
    return *it;
  }
  T resposta = consulta();
  respostas->insert(chave, resposta);
  return resposta;
}

}  // namespace margivo
