// The look-ups of the calculation. The statements are the ERP's own, line by
// line and blank by blank.
#include "engine/consultas_p.h"

#include <QStringList>
#include <initializer_list>

#include "engine/dmrent.h"
#include "framework/conexao.h"
#include "framework/funcoes.h"
#include "framework/query.h"

namespace margivo {

namespace {

// Closes `q` and gives it a new statement, one line per entry.
void Prepara(Query& q, std::initializer_list<QString> linhas) {
  q.close();
  q.sql().clear();
  for (const QString& linha : linhas) q.sql().append(linha);
}

// `linha` padded with blanks on the right to `largura` characters.
QString Preenche(const QString& linha, int largura) { return linha.leftJustified(largura, u' '); }

// A code written into the statement text as an SQL string constant: in
// single quotes, every single quote inside doubled, so that any code matches
// literally and cannot change the statement.
QString Literal(const QString& codigo) {
  QString texto = codigo;
  texto.replace(u'\'', QStringLiteral("''"));
  return u'\'' + texto + u'\'';
}

double Float(const Query& q, const char* coluna) {
  return q.fieldByName(QString::fromLatin1(coluna)).asFloat();
}
QString Texto(const Query& q, const char* coluna) {
  return q.fieldByName(QString::fromLatin1(coluna)).asString();
}
int Inteiro(const Query& q, const char* coluna) {
  return static_cast<int>(q.fieldByName(QString::fromLatin1(coluna)).asInteger());
}
TDateTime Data(const Query& q, const char* coluna) {
  return q.fieldByName(QString::fromLatin1(coluna)).asDateTime();
}

// A day or a time as a key: every digit of the number.
QString Numero(double valor) { return QString::number(valor, 'g', 17); }

// The key of a look-up: its arguments, each preceded by its length so that no
// two lists of arguments give the same key.
QString Chave(std::initializer_list<QString> partes) {
  QString chave;
  for (const QString& parte : partes) {
    chave += QString::number(parte.size());
    chave += u':';
    chave += parte;
  }
  return chave;
}

}  // namespace

TConsultasRentabilidade::TConsultasRentabilidade(TdmRentabilidade& dm) : dm_(dm) {}
TConsultasRentabilidade::~TConsultasRentabilidade() = default;

void TConsultasRentabilidade::AtivaCache(bool ativo) {
  if (!ativo)
    cache_.reset();
  else if (!cache_)
    cache_ = std::make_unique<TCacheConsultas>();
}

template <typename T, typename Consulta>
T TConsultasRentabilidade::Lembra(QHash<QString, T>* respostas, const QString& chave,
                                  bool usaQryAuxiliar, Consulta&& consulta) {
  if (respostas == nullptr) return consulta();
  if (const auto it = respostas->constFind(chave); it != respostas->constEnd()) {
    // Answered from memory, the look-up still leaves qryAuxiliar off the
    // condition opened last, as running it would.
    if (usaQryAuxiliar) dm_.condPagAberta_.reset();
    return *it;
  }
  T resposta = consulta();
  respostas->insert(chave, resposta);
  return resposta;
}

Query& TConsultasRentabilidade::UsaQryAuxiliar() {
  // qryAuxiliar no longer stands on the condition opened last.
  dm_.condPagAberta_.reset();
  return dm_.qryAuxiliar;
}

double TConsultasRentabilidade::ValorParc01Orcamento() {
  return Float(dm_.qrySelecaoOrc, "VlrParc01");
}

double TConsultasRentabilidade::CustoOperacionalProduto(const QString& CodProd) {
  return Lembra(cache_ ? &cache_->custoOperc : nullptr, Chave({CodProd}), true, [&]() -> double {
    Query& q = UsaQryAuxiliar();
    Prepara(q, {QStringLiteral("Select CustoOperc From Produto"),
                QStringLiteral(" Where CodProd = :CodProd      ")});
    q.setString(QStringLiteral("CodProd"), CodProd);
    q.open();
    return Float(q, "CustoOperc");
  });
}

void TConsultasRentabilidade::AbreParaPDV() {
  // Opening an open query keeps its current row: the row read first in a
  // refresh stays the one every later step reads.
  if (!dm_.qryParaPDV.active()) dm_.qryParaPDV.open();
}

QString TConsultasRentabilidade::IncluiComissaoRentabilidade() {
  AbreParaPDV();
  return Texto(dm_.qryParaPDV, "IncluiComissaoRentabilidade");
}

double TConsultasRentabilidade::TxJurosCh() {
  AbreParaPDV();
  return Float(dm_.qryParaPDV, "TxJurosCh");
}

QString TConsultasRentabilidade::GerarRecDataEntrega() {
  return Texto(dm_.ParaTlm, "GerarRecDataEntrega");
}

QString TConsultasRentabilidade::GerarRecDataFatura() {
  return Texto(dm_.ParaTlm, "GerarRecDataFatura");
}

QString TConsultasRentabilidade::TipoComissao() {
  if (cache_ && cache_->tipoComissao) return *cache_->tipoComissao;
  Query ParaRentabilidade(dm_.ggtRent->Conexao()->getBancoDados());
  ParaRentabilidade.sql().append(QStringLiteral("SELECT * FROM PARARENTABILIDADE"));
  ParaRentabilidade.open();
  QString tipo = Texto(ParaRentabilidade, "TIPOCOMISSAO");
  if (cache_) cache_->tipoComissao = tipo;
  return tipo;
}

double TConsultasRentabilidade::ComissaoVendedor(const QString& CodVendedor) {
  return Lembra(cache_ ? &cache_->comissaoVendedor : nullptr, Chave({CodVendedor}), true,
                [&]() -> double {
                  Query& q = UsaQryAuxiliar();
                  Prepara(q, {QStringLiteral("Select Comissao From Vendend       "),
                              QStringLiteral(" Where CodVendedor = :PCodVendedor ")});
                  q.setString(QStringLiteral("PCodVendedor"), CodVendedor);
                  q.open();
                  return Float(q, "Comissao");
                });
}

double TConsultasRentabilidade::ComissaoProduto(const QString& CodProd) {
  return Lembra(cache_ ? &cache_->comissaoProduto : nullptr, Chave({CodProd}), true,
                [&]() -> double {
                  Query& q = UsaQryAuxiliar();
                  Prepara(q, {QStringLiteral("Select Comissao From Produto  "),
                              QStringLiteral(" Where CodProd = :PCodProd    ")});
                  q.setString(QStringLiteral("PCodProd"), CodProd);
                  q.open();
                  return Float(q, "Comissao");
                });
}

int TConsultasRentabilidade::TipoCusto(Query& QAux) {
  if (cache_ && cache_->tipoCusto) return *cache_->tipoCusto;
  Prepara(QAux, {QStringLiteral("Select TipoCusto From ParaRentabilidade")});
  QAux.open();
  const int tipo = Inteiro(QAux, "TipoCusto");
  if (cache_) cache_->tipoCusto = tipo;
  return tipo;
}

double TConsultasRentabilidade::PrecoCustoAtual(Query& QAux, const QString& CodEmpresa,
                                                const QString& CodProd) {
  return Lembra(cache_ ? &cache_->precoCustoAtual : nullptr, Chave({CodEmpresa, CodProd}), false,
                [&]() -> double {
                  Prepara(QAux,
                          {QStringLiteral(
                              "Select PrecoCusto               From CompProd                   "
                              "Where CodProd = :CodProd And          CodEmpresa = :CodEmpresa  ")});
                  QAux.setString(QStringLiteral("CodProd"), CodProd);
                  QAux.setString(QStringLiteral("CodEmpresa"), CodEmpresa);
                  QAux.open();
                  return Float(QAux, "PrecoCusto");
                });
}

double TConsultasRentabilidade::PrecoMedioAtual(Query& QAux, const QString& CodEmpresa,
                                                const QString& CodProd) {
  return Lembra(cache_ ? &cache_->precoMedioAtual : nullptr, Chave({CodEmpresa, CodProd}), false,
                [&]() -> double {
                  Prepara(QAux,
                          {QStringLiteral(
                              "Select PrecoMedio               From CompProd                   "
                              "Where CodProd = :CodProd And          CodEmpresa = :CodEmpresa  ")});
                  QAux.setString(QStringLiteral("CodProd"), CodProd);
                  QAux.setString(QStringLiteral("CodEmpresa"), CodEmpresa);
                  QAux.open();
                  return Float(QAux, "PrecoMedio");
                });
}

double TConsultasRentabilidade::PrecoGerencial(Query& QAux, const QString& CodEmpresa,
                                               const QString& CodProd, const QString& CodGrade) {
  return Lembra(
      cache_ ? &cache_->precoGerencial : nullptr, Chave({CodEmpresa, CodProd, CodGrade}), false,
      [&]() -> double {
        Prepara(QAux, {QStringLiteral(
                          "Select PRECOCUSTO                  From CUSTOGERENCIAL                "
                          "Where CodProd = :CodProd And             CodEmpresa = :CodEmpresa And"
                          "       CodGrade   =:CodGrade        ")});
        QAux.setString(QStringLiteral("CodProd"), CodProd);
        QAux.setString(QStringLiteral("CodEmpresa"), CodEmpresa);
        QAux.setString(QStringLiteral("CodGrade"), CodGrade);
        QAux.open();
        return Float(QAux, "PRECOCUSTO");
      });
}

std::optional<TMovimento> TConsultasRentabilidade::UltimoMovimento(Query& QAux,
                                                                   const QString& CodEmpresa,
                                                                   const QString& CodProd,
                                                                   const QString& CodGrade,
                                                                   TDateTime DataVenda) {
  if (cache_) return UltimoMovimentoDaGrade(QAux, CodEmpresa, CodProd, CodGrade, DataVenda);
  // Without a cache: the ERP's statement for the grade and day.
  return [&]() -> std::optional<TMovimento> {
    const QString E = Literal(CodEmpresa), P = Literal(CodProd), G = Literal(CodGrade);
    Prepara(QAux,
            {QStringLiteral("Select Dt_Movimento, Max(Sequencia) As Sequencia   From MvGeral       "
                            "                                Where CodEmpresa = ") +
             E + QStringLiteral("  And CodProd    = ") + P + QStringLiteral("  And CodGrade   = ") +
             G + QStringLiteral("  And Dt_Movimento =                               ") +
             QStringLiteral("      (Select Max(Dt_Movimento)                    ") +
             QStringLiteral("       From MvGeral                                ") +
             QStringLiteral("       Where CodEmpresa = ") + E +
             QStringLiteral("         And CodProd    = ") + P +
             QStringLiteral("         And CodGrade   = ") + G +
             QStringLiteral("         And Dt_Movimento <= :Dt_Movimento)        ") +
             QStringLiteral("Group By Dt_Movimento                              ")});
    QAux.setDate(QStringLiteral("Dt_Movimento"), DataVenda);
    QAux.open();
    if (QAux.isEmpty()) return std::nullopt;
    TMovimento movimento;
    movimento.Dt_Movimento = Data(QAux, "Dt_Movimento");
    movimento.Sequencia = QAux.fieldByName(QStringLiteral("Sequencia")).asInteger();
    QAux.close();
    return movimento;
  }();
}

std::optional<TMovimento> TConsultasRentabilidade::UltimoMovimentoDaGrade(Query& QAux,
                                                                          const QString& CodEmpresa,
                                                                          const QString& CodProd,
                                                                          const QString& CodGrade,
                                                                          TDateTime DataVenda) {
  const QString chave = Chave({CodEmpresa, CodProd, CodGrade});
  auto it = cache_->movimentosDaGrade.constFind(chave);
  if (it == cache_->movimentosDaGrade.constEnd()) {
    // One statement per grade, the same text for every grade (prepared once).
    Prepara(QAux, {QStringLiteral("Select Dt_Movimento, Sequencia From MvGeral"),
                   QStringLiteral(" Where CodEmpresa = :CodEmpresa"),
                   QStringLiteral("   And CodProd    = :CodProd"),
                   QStringLiteral("   And CodGrade   = :CodGrade")});
    QAux.setString(QStringLiteral("CodEmpresa"), CodEmpresa);
    QAux.setString(QStringLiteral("CodProd"), CodProd);
    QAux.setString(QStringLiteral("CodGrade"), CodGrade);
    QAux.open();
    std::vector<TCacheConsultas::MovimentoGrade> movimentos;
    for (QAux.first(); !QAux.eof(); QAux.next()) {
      const Field dia = QAux.fieldByName(QStringLiteral("Dt_Movimento"));
      if (dia.isNull()) continue;  // never on or before a day
      const Field sequencia = QAux.fieldByName(QStringLiteral("Sequencia"));
      movimentos.push_back({dia.asDateTime(), sequencia.isNull()
                                                  ? std::nullopt
                                                  : std::optional<qint64>(sequencia.asInteger())});
    }
    QAux.close();
    it = cache_->movimentosDaGrade.insert(chave, std::move(movimentos));
  }
  // The latest day on or before the sale day, and the highest sequence of
  // that day (none: 0, as a null maximum reads).
  std::optional<TDateTime> ultimoDia;
  for (const auto& m : *it)
    if (m.Dt_Movimento <= DataVenda && (!ultimoDia || m.Dt_Movimento > *ultimoDia))
      ultimoDia = m.Dt_Movimento;
  if (!ultimoDia) return std::nullopt;
  std::optional<qint64> sequencia;
  for (const auto& m : *it)
    if (m.Dt_Movimento == *ultimoDia && m.Sequencia && (!sequencia || *m.Sequencia > *sequencia))
      sequencia = m.Sequencia;
  return TMovimento{*ultimoDia, sequencia.value_or(0)};
}

double TConsultasRentabilidade::PrecoDoMovimento(Query& QAux, PrecoMovimento Preco,
                                                 const QString& CodEmpresa, const QString& CodProd,
                                                 const QString& CodGrade,
                                                 const TMovimento& Movimento) {
  return Lembra(
      cache_ ? &cache_->precoDoMovimento : nullptr,
      Chave({Preco == PrecoMovimento::Custo ? QStringLiteral("C") : QStringLiteral("M"), CodEmpresa,
             CodProd, CodGrade, Numero(Movimento.Dt_Movimento),
             QString::number(Movimento.Sequencia)}),
      false, [&]() -> double {
        const QString E = Literal(CodEmpresa), P = Literal(CodProd), G = Literal(CodGrade);
        const QString inicio =
            Preco == PrecoMovimento::Custo
                ? QStringLiteral(
                      "Select PrecoCusto                                  From MvGeral     "
                      "                                  Where CodEmpresa = ")
                : QStringLiteral(
                      "Select PrecoMedio                                  From MvGeral     "
                      "                                  Where CodEmpresa = ");
        Prepara(QAux, {inicio + E + QStringLiteral("  And CodProd    = ") + P +
                       QStringLiteral("  And CodGrade   = ") + G +
                       QStringLiteral("  And Dt_Movimento = :Dt_Movimento                 ") +
                       QStringLiteral("  And Sequencia    = :Sequencia                    ")});
        QAux.setDate(QStringLiteral("Dt_Movimento"), Movimento.Dt_Movimento);
        QAux.setInteger(QStringLiteral("Sequencia"), Movimento.Sequencia);
        QAux.open();
        return Float(QAux, Preco == PrecoMovimento::Custo ? "PrecoCusto" : "PrecoMedio");
      });
}

double TConsultasRentabilidade::TotalItensPedido(const QString& CodEmpresa,
                                                 const QString& CodPedido,
                                                 const QString& TipoPedido) {
  return Lembra(
      cache_ ? &cache_->totalItensPedido : nullptr, Chave({CodEmpresa, CodPedido, TipoPedido}),
      false, [&]() -> double {
        Query MItens(dm_.ggtRent->Conexao()->getBancoDados());
        MItens.sql().append(QStringLiteral(
            " SELECT SUM((pedidoi.precounit - pedidoi.descontovlr) * pedidoi.quantidade)"
            " AS TotalItens    FROM pedidoi    WHERE pedidoi.codempresa = :PCodEmpresa AND"
            "    pedidoi.codpedido  = :PCodPedido AND    Pedidoi.tipopedido = :PTipoPedido"));
        MItens.setString(QStringLiteral("PCodEmpresa"), CodEmpresa);
        MItens.setString(QStringLiteral("PCodPedido"), CodPedido);
        MItens.setString(QStringLiteral("PTipoPedido"), TipoPedido);
        MItens.open();
        return Float(MItens, "TotalItens");
      });
}

double TConsultasRentabilidade::ValorDaTroca(const QString& CodEmpresa, const QString& CodTroca) {
  return Lembra(cache_ ? &cache_->valorDaTroca : nullptr, Chave({CodEmpresa, CodTroca}), true,
                [&]() -> double {
                  Query& q = UsaQryAuxiliar();
                  Prepara(q, {QStringLiteral("SELECT TotalOrcamento FROM OrcCabe "),
                              QStringLiteral(" WHERE CodOrc     = :CodOrc        "),
                              QStringLiteral("   AND CodEmpresa = :CodEmpresa    ")});
                  q.setString(QStringLiteral("CodOrc"), CodTroca);
                  q.setString(QStringLiteral("CodEmpresa"), CodEmpresa);
                  q.open();
                  return Float(q, "TotalOrcamento");
                });
}

TCondPag TConsultasRentabilidade::CondPag(const QString& CodPrazo) {
  return Lembra(cache_ ? &cache_->condPag : nullptr, Chave({CodPrazo}), false, [&]() -> TCondPag {
    Query& q = dm_.qryAuxiliar;  // CondPag: the caller keeps the row
    Prepara(q, {Preenche(QStringLiteral("SELECT *"), 29),
                Preenche(QStringLiteral("  FROM CONDPAG"), 29),
                Preenche(QStringLiteral("WHERE CODPRAZO = :PCODPRAZO"), 29)});
    q.setString(QStringLiteral("PCODPRAZO"), CodPrazo);
    q.open();
    TCondPag c;
    c.TipoVenda = Inteiro(q, "TIPOVENDA");
    for (int k = 0; k < 7; ++k) {
      const QString n = QString::number(k + 1);
      c.Prazo[k] = static_cast<int>(q.fieldByName(QStringLiteral("Prazo") + n).asInteger());
      c.Percent[k] = q.fieldByName(QStringLiteral("Percent") + n).asFloat();
    }
    c.TxEmissaoBoleto = Float(q, "TXEMISSAOBOLETO");
    c.TipoIntegracao = Inteiro(q, "TIPOINTEGRACAO");
    c.TipoIntegracaoTexto = Texto(q, "TIPOINTEGRACAO");
    c.UtilizaConvenio = Texto(q, "UTILIZACONVENIO");
    return c;
  });
}

TEnceFat TConsultasRentabilidade::EnceFat(const QString& CodEmpresa, const QString& TipoPedido,
                                          const QString& CodPedido) {
  return Lembra(
      cache_ ? &cache_->enceFat : nullptr, Chave({CodEmpresa, TipoPedido, CodPedido}), false,
      [&]() -> TEnceFat {
        Query& q = dm_.qryTemp;
        Prepara(
            q,
            {Preenche(QStringLiteral("Select VlrReceber, VlrConvenio, VlrFinanc, VlrChPreDatado, "
                                     "VlrCheque, VlrDinheiro, VlrDesconto,"),
                      101),
             Preenche(QStringLiteral("      (VlrCheque + VlrReceber + VlrConvenio + VlrFinanc + "
                                     "VlrChPreDatado + (VlrDinheiro - VlrTroco))"),
                      101),
             Preenche(QStringLiteral("      as Total From EnceFat"), 101),
             Preenche(QStringLiteral(" Where CodPedido  = :PCodPedido"), 101),
             Preenche(QStringLiteral("   and TipoPedido = :PTipoPedido"), 101),
             Preenche(QStringLiteral("   and CodEmpresa = :PCodEmpresa"), 101)});
        q.setString(QStringLiteral("PCodPedido"), CodPedido);
        q.setString(QStringLiteral("PTipoPedido"), TipoPedido);
        q.setString(QStringLiteral("PCodEmpresa"), CodEmpresa);
        q.open();
        TEnceFat e;
        e.VlrReceber = Float(q, "VlrReceber");
        e.VlrConvenio = Float(q, "VlrConvenio");
        e.VlrFinanc = Float(q, "VlrFinanc");
        e.VlrChPreDatado = Float(q, "VlrChPreDatado");
        e.VlrCheque = Float(q, "VlrCheque");
        e.VlrDinheiro = Float(q, "VlrDinheiro");
        e.VlrDesconto = Float(q, "VlrDesconto");
        const Field total = q.fieldByName(QStringLiteral("Total"));
        e.TotalNulo = total.isNull();
        e.Total = total.asFloat();
        return e;
      });
}

std::vector<TChequePreDatado> TConsultasRentabilidade::ChequesPreDatados(
    const QString& CodEmpresa, const QString& NumDocOrig) {
  return Lembra(cache_ ? &cache_->chequesPreDatados : nullptr, Chave({CodEmpresa, NumDocOrig}),
                true, [&]() -> std::vector<TChequePreDatado> {
                  Query& q = UsaQryAuxiliar();
                  Prepara(q, {QStringLiteral("Select * From PreTerc "),
                              QStringLiteral(" Where CodEmpresa = :PCodEmpresa"),
                              QStringLiteral("   and NumDocOrig = :PNumDocOrig")});
                  q.setString(QStringLiteral("PCodEmpresa"), CodEmpresa);
                  q.setString(QStringLiteral("PNumDocOrig"), NumDocOrig);
                  q.open();
                  std::vector<TChequePreDatado> cheques;
                  for (q.first(); !q.eof(); q.next())
                    cheques.push_back({Float(q, "VlrCheque"), Data(q, "Dt_Entrada")});
                  return cheques;
                });
}

TFinanciamento TConsultasRentabilidade::Financiamento(const QString& CodEmpresa,
                                                      const QString& CodVenda) {
  return Lembra(cache_ ? &cache_->financiamento : nullptr, Chave({CodEmpresa, CodVenda}), false,
                [&]() -> TFinanciamento {
                  Query& q = dm_.qryTemp;
                  Prepara(q, {QStringLiteral(
                                  "Select CodPlano, DescFormaPgto, CodFinanceira, ValorMensalidade "
                                  "From Financiamento "),
                              QStringLiteral(" Where CodVenda   = :NumOrcamento"),
                              QStringLiteral("   and CodEmpresa = :CodEmpresa")});
                  q.setString(QStringLiteral("CodEmpresa"), CodEmpresa);
                  q.setString(QStringLiteral("NumOrcamento"), CodVenda);
                  q.open();
                  TFinanciamento f;
                  f.CodFinanceira = Texto(q, "CodFinanceira");
                  f.CodPlano = Texto(q, "CodPlano");
                  f.DescFormaPgto = Texto(q, "DescFormaPgto");
                  f.ValorMensalidade = Float(q, "ValorMensalidade");
                  return f;
                });
}

TPlanoFinanc TConsultasRentabilidade::PlanoFinanc(const QString& CodFinanceira,
                                                  const QString& CodPlano,
                                                  const QString& DescFormaPgto) {
  return Lembra(
      cache_ ? &cache_->planoFinanc : nullptr, Chave({CodFinanceira, CodPlano, DescFormaPgto}),
      false, [&]() -> TPlanoFinanc {
        Query& q = dm_.qryTemp;
        Prepara(q, {QStringLiteral("Select Financeira.DiasCompensacao, PlanosFinanc.TaxaRetencao, "
                                   "PlanosFinanc.NumParc, Financeira.CodPrazo, "),
                    QStringLiteral("       Planosfinanc.Entrada"),
                    QStringLiteral("  From Financeira inner join PlanosFinanc on "
                                   "(Financeira.CodFinanceira = PlanosFinanc.CodFinanceira)"),
                    QStringLiteral(" Where Financeira.CodFinanceira   = :CodFinanceira"),
                    QStringLiteral("   and PlanosFinanc.CodPlano      = :CodPlano"),
                    QStringLiteral("   and PlanosFinanc.DescFormaPgto = :DescFormaPgto")});
        q.setString(QStringLiteral("CodFinanceira"), CodFinanceira);
        q.setString(QStringLiteral("CodPlano"), CodPlano);
        q.setString(QStringLiteral("DescFormaPgto"), DescFormaPgto);
        q.open();
        TPlanoFinanc p;
        p.TaxaRetencao = Float(q, "TaxaRetencao");
        p.DiasCompensacao = Float(q, "DiasCompensacao");
        p.NumParc = Inteiro(q, "NumParc");
        p.Entrada = Texto(q, "Entrada");
        p.CodPrazo = Texto(q, "CodPrazo");
        return p;
      });
}

std::vector<TDocumentoConvenio> TConsultasRentabilidade::DocumentosConvenio(
    const QString& CodEmpresa, const QString& TipoPedido, const QString& CodPedido) {
  return Lembra(
      cache_ ? &cache_->documentosConvenio : nullptr, Chave({CodEmpresa, TipoPedido, CodPedido}),
      false, [&]() -> std::vector<TDocumentoConvenio> {
        Query& q = dm_.qryAux;
        Prepara(
            q,
            {QStringLiteral(
                 " Select ConvEnceFat.Convenio, Docurec.Dt_Emissao, DocuRec.Dt_Vencimento,"),
             QStringLiteral("        DocuRec.ValorDocto,   DocuRec.ValorDesc,  DocuRec.ValorPago"),
             QStringLiteral(" From ConvEnceFat"),
             QStringLiteral(
                 " Inner join DocuRec on (DocuRec.CodEmpresa = ConvEnceFat.CodEmpresa And"),
             QStringLiteral("                        DocuRec.NumDocOrig = "
                            "ConvEnceFat.TipoPedido||ConvEnceFat.CodPedido)"),
             QStringLiteral(" Where ConvEnceFat.CodEmpresa = :PCodEmpresa"),
             QStringLiteral("   And ConvEnceFat.TipoPedido = :PTipoPedido"),
             QStringLiteral("   And ConvEnceFat.Codpedido  = :PCodpedido")});
        q.setString(QStringLiteral("PCodEmpresa"), CodEmpresa);
        q.setString(QStringLiteral("PTipoPedido"), TipoPedido);
        q.setString(QStringLiteral("PCodpedido"), CodPedido);
        q.open();
        std::vector<TDocumentoConvenio> documentos;
        for (q.first(); !q.eof(); q.next())
          documentos.push_back({Texto(q, "Convenio"), Data(q, "Dt_Emissao"),
                                Data(q, "Dt_Vencimento"), Float(q, "ValorDocto")});
        return documentos;
      });
}

TCartCon TConsultasRentabilidade::CartCon(const QString& Codigo) {
  return Lembra(cache_ ? &cache_->cartCon : nullptr, Chave({Codigo}), false, [&]() -> TCartCon {
    Query& q = dm_.qryTemp;
    Prepara(q,
            {QStringLiteral("SELECT CODIGO, NOME, DIASCOMPENSACAO, PERCDESC, CODPRAZO, "
                            "TAXAMENSALANTECIP "),
             QStringLiteral("  FROM CARTCON"), QStringLiteral(" WHERE CARTCON.CODIGO = :PCODIGO")});
    q.setString(QStringLiteral("PCODIGO"), Codigo);
    q.open();
    TCartCon c;
    c.DiasCompensacao = Float(q, "DIASCOMPENSACAO");
    c.PercDesc = Float(q, "PERCDESC");
    c.CodPrazo = Texto(q, "CODPRAZO");
    c.TaxaMensalAntecip = Float(q, "TAXAMENSALANTECIP");
    return c;
  });
}

std::vector<TParcelaPedido> TConsultasRentabilidade::ParcelasPedido(const QString& CodEmpresa,
                                                                    const QString& TipoPedido,
                                                                    const QString& CodPedido) {
  return Lembra(
      cache_ ? &cache_->parcelasPedido : nullptr, Chave({CodEmpresa, TipoPedido, CodPedido}), false,
      [&]() -> std::vector<TParcelaPedido> {
        Query& q = dm_.qryAux;
        Prepara(q, {QStringLiteral("Select * From"), QStringLiteral("  ParcPedC"),
                    QStringLiteral(" Where CodEmpresa = :PCodEmpresa"),
                    QStringLiteral("   and TipoPedido = :PTipoPedido"),
                    QStringLiteral("   and Codpedido  = :PCodpedido")});
        q.setString(QStringLiteral("PCodEmpresa"), CodEmpresa);
        q.setString(QStringLiteral("PTipoPedido"), TipoPedido);
        q.setString(QStringLiteral("PCodpedido"), CodPedido);
        q.open();
        std::vector<TParcelaPedido> parcelas;
        for (int k = 1; k <= 24; ++k) {
          const QString VlrParc = QStringLiteral("VlrParc") + StrZero(QString::number(k), 2);
          const QString VencParc = QStringLiteral("VencParc") + StrZero(QString::number(k), 2);
          // A table with fewer installment columns simply has no more installments.
          if (!q.hasField(VlrParc)) break;
          const double valor = q.fieldByName(VlrParc).asFloat();
          if (!(valor > 0)) break;
          parcelas.push_back({valor, q.fieldByName(VencParc).asDateTime()});
        }
        return parcelas;
      });
}

}  // namespace margivo
