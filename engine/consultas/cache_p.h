// Internal to the engine's data access. The memory of one refresh: the
// answers of the look-ups already run, and the tables the period loads read
// whole.
#pragma once

#include <QHash>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "engine/consultas/registros_p.h"
#include "engine/consultas/tabelacarregada_p.h"
#include "engine/dmrent.h"
#include "framework/datetime.h"

namespace margivo {

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

// What the period's load read for one of its orders (key CodEmpresa,
// TipoPedido, CodPedido), each answer as its look-up gives it when asked
// with this order's own key: the sum of the lines (totalItensPedido with
// CodEmpresa, CodPedido, TipoPedido); the closing record, the agreement
// documents and the installments (the order's key); the cheques (branch
// `empresaDosPagamentos`, document TipoPedido || CodPedido) and the
// financing (`empresaDosPagamentos`, CodPedido). An answer the load could not
// give exactly is absent, and its look-up runs.
struct TRespostasDoPedido {
  QString empresaDosPagamentos;
  double totalItens = 0;
  std::optional<TEnceFat> enceFat;
  std::optional<std::vector<TChequePreDatado>> cheques;
  std::optional<TFinanciamento> financiamento;
  std::optional<std::vector<TDocumentoConvenio>> documentos;
  std::optional<std::vector<TParcelaPedido>> parcelas;
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
  // Told, as the period's orders are read, how many records of each order
  // the period's statements found (when set).
  std::function<void(const TContagensDoPedido&)> aoContarPedido;
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

  // The period's orders, read by its load. The items come in product order,
  // so each item's order is somewhere else in the table: the calculation
  // says which order it is at (TConsultasRentabilidade::calculaPedido) and
  // that order is kept here, so that its look-ups find it without a search
  // each (and the cheques' and the financing's, whose keys are not the
  // order's, find it at all). The pointers are into `pedidos`: whatever adds
  // to it resets them.
  QHash<TChave, TRespostasDoPedido> pedidos;
  struct {
    const TChave* chave = nullptr;
    const TRespostasDoPedido* respostas = nullptr;
  } pedidoAtual;

  // Tables read whole by the period loads; empty when not read.
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

}  // namespace margivo
