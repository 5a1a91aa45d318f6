#include "gadget/incremental.h"

#include <QHash>
#include <QMultiHash>
#include <QSet>
#include <algorithm>
#include <optional>
#include <vector>

#include "engine/dmrent.h"
#include "framework/db/database.h"
#include "framework/db/query.h"
#include "gadget/itenspedidos.h"

namespace margivo {

namespace {

// Changed orders above which reading the whole period is the cheaper way:
// re-reading an order costs its own statements (its rows, its closing record,
// its payments, the costs of its products), a millisecond or so, against
// about the time of the order-items query for the whole period.
int limite(int pedidos) { return std::max(200, pedidos / 20); }

// A code as the database compares it.
QStringView semBrancos(QStringView s) {
  qsizetype n = s.size();
  while (n > 0 && s.at(n - 1) == u' ') --n;
  return s.first(n);
}
QString chaveCanonica(const QStringList& k) {
  QString r;
  for (int i = 0; i < 3; ++i) {
    if (i > 0) r += u'\x1f';
    r += semBrancos(k.value(i));
  }
  return r;
}

}  // namespace

TAtualizacaoIncremental::TAtualizacaoIncremental() = default;
TAtualizacaoIncremental::~TAtualizacaoIncremental() = default;

std::size_t TAtualizacaoIncremental::bytes() const noexcept {
  return valida_ ? memoria_.bytes() + monitor_.bytes() : 0;
}

void TAtualizacaoIncremental::esquece() noexcept {
  valida_ = false;
  ultimo_ = {};
  contagens_.clear();
  monitor_.esquece();
  try {
    memoria_.inicia();
  } catch (...) {
  }
}

bool TAtualizacaoIncremental::podeServir(const Chave& chave) const {
  return valida_ && memoria_.usavel() && monitor_.temBase() && chave == chave_ &&
         !idade_.hasExpired(validadeMs_) && !leituraCompleta_;
}

void TAtualizacaoIncremental::iniciaRegistro(TdmRentabilidade& dm, bool figurasCompletas) {
  esquece();
  memoria_.inicia(figurasCompletas);
  dm.registraContribuicao(&contribuicao_);
}

Query::RowObserver TAtualizacaoIncremental::observaLinhas() { return memoria_.observaLinhas(); }

void TAtualizacaoIncremental::registraProduto(const Query& qry) {
  memoria_.registraProduto(qry, contribuicao_);
}

void TAtualizacaoIncremental::registraFrete(const Query& qry) {
  memoria_.registraFrete(qry, contribuicao_);
}

QSet<QString> TAtualizacaoIncremental::tabelasContadasAParte() {
  return {QStringLiteral("PEDIDOI"), QStringLiteral("ENCEFAT"), QStringLiteral("PRETERC")};
}

void TAtualizacaoIncremental::registraContagens(TdmRentabilidade& dm) {
  contagens_.clear();
  dm.contaRegistrosDoPeriodo([this](const TContagensDoPedido& c) {
    const quint64 pedido =
        TMonitorAlteracoes::hashDaChave({c.CODEMPRESA, c.TIPOPEDIDO, c.CODPEDIDO});
    if (c.linhas > 0)
      contagens_[QStringLiteral("PEDIDOI")].emplace_back(pedido,
                                                         static_cast<std::uint32_t>(c.linhas));
    if (c.fechamentos > 0) {
      contagens_[QStringLiteral("ENCEFAT")].emplace_back(pedido,
                                                         static_cast<std::uint32_t>(c.fechamentos));
    }
    if (c.cheques.value_or(0) > 0) {
      contagens_[QStringLiteral("PRETERC")].emplace_back(
          TMonitorAlteracoes::hashDaChave({c.empresaDosCheques, c.documento}),
          static_cast<std::uint32_t>(*c.cheques));
    }
  });
}

void TAtualizacaoIncremental::concluiRegistro(const Chave& chave,
                                              TMonitorAlteracoes::LeituraParalela& base,
                                              const TAtualizacaoRentabilidade& gadget,
                                              const ResultadoAtualizacao& resultado) {
  valida_ = false;
  leituraCompleta_ = false;
  if (!memoria_.conclui()) {
    motivo_ = QStringLiteral("linhas fora da ordem esperada");
    esquece();
    return;
  }
  try {
    monitor_.defineBase(base, std::move(contagens_));
    contagens_.clear();
  } catch (const std::exception&) {
    motivo_ = QStringLiteral("sem leitura do estado do banco");
    esquece();
    return;
  }
  ultimo_ = {
      memoria_.temPercentuaisDoItem(), gadget.totais,          gadget.figuras, resultado.rows,
      resultado.chamadasProduto,       resultado.chamadasFrete};
  chave_ = chave;
  idade_.start();
  valida_ = true;
}

bool TAtualizacaoIncremental::compensa(const Chave& chave) const {
  if (!(chave == chaveCusto_) || msCompleta_ < 0 || msIncremental_ < 0) return true;
  return msIncremental_ <= custoDesprezivelMs_ || msIncremental_ <= 2 * msCompleta_;
}

void TAtualizacaoIncremental::registraCusto(const Chave& chave, bool incremental, qint64 ms) {
  if (!(chave == chaveCusto_)) {
    chaveCusto_ = chave;
    msCompleta_ = msIncremental_ = -1;
  }
  (incremental ? msIncremental_ : msCompleta_) = ms;
}

void TAtualizacaoIncremental::calcula(TAtualizacaoRentabilidade& gadget, TdmRentabilidade& dm,
                                      const Query& qry, const QString& opcao) {
  // The call's own figures and totals: what it did is what contribuicao_
  // records.
  FigurasItem f;
  TotaisRentabilidade t;
  dm.PCalculaValoresRentabilidade(
      QStringLiteral("Ped"), opcao, gadget.MCustoOp, gadget.MCustoVd, gadget.MCustoFn,
      gadget.VlrParcelas, gadget.DtParcelas, qry, qry, f.MAquisicao, f.MValorDaVenda,
      f.MQtdeVendida, f.MOperacional, f.MCustoParcVd, f.MComissao, f.MImpostos, f.MDescontoPV,
      f.MTxCondPag, f.MOutros, f.MCustoTotVd, f.MMargemBrtLcr, f.MMargemOpLcr, f.MPercLucroBrt,
      f.MPercLucroOpe, t.MTotCustoParcVd, t.MTotValorDaVenda, t.MTotComissao, t.MTotImpostos,
      t.MTotDescontoPV, t.MTotTxCondPag, t.MTotOutros, t.MTotCustoTotVd, t.MTotMargemBrtLcr,
      t.MTotMargemOpLcr, t.MTotPercLucroBrt, t.MTotPercLucroOpe, 0);
}

bool TAtualizacaoIncremental::atualiza(TAtualizacaoRentabilidade& gadget, Database& banco,
                                       const Chave& chave, ResultadoAtualizacao& resultado) {
  if (leituraCompleta_.exchange(false)) {
    motivo_ = QStringLiteral("configurações salvas");
    esquece();
    return false;
  }
  if (!podeServir(chave)) {
    motivo_ = QStringLiteral("sem memória para estas configurações e este dia");
    esquece();
    return false;
  }

  TMonitorAlteracoes::Periodo periodo;
  periodo.Empresa = chave.Empresa;
  periodo.MostraPedidos = chave.MostraPedidos;
  periodo.Data1 = chave.Data1;
  periodo.Data2 = chave.Data2;
  periodo.tipoCusto = TMonitorAlteracoes::leTipoCusto(banco);
  const TMonitorAlteracoes::Comparacao alteracoes = monitor_.compara(banco, periodo, memoria_);
  const auto completa = [this](const QString& motivo) {
    motivo_ = motivo;
    esquece();
    return false;
  };
  if (alteracoes.completa) return completa(alteracoes.motivo);
  if (alteracoes.alterados() > limite(memoria_.pedidosVivos()))
    return completa(QStringLiteral("%1 pedidos alterados").arg(alteracoes.alterados()));

  // The orders to read again: the memory's changed ones, by their own key,
  // and the keys of changed records that name no order of the memory (new
  // orders, or orders the period may select now).
  const auto& pedidos = memoria_.pedidos();
  std::vector<std::uint32_t> daMemoria = alteracoes.pedidosDaMemoria;
  std::vector<QStringList> novos;
  if (!alteracoes.pedidos.empty()) {
    // Each changed key once, as the database compares it, found among the
    // memory's living orders (the last of two alike) by its CODPEDIDO's
    // hash: the few keys are looked for, the orders' texts are not copied.
    QSet<QString> vistos;
    std::vector<const QStringList*> chaves;
    QMultiHash<size_t, std::size_t> porCodigo;
    for (const QStringList& k : alteracoes.pedidos) {
      const QString canonica = chaveCanonica(k);
      if (vistos.contains(canonica)) continue;
      vistos.insert(canonica);
      porCodigo.insert(qHash(semBrancos(k.value(2))), chaves.size());
      chaves.push_back(&k);
    }
    std::vector<std::optional<std::uint32_t>> achados(chaves.size());
    for (std::uint32_t i = 0; i < pedidos.size(); ++i) {
      const auto& p = pedidos[i];
      if (!p.vivo) continue;
      const QStringView codigo = semBrancos(memoria_.vista(p.CODPEDIDO));
      const size_t h = qHash(codigo);
      for (auto it = porCodigo.constFind(h); it != porCodigo.cend() && it.key() == h; ++it) {
        const QStringList& k = *chaves[*it];
        if (codigo == semBrancos(k.value(2)) &&
            semBrancos(memoria_.vista(p.TIPOPEDIDO)) == semBrancos(k.value(1)) &&
            semBrancos(memoria_.vista(p.CODEMPRESA)) == semBrancos(k.value(0)))
          achados[*it] = i;
      }
    }
    for (std::size_t j = 0; j < chaves.size(); ++j) {
      if (achados[j])
        daMemoria.push_back(*achados[j]);
      else
        novos.push_back(*chaves[j]);
    }
  }

  if (!daMemoria.empty() || !novos.empty()) {
    TdmRentabilidade dm;
    dm.AdicionaGadget(&gadget);
    dm.AssociaConexoes();
    dm.usaCacheDeConsultas(true);
    dm.registraContribuicao(&contribuicao_);
    Query qry(&banco);
    const auto le = [&](const QStringList& pedido) {
      ConsultaItensDoPedido(qry, chave.Empresa, chave.MostraPedidos, chave.Data1, chave.Data2,
                            pedido);
    };
    const auto chaveDe = [&](std::uint32_t i) {
      const auto& p = memoria_.pedidos()[i];
      return QStringList{memoria_.texto(p.CODEMPRESA), memoria_.texto(p.TIPOPEDIDO),
                         memoria_.texto(p.CODPEDIDO)};
    };
    // Replaces the orders `velhos` of the memory and reads `aLer` (their
    // keys and new ones), then makes the freight calls of their CODPEDIDOs
    // again.
    const auto substitui = [&](std::vector<std::uint32_t> velhos, std::vector<QStringList> aLer) {
      std::sort(velhos.begin(), velhos.end());
      velhos.erase(std::unique(velhos.begin(), velhos.end()), velhos.end());
      std::vector<QStringList> chaves;
      for (const std::uint32_t i : velhos) chaves.push_back(chaveDe(i));
      chaves.insert(chaves.end(), aLer.begin(), aLer.end());
      memoria_.removePedidos(velhos);
      for (const QStringList& pedido : chaves) {
        le(pedido);
        for (qry.first(); !qry.eof(); qry.next()) {
          calcula(gadget, dm, qry, QStringLiteral("Produto"));
          memoria_.registraProduto(qry, contribuicao_);
        }
      }
      memoria_.concluiSubstituicao();
      // The freight at the first row met of each CODPEDIDO touched.
      for (const std::uint32_t i : memoria_.fretesACalcular()) {
        le(chaveDe(i));
        if (qry.isEmpty()) throw TOrdemDesconhecida();
        calcula(gadget, dm, qry, QStringLiteral("Frete"));
        memoria_.registraFrete(qry, contribuicao_);
      }
      if (!memoria_.usavel()) throw TOrdemDesconhecida();
    };
    substitui(std::move(daMemoria), std::move(novos));
    // The gadget is left with the last call's figures: that call keeps them
    // all once its order is read again.
    if (const auto ultimo = memoria_.pedidoDaUltimaChamadaIncompleta()) substitui({*ultimo}, {});
    ultimo_.valido = false;
  }

  if (ultimo_.valido && !chave.guardarItens) {
    // Nothing changed: the figures of the refresh before.
    gadget.totais = ultimo_.totais;
    gadget.figuras = ultimo_.figuras;
    resultado.rows = ultimo_.linhas;
    resultado.chamadasProduto = ultimo_.chamadasProduto;
    resultado.chamadasFrete = ultimo_.chamadasFrete;
  } else {
    FigurasItem figuras = gadget.figuras;
    TotaisRentabilidade totais;
    memoria_.reaplica(totais, figuras, resultado.rows, resultado.chamadasProduto,
                      resultado.chamadasFrete, chave.guardarItens ? &resultado.itens : nullptr);
    gadget.totais = totais;
    gadget.figuras = figuras;
    ultimo_ = {
        memoria_.temPercentuaisDoItem(), totais, figuras, resultado.rows, resultado.chamadasProduto,
        resultado.chamadasFrete};
  }
  resultado.totais = gadget.totais;
  resultado.incremental = true;
  monitor_.avanca();
  motivo_.clear();
  return true;
}

}  // namespace margivo
