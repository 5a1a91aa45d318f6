#include "gadget/atualizacao.h"

#include <QElapsedTimer>
#include <QSet>

#include "engine/dmrent.h"
#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/db/database.h"
#include "framework/db/query.h"
#include "framework/funcoes.h"
#include "framework/regional.h"
#include "gadget/incremental.h"
#include "gadget/itenspedidos.h"
#include "gadget/periodo.h"
#include "gadget/selecaopedidos.h"

namespace margivo {

TAtualizacaoRentabilidade::TAtualizacaoRentabilidade(TConexao& conexao, TConfig& config)
    : VlrParcelas(kNumParcelas, 0.0),
      DtParcelas(kNumParcelas, 0.0),
      conexao_(&conexao),
      config_(&config),
      incremental_(std::make_shared<TAtualizacaoIncremental>()) {}

void TAtualizacaoRentabilidade::setMemoria(std::shared_ptr<TAtualizacaoIncremental> memoria) {
  if (memoria) incremental_ = std::move(memoria);
}

TAtualizacaoRentabilidade::~TAtualizacaoRentabilidade() = default;

QDate TAtualizacaoRentabilidade::Hoje() const {
  if (hojeFixo_.isValid()) return hojeFixo_;
  if (hojeDaAtualizacao_.isValid()) return hojeDaAtualizacao_;
  return QDate::currentDate();
}

void TAtualizacaoRentabilidade::ZeraVariaveis() {
  totais = TotaisRentabilidade{};
  MTotOperacional = 0;
}

void TAtualizacaoRentabilidade::LimpaCampos(ResultadoAtualizacao& resultado) {
  const QString zero = formatMoney(0);
  for (const FiguraPainel& figura : kFigurasPainel) resultado.*figura.texto = zero;
}

void TAtualizacaoRentabilidade::IniciarGadget(ResultadoAtualizacao& resultado,
                                              const OpcoesAtualizacao& opcoes) {
  resultado = ResultadoAtualizacao{};
  // A refresh that fails leaves no memory: the next one reads the whole
  // period.
  struct EsqueceSeFalhar {
    TAtualizacaoIncremental& memoria;
    bool concluida = false;
    ~EsqueceSeFalhar() {
      if (!concluida) memoria.esquece();
    }
  } esquece{*incremental_};
  // One "today" for the whole refresh, so a refresh running across midnight
  // computes its period and its payment terms from the same day.
  hojeDaAtualizacao_ = hojeFixo_.isValid() ? hojeFixo_ : QDate::currentDate();
  TConfig& config = *config_;

  // The branch name comes through the same settings file as the rest of the
  // settings, also when that is not the default one (the report tool's
  // --config).
  resultado.lblNomeFilial = config.Empresa.isEmpty() ? QStringLiteral("Todas as Filiais")
                                                     : NomeFilial(config.Empresa, config.arquivo());

  AtualizaDatas(config, Hoje());
  resultado.DataInicial = config.DataInicial;
  resultado.DataFinal = config.DataFinal;
  if (std::optional<QString> legenda = LegendaPeriodo(config)) resultado.lblPeriodo = *legenda;
  const auto [data1, data2] = DatasDoPeriodo(config);

  bool vazia = false;
  {
    // The database in use for this refresh only: in local mode the file is
    // attached here and let go at the end, so between refreshes other
    // programs can open it, and a file replaced or removed meanwhile is
    // met here.
    const ScopedAttachment emUso(*conexao_);
    Database* banco = &emUso.database();
    // The reference path runs every statement as the ERP's code does: its
    // text set, prepared, run and freed, once per look-up.
    struct ReusoDeInstrucoes {
      Database& banco;
      const bool antes;
      ReusoDeInstrucoes(Database& b, bool reusa) : banco(b), antes(b.reusesStatements()) {
        banco.setReusesStatements(reusa);
      }
      ~ReusoDeInstrucoes() { banco.setReusesStatements(antes); }
    } reuso(*banco, opcoes.caminhoRapido);
    const bool pedeIncremental = opcoes.caminhoRapido && opcoes.incremental;
    TAtualizacaoIncremental::Chave chave;
    if (pedeIncremental) {
      chave = {banco->name(),
               config.Usuario,
               config.Empresa,
               config.MostraPedidos,
               data1,
               data2,
               Hoje(),
               MCustoOp,
               MCustoVd,
               MCustoFn,
               VlrParcelas,
               DtParcelas,
               opcoes.guardarItens};
    }
    // A memory is kept and used only while it pays for this key.
    const bool incremental = pedeIncremental && incremental_->compensa(chave);
    QElapsedTimer custo;
    custo.start();

    // Every read of the refresh sees one snapshot, which is committed as soon
    // as its reads are over so it never holds back the ERP's housekeeping.
    bool daMemoria = false;
    if (incremental && incremental_->podeServir(chave)) {
      if (opcoes.progresso) opcoes.progresso(0, 0);
      ReadScope leitura(*banco);
      // Whatever fails on the way, the whole period is read instead: its
      // figures, or its error, are those of a full refresh.
      const FigurasItem figurasAntes = figuras;
      try {
        daMemoria = incremental_->atualiza(*this, *banco, chave, resultado);
      } catch (const std::exception&) {
        incremental_->esquece();
      }
      if (daMemoria) {
        leitura.end();
        incremental_->registraCusto(chave, true, custo.elapsed());
        vazia = resultado.rows == 0;
        if (opcoes.progresso) opcoes.progresso(2 * resultado.rows, 2 * resultado.rows);
      } else {
        figuras = figurasAntes;
        resultado.rows = resultado.chamadasProduto = resultado.chamadasFrete = 0;
        resultado.itens.clear();
      }
    }
    if (!daMemoria) {
      custo.start();
      // What the next refresh compares with is read beside this one, on an
      // attachment of its own whose snapshot starts first.
      std::optional<TMonitorAlteracoes::LeituraParalela> base;
      if (incremental) {
        TMonitorAlteracoes::Periodo periodo;
        periodo.Empresa = config.Empresa;
        periodo.MostraPedidos = config.MostraPedidos;
        periodo.Data1 = data1;
        periodo.Data2 = data2;
        base.emplace(banco->name(), config.Usuario, config.Senha, periodo,
                     TAtualizacaoIncremental::tabelasContadasAParte());
        if (!base->iniciada()) base.reset();
      }
      ReadScope leitura(*banco);
      {
        TdmRentabilidade dmRentabilidade;
        dmRentabilidade.AdicionaGadget(this);
        dmRentabilidade.AssociaConexoes();
        // The module lives for this refresh only, inside its snapshot.
        dmRentabilidade.usaCacheDeConsultas(opcoes.caminhoRapido);
        // The calls are recorded for the next refresh.
        registrando_ = incremental && base.has_value();
        if (registrando_) {
          incremental_->iniciaRegistro(dmRentabilidade, opcoes.guardarItens);
          incremental_->registraContagens(dmRentabilidade);
        }
        if (opcoes.caminhoRapido) {
          // The orders the items query selects, and no order after the period.
          dmRentabilidade.carregaConsultasDoPeriodo(
              selecaoPedidos(config.Empresa, config.MostraPedidos, data1, data2),
              toTDateTime(data2));
        }

        Query QryItensPedidos(banco);
        QryItensPedidos.setTransaction(conexao_->getTransaction());
        // The fast path reads the rows as it calculates them and keeps only
        // the ones the freight pass needs: a year's rows never sit in memory.
        QryItensPedidos.setUnidirectional(opcoes.caminhoRapido);
        // The engine fetches the next rows while the current one is
        // calculated.
        QryItensPedidos.setReadAhead(opcoes.caminhoRapido);
        // The rows recorded for the next refresh are read as they are fetched,
        // beside the calculation.
        if (registrando_ && opcoes.caminhoRapido)
          QryItensPedidos.setRowObserver(incremental_->observaLinhas());
        // The base is read from here on, on its snapshot taken first: beside
        // the items query's sort, which leaves a processor idle, rather than
        // beside the period's look-ups, which keep both busy.
        if (base) base->le();
        ConsultaItensPedidos(QryItensPedidos, config.Empresa, config.MostraPedidos, data1, data2);
        ZeraVariaveis();
        resultado.totais = totais;
        vazia = QryItensPedidos.isEmpty();
        if (!vazia && opcoes.caminhoRapido) {
          passesEmFluxo(QryItensPedidos, dmRentabilidade, resultado, opcoes);
        } else if (!vazia) {
          resultado.rows = QryItensPedidos.recordCount();
          passes(QryItensPedidos, dmRentabilidade, resultado, opcoes);
        }
        dmRentabilidade.registraContribuicao(nullptr);
      }
      leitura.end();
      // The period's own read, without waiting for the base beside it.
      const qint64 msLeitura = custo.elapsed();
      if (registrando_) {
        registrando_ = false;
        // A base that could not be read only costs the next refresh its
        // memory.
        incremental_->concluiRegistro(chave, *base, *this, resultado);
      } else if (pedeIncremental) {
        incremental_->esquece();
      }
      if (pedeIncremental) incremental_->registraCusto(chave, false, msLeitura);
    }
  }

  LimpaCampos(resultado);
  if (!vazia) escreveFiguras(resultado);
  esquece.concluida = true;
}

void TAtualizacaoRentabilidade::passes(Query& qry, TdmRentabilidade& dm,
                                       ResultadoAtualizacao& resultado,
                                       const OpcoesAtualizacao& opcoes) {
  const int total = 2 * resultado.rows;
  int feitas = 0;
  const auto avanca = [&] {
    ++feitas;
    if (opcoes.progresso) opcoes.progresso(feitas, total);
  };
  if (opcoes.progresso) opcoes.progresso(0, total);

  // Every item row once.
  for (qry.first(); !qry.eof(); qry.next()) {
    calcularLinha(dm, qry, QStringLiteral("Produto"), resultado, opcoes.guardarItens);
    avanca();
  }

  QSet<QString> PedidosVerificados;
  for (qry.first(); !qry.eof(); qry.next()) {
    if (CalculaFrete(qry, PedidosVerificados))
      calcularLinha(dm, qry, QStringLiteral("Frete"), resultado, opcoes.guardarItens);
    avanca();
  }
}

bool TAtualizacaoRentabilidade::CalculaFrete(const Query& qry, QSet<QString>& PedidosVerificados) {
  // The freight of every order once, at the first row met of that order. An
  // order is known by its CODPEDIDO alone, compared without regard to case,
  // so of two orders sharing a number only the first gets its freight.
  const QString pedido = qry.fieldByName("CODPEDIDO").asString().toCaseFolded();
  if (PedidosVerificados.contains(pedido)) return false;
  PedidosVerificados.insert(pedido);
  return qry.fieldByName("FRETE").asFloat() != 0;
}

void TAtualizacaoRentabilidade::passesEmFluxo(Query& qry, TdmRentabilidade& dm,
                                              ResultadoAtualizacao& resultado,
                                              const OpcoesAtualizacao& opcoes) {
  // The same calls in the same order as passes(): the product pass over the
  // rows as they arrive, keeping the rows whose freight is calculated; then
  // the freight pass over those rows alone.
  if (opcoes.progresso) opcoes.progresso(0, 0);
  QSet<QString> PedidosVerificados;
  int linhas = 0;
  for (; !qry.eof(); qry.next()) {
    calcularLinha(dm, qry, QStringLiteral("Produto"), resultado, opcoes.guardarItens);
    if (registrando_) incremental_->registraProduto(qry);
    if (CalculaFrete(qry, PedidosVerificados)) qry.retainRow();
    resultado.rows = ++linhas;
    if (opcoes.progresso) opcoes.progresso(linhas, 0);
  }

  qry.useRetainedRows();
  const int fretes = qry.recordCount();
  int feitos = 0;
  for (qry.first(); !qry.eof(); qry.next()) {
    calcularLinha(dm, qry, QStringLiteral("Frete"), resultado, opcoes.guardarItens);
    if (registrando_) incremental_->registraFrete(qry);
    ++feitos;
    // The freight pass stands for the second half of the steps.
    if (opcoes.progresso)
      opcoes.progresso(linhas + int(qint64(feitos) * linhas / fretes), 2 * linhas);
  }
  if (opcoes.progresso && fretes == 0) opcoes.progresso(2 * linhas, 2 * linhas);
}

void TAtualizacaoRentabilidade::calcularLinha(TdmRentabilidade& dm, const Query& qry,
                                              const QString& opcao, ResultadoAtualizacao& resultado,
                                              bool guardarItens) {
  FigurasItem& f = figuras;
  TotaisRentabilidade& t = totais;
  // The gadget keeps no trade-in table, so an order's trade-in credit is 0.
  const double MTotTroca = 0;
  dm.PCalculaValoresRentabilidade(
      QStringLiteral("Ped"), opcao, MCustoOp, MCustoVd, MCustoFn, VlrParcelas, DtParcelas, qry, qry,
      f.MAquisicao, f.MValorDaVenda, f.MQtdeVendida, f.MOperacional, f.MCustoParcVd, f.MComissao,
      f.MImpostos, f.MDescontoPV, f.MTxCondPag, f.MOutros, f.MCustoTotVd, f.MMargemBrtLcr,
      f.MMargemOpLcr, f.MPercLucroBrt, f.MPercLucroOpe, t.MTotCustoParcVd, t.MTotValorDaVenda,
      t.MTotComissao, t.MTotImpostos, t.MTotDescontoPV, t.MTotTxCondPag, t.MTotOutros,
      t.MTotCustoTotVd, t.MTotMargemBrtLcr, t.MTotMargemOpLcr, t.MTotPercLucroBrt,
      t.MTotPercLucroOpe, MTotTroca);

  resultado.totais = totais;
  if (opcao == QLatin1String("Frete")) {
    ++resultado.chamadasFrete;
  } else {
    ++resultado.chamadasProduto;
  }
  if (guardarItens) {
    const auto texto = [&qry](const char* coluna) {
      return qry.fieldByName(QLatin1String(coluna)).asString();
    };
    resultado.itens.push_back(ItemCalculado{opcao, texto("CODEMPRESA"), texto("TIPOPEDIDO"),
                                            texto("CODPEDIDO"), texto("CODPROD"), texto("CODGRADE"),
                                            figuras});
  }
}

void TAtualizacaoRentabilidade::escreveFiguras(ResultadoAtualizacao& resultado) const {
  const TotaisRentabilidade& t = totais;
  resultado.lblValorVendaFat = formatMoney(t.MTotValorDaVenda);
  resultado.lblValorCustoFat = formatMoney(t.MTotCustoTotVd);

  // The shares of the sale total. A period whose orders add up to no sale has
  // no such share: that is an error, never an infinite or undefined figure.
  if (t.MTotValorDaVenda == 0) {
    throw ArithmeticError(QStringLiteral(
        "Divisão por zero ao calcular \"Aquisição (%)\": o total de venda do período "
        "(MTotValorDaVenda) é 0"));
  }
  const auto percentual = [&t](double valor) { return valor * 100 / t.MTotValorDaVenda; };
  resultado.lblValorAquisCusto = formatMoney(percentual(t.MTotCustoParcVd));
  resultado.lblValorVendaCusto = formatMoney(percentual(t.MTotCustoTotVd - t.MTotCustoParcVd));
  resultado.lblValorMrgBruta = formatMoney(t.MTotMargemBrtLcr);
  resultado.lblValorMrgOper = formatMoney(t.MTotMargemOpLcr);
  // The period's profitability: its margins over its own sale total. The
  // engine's MTotPercLucroBrt/Ope divide by the total of whichever order it
  // calculated last, which depends on the row order.
  resultado.lblValorRtbBruta = formatMoney(percentual(t.MTotMargemBrtLcr));
  resultado.lblValorRtbOper = formatMoney(percentual(t.MTotMargemOpLcr));
}

}  // namespace margivo
