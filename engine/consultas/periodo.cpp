#include "engine/consultas/periodo_p.h"

#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "engine/consultas/blocopedidos_p.h"
#include "engine/consultas/consultas_p.h"
#include "framework/db/query.h"
#include "framework/regional.h"
#include "framework/sqlcondition.h"

namespace margivo {

namespace {

// Runs one load of the period. A load that fails leaves its look-ups to
// their own statements, which report the error where the calculation meets
// it. Returns whether it ran through.
template <typename Carga>
bool tenta(Carga&& carga) {
  try {
    carga();
    return true;
  } catch (const DatabaseError&) {
  } catch (const ConversionError&) {
  }
  return false;
}

// The loads of one period, each one statement.
struct TCargaPeriodo {
  TConsultasRentabilidade& consultas;
  TCacheConsultas& cache;
  Database* banco;
  const SqlCondition& pedidos;
  QString Empresa;  // empty: every branch
  TDateTime ultimoDia;
  int pedidosLidos = 0;  // orders whose look-ups were loaded

  // The branch of the payment look-ups (cheques, financing): the configured
  // one, or the order's own when none is.
  QString empresaDosPagamentos(const TChave& pedido) const {
    return Empresa.isEmpty() ? pedido.a : Empresa;
  }

  // The selected orders and their per-order look-ups (closing record, sum
  // of the lines, cheques, financing, agreement documents, installments).
  void carregaPedidos();
  void carregaTabelas();
  void carregaMovimentos(bool medio);
};

void TCargaPeriodo::carregaPedidos() {
  const std::optional<int> parcelas = colunasDeParcelas(banco);
  Query q(banco);
  q.setUnidirectional(true);  // read once, in order: nothing kept
  q.setReadAhead(true);       // the next orders are read while one is kept
  q.setParamCheck(false);     // the block's ":Name" are its variables
  const bool comEmpresa = !Empresa.isEmpty();
  q.sql() << blocoDosPedidos(pedidos, comEmpresa, parcelas);
  // The block's parameters are marked by position, in the order it declares
  // them.
  int posicao = 0;
  for (const SqlCondition::Parameter& parametro : pedidos.parameters)
    parametro.bindAs(q, QString::number(++posicao));
  if (comEmpresa) q.setString(QString::number(++posicao), Empresa);
  q.open();

  // The order being read: its 'P' row and the 'R', 'C' and 'D' rows after
  // it. Its answers go to the cache once its rows are over (at the next 'P'
  // row, or at the end), so a block that fails mid-way leaves no order half
  // answered. Only orders whose look-ups are answered are read: a key of
  // plain ASCII, no null column, each once.
  struct Pedido {
    TChave chave;  // CODEMPRESA, TIPOPEDIDO, CODPEDIDO
    // Whether TIPOPEDIDO || CODPEDIDO as the block reads the cheques is the
    // document number the calculation passes (cabecTexto("TipoPedido") +
    // cabecTexto("CodPedido")).
    bool numDoc = false;
    int fechamentos = 0;
    TEnceFat enceFat;
    double totalItens = 0;
    int linhas = 0;
    std::optional<int> financiamentos;
    TFinanciamento financiamento;
    bool comDocumentos = false, comParcelas = false;
    std::vector<TDocumentoConvenio> documentos;
    std::vector<TChequePreDatado> cheques;
    int linhasDeParcelas = 0;
    std::vector<TParcelaPedido> parcelas;
  };
  std::optional<Pedido> atual;
  // The last order found is kept by pointer into the table added to here.
  cache.pedidoAtual = {};
  const auto conclui = [&] {
    if (!atual) return;
    Pedido& r = *atual;
    const TChave& k = r.chave;
    if (cache.aoContarPedido) {
      TContagensDoPedido contagens;
      contagens.CODEMPRESA = k.a;
      contagens.TIPOPEDIDO = k.b;
      contagens.CODPEDIDO = k.c;
      contagens.linhas = r.linhas;
      contagens.fechamentos = r.fechamentos;
      if (r.numDoc) {
        contagens.cheques = static_cast<int>(r.cheques.size());
        contagens.empresaDosCheques = empresaDosPagamentos(k);
        contagens.documento = k.b + k.c;
      }
      cache.aoContarPedido(contagens);
    }
    TRespostasDoPedido respostas;
    respostas.empresaDosPagamentos = empresaDosPagamentos(k);
    respostas.totalItens = r.totalItens;
    if (r.numDoc) respostas.cheques = std::move(r.cheques);
    // Two closing records: the look-up reads the first, which its own
    // statement will find.
    if (r.fechamentos <= 1) {
      respostas.enceFat = r.enceFat;
      if (r.financiamentos && *r.financiamentos <= 1)
        respostas.financiamento = *r.financiamentos == 0 ? TFinanciamento{} : r.financiamento;
      if (r.comDocumentos) respostas.documentos = std::move(r.documentos);
      // Two installment rows: the same.
      if (r.comParcelas && r.linhasDeParcelas <= 1) respostas.parcelas = std::move(r.parcelas);
    }
    cache.pedidos.insert(k, std::move(respostas));
    ++pedidosLidos;
    atual.reset();
  };
  for (; !q.eof(); q.next()) {
    const QString linha = textoDe(q, "MGV_LINHA");
    if (linha != QLatin1String("P")) {
      if (!atual) continue;
      if (linha == QLatin1String("C")) {
        atual->cheques.push_back({floatDe(q, "Cheque_Vlr"), dataDe(q, "Dt_Entrada")});
      } else if (linha == QLatin1String("D")) {
        atual->documentos.push_back(leDocumento(q));
      } else if (linha == QLatin1String("R")) {
        if (inteiroDe(q, "MGV_PARCELA") == 0)
          ++atual->linhasDeParcelas;
        else if (atual->linhasDeParcelas == 1)
          atual->parcelas.push_back({floatDe(q, "VlrParc"), dataDe(q, "VencParc")});
      }
      continue;
    }
    conclui();
    const Field empresa = q.fieldByName("MGV_EMPRESA");
    const Field tipo = q.fieldByName("MGV_TIPO");
    const Field pedido = q.fieldByName("MGV_PEDIDO");
    // A null code reads as empty text in the calculation, which no
    // statement with the null column reproduces.
    if (empresa.isNull() || tipo.isNull() || pedido.isNull()) continue;
    TChave chave{empresa.asString(), tipo.asString(), pedido.asString()};
    // An order met again (its rows are the same again) is answered already.
    if (!ascii(chave) || cache.pedidos.contains(chave)) continue;
    Pedido& r = atual.emplace();
    const Field numDoc = q.fieldByName("MGV_NUMDOC");
    r.numDoc = !numDoc.isNull() &&
               semBrancosFinais(numDoc.asString()) == semBrancosFinais(chave.b + chave.c);
    r.chave = std::move(chave);
    r.fechamentos = inteiroDe(q, "MGV_FECHAMENTOS");
    r.enceFat = leEnceFat(q);
    r.totalItens = floatDe(q, "MGV_TOTALITENS");
    r.linhas = inteiroDe(q, "MGV_LINHAS");
    if (const Field f = q.fieldByName("MGV_FINANCIAMENTOS"); !f.isNull()) {
      r.financiamentos = static_cast<int>(f.asInteger());
      r.financiamento = leFinanciamento(q);
    }
    r.comDocumentos = inteiroDe(q, "MGV_DOCUMENTOS") == 1;
    r.comParcelas = inteiroDe(q, "MGV_PARCELAS") == 1;
  }
  conclui();
  q.close();
}

void TCargaPeriodo::carregaTabelas() {
  // Each table in one statement; a table whose statement fails is left to
  // its look-up.
  const auto carrega = [this](auto& destino, std::optional<QString> empresa,
                              std::initializer_list<QString> linhas, auto&& linha) {
    tenta([&] {
      Query q(banco);
      q.setUnidirectional(true);  // read once, in order: nothing kept
      for (const QString& l : linhas) q.sql() << l;
      if (empresa) q.setString(QStringLiteral("Empresa"), *empresa);
      q.open();
      using Tabela = typename std::decay_t<decltype(destino)>::value_type;
      Tabela tabela(empresa);
      for (q.first(); !q.eof(); q.next()) linha(q, tabela);
      q.close();
      tabela.conclui();
      destino = std::move(tabela);
    });
  };
  // The key columns of a row; none when one is null.
  const auto chave = [](const Query& q,
                        std::initializer_list<const char*> colunas) -> std::optional<TChave> {
    QString partes[3];
    int n = 0;
    for (const char* coluna : colunas) {
      const Field f = q.fieldByName(QLatin1StringView(coluna));
      if (f.isNull()) return std::nullopt;
      partes[n++] = f.asString();
    }
    return TChave{partes[0], partes[1], partes[2]};
  };
  const auto simples = [&](std::initializer_list<const char*> colunas, auto&& valor) {
    return [&, colunas](const Query& q, auto& tabela) {
      if (const auto k = chave(q, colunas)) tabela.adiciona(*k, valor(q));
    };
  };

  carrega(cache.condPagCarregada, std::nullopt, {QStringLiteral("SELECT * FROM CONDPAG")},
          simples({"CODPRAZO"}, leCondPag));
  carrega(cache.cartConCarregada, std::nullopt,
          {QStringLiteral("SELECT CODIGO, NOME, DIASCOMPENSACAO, PERCDESC, CODPRAZO, "
                          "TAXAMENSALANTECIP FROM CARTCON")},
          simples({"CODIGO"}, leCartCon));
  carrega(cache.planoFinancCarregado, std::nullopt,
          {QStringLiteral("Select Financeira.CodFinanceira AS MGV_FINANCEIRA, "
                          "PlanosFinanc.CodPlano AS MGV_PLANO, PlanosFinanc.DescFormaPgto AS "
                          "MGV_FORMA,"),
           QStringLiteral("       Financeira.DiasCompensacao, PlanosFinanc.TaxaRetencao, "
                          "PlanosFinanc.NumParc, Financeira.CodPrazo, Planosfinanc.Entrada"),
           QStringLiteral("  From Financeira inner join PlanosFinanc on "
                          "(Financeira.CodFinanceira = PlanosFinanc.CodFinanceira)")},
          simples({"MGV_FINANCEIRA", "MGV_PLANO", "MGV_FORMA"}, lePlanoFinanc));
  carrega(cache.vendedorComissao, std::nullopt,
          {QStringLiteral("Select CodVendedor, Comissao From Vendend")},
          simples({"CodVendedor"}, [](const Query& q) { return floatDe(q, "Comissao"); }));
  carrega(cache.produtoCustoOperc, std::nullopt,
          {QStringLiteral("Select CodProd, CustoOperc From Produto")},
          simples({"CodProd"}, [](const Query& q) { return floatDe(q, "CustoOperc"); }));
  carrega(cache.produtoComissao, std::nullopt,
          {QStringLiteral("Select CodProd, Comissao From Produto")},
          simples({"CodProd"}, [](const Query& q) { return floatDe(q, "Comissao"); }));

  // The costs of the policy in force (the look-up's own answer, read once
  // per refresh), of the branch or of every branch.
  int tipo = 0;
  if (!tenta([&] {
        TQueryPreguicosa QAux(banco);
        tipo = consultas.tipoCusto(QAux);
      }))
    return;
  const std::optional<QString> empresa =
      Empresa.isEmpty() ? std::nullopt : std::optional<QString>(Empresa);
  const QString filtro =
      Empresa.isEmpty() ? QString() : QStringLiteral(" Where CodEmpresa = :Empresa");
  if (tipo == 5) {
    carrega(
        cache.custoGerencial, empresa,
        {QStringLiteral("Select CodEmpresa, CodProd, CodGrade, PRECOCUSTO From CUSTOGERENCIAL") +
         filtro},
        simples({"CodEmpresa", "CodProd", "CodGrade"},
                [](const Query& q) { return floatDe(q, "PRECOCUSTO"); }));
    return;
  }
  const bool medio = tipo == 3 || tipo == 4;
  auto& compProd = medio ? cache.compProdMedio : cache.compProdCusto;
  carrega(
      compProd, empresa,
      {QStringLiteral("Select CodEmpresa, CodProd, %1 AS MGV_PRECO From CompProd")
           .arg(medio ? QStringLiteral("PrecoMedio") : QStringLiteral("PrecoCusto")) +
       filtro},
      simples({"CodEmpresa", "CodProd"}, [](const Query& q) { return floatDe(q, "MGV_PRECO"); }));
  if (tipo == 2 || tipo == 3) tenta([&] { carregaMovimentos(tipo == 3); });
}

void TCargaPeriodo::carregaMovimentos(bool medio) {
  // The movements up to the period's last day: no sale of the period looks
  // further.
  Query q(banco);
  q.setUnidirectional(true);  // read once, in order: nothing kept
  q.sql() << QStringLiteral(
                 "Select CodEmpresa, CodProd, CodGrade, Dt_Movimento, Sequencia, %1 "
                 "AS MGV_PRECO From MvGeral")
                 .arg(medio ? QStringLiteral("PrecoMedio") : QStringLiteral("PrecoCusto"))
          << QStringLiteral(" Where Dt_Movimento <= :Data2") +
                 (Empresa.isEmpty() ? QString() : QStringLiteral(" And CodEmpresa = :Empresa"));
  q.setDate(QStringLiteral("Data2"), ultimoDia);
  if (!Empresa.isEmpty()) q.setString(QStringLiteral("Empresa"), Empresa);
  q.open();
  TTabelaCarregada<std::vector<TCacheConsultas::MovimentoGrade>> movimentos(
      Empresa.isEmpty() ? std::nullopt : std::optional<QString>(Empresa));
  for (q.first(); !q.eof(); q.next()) {
    const Field empresa = q.fieldByName("CodEmpresa"), prod = q.fieldByName("CodProd"),
                grade = q.fieldByName("CodGrade");
    if (empresa.isNull() || prod.isNull() || grade.isNull()) continue;
    auto& lista = movimentos.acumula(TChave{empresa.asString(), prod.asString(), grade.asString()});
    const Field dia = q.fieldByName("Dt_Movimento");
    if (dia.isNull()) continue;  // never on or before a day
    const Field sequencia = q.fieldByName("Sequencia");
    lista.push_back(
        {dia.asDateTime(),
         sequencia.isNull() ? std::nullopt : std::optional<qint64>(sequencia.asInteger()),
         q.fieldByName("MGV_PRECO").asFloat()});
  }
  q.close();
  movimentos.conclui();
  cache.movimentos = std::move(movimentos);
  cache.movimentosMedio = medio;
}

}  // namespace

void carregaPeriodo(TConsultasRentabilidade& consultas, const SqlCondition& pedidos,
                    const QString& Empresa, TDateTime ultimoDia) {
  TCacheConsultas* cache = consultas.cache();
  if (cache == nullptr)
    throw std::logic_error("carregaPeriodo: o cache de consultas está desligado");
  TCargaPeriodo carga{consultas, *cache, consultas.banco(), pedidos, Empresa, ultimoDia};
  // A selection without orders needs nothing more.
  if (tenta([&] { carga.carregaPedidos(); }) && carga.pedidosLidos == 0) return;
  carga.carregaTabelas();
}

}  // namespace margivo
