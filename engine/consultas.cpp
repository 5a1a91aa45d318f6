// The look-ups of the calculation. The statements are the ERP's own, line by
// line and blank by blank.
#include "engine/consultas_p.h"

#include <QStringList>
#include <algorithm>
#include <initializer_list>
#include <stdexcept>
#include <type_traits>

#include "engine/dmrent.h"
#include "framework/conexao.h"
#include "framework/funcoes.h"
#include "framework/query.h"
#include "framework/regional.h"

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
  return q.fieldByName(QLatin1StringView(coluna)).asFloat();
}
QString Texto(const Query& q, const char* coluna) {
  return q.fieldByName(QLatin1StringView(coluna)).asString();
}
int Inteiro(const Query& q, const char* coluna) {
  return static_cast<int>(q.fieldByName(QLatin1StringView(coluna)).asInteger());
}
TDateTime Data(const Query& q, const char* coluna) {
  return q.fieldByName(QLatin1StringView(coluna)).asDateTime();
}

// The rows of the look-ups as records; the set-based statements name their
// columns as the look-ups' own statements do.
TCondPag LeCondPag(const Query& q) {
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
}

TEnceFat LeEnceFat(const Query& q) {
  TEnceFat e;
  e.VlrReceber = Float(q, "VlrReceber");
  e.VlrConvenio = Float(q, "VlrConvenio");
  e.VlrFinanc = Float(q, "VlrFinanc");
  e.VlrChPreDatado = Float(q, "VlrChPreDatado");
  e.VlrCheque = Float(q, "VlrCheque");
  e.VlrDinheiro = Float(q, "VlrDinheiro");
  e.VlrDesconto = Float(q, "VlrDesconto");
  const Field total = q.fieldByName("Total");
  e.TotalNulo = total.isNull();
  e.Total = total.asFloat();
  return e;
}

TChequePreDatado LeCheque(const Query& q) { return {Float(q, "VlrCheque"), Data(q, "Dt_Entrada")}; }

TFinanciamento LeFinanciamento(const Query& q) {
  TFinanciamento f;
  f.CodFinanceira = Texto(q, "CodFinanceira");
  f.CodPlano = Texto(q, "CodPlano");
  f.DescFormaPgto = Texto(q, "DescFormaPgto");
  f.ValorMensalidade = Float(q, "ValorMensalidade");
  return f;
}

TPlanoFinanc LePlanoFinanc(const Query& q) {
  TPlanoFinanc p;
  p.TaxaRetencao = Float(q, "TaxaRetencao");
  p.DiasCompensacao = Float(q, "DiasCompensacao");
  p.NumParc = Inteiro(q, "NumParc");
  p.Entrada = Texto(q, "Entrada");
  p.CodPrazo = Texto(q, "CodPrazo");
  return p;
}

TDocumentoConvenio LeDocumento(const Query& q) {
  return {Texto(q, "Convenio"), Data(q, "Dt_Emissao"), Data(q, "Dt_Vencimento"),
          Float(q, "ValorDocto")};
}

TCartCon LeCartCon(const Query& q) {
  TCartCon c;
  c.DiasCompensacao = Float(q, "DIASCOMPENSACAO");
  c.PercDesc = Float(q, "PERCDESC");
  c.CodPrazo = Texto(q, "CODPRAZO");
  c.TaxaMensalAntecip = Float(q, "TAXAMENSALANTECIP");
  return c;
}

// The installments of the current ParcPedC row up to (not including) the
// first whose amount is not positive.
std::vector<TParcelaPedido> LeParcelas(const Query& q) {
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
}

// `texto` without its trailing blanks (shared, not copied, when it has none).
QString SemBrancosFinais(const QString& texto) {
  qsizetype n = texto.size();
  while (n > 0 && texto.at(n - 1) == u' ') --n;
  return n == texto.size() ? texto : texto.left(n);
}

bool Ascii(const QString& texto) {
  for (const QChar c : texto)
    if (c.unicode() > 0x7F) return false;
  return true;
}
bool Ascii(const TChave& k) { return Ascii(k.a) && Ascii(k.b) && Ascii(k.c); }

// The code as the database may compare it: no trailing blanks, upper case.
QString Canonico(const QString& texto) {
  const QString s = SemBrancosFinais(texto);
  for (const QChar c : s)
    if (c >= u'a' && c <= u'z') return s.toUpper();
  return s;
}
TChave Canonica(const TChave& k) { return {Canonico(k.a), Canonico(k.b), Canonico(k.c)}; }
TChave SemBrancosFinais(const TChave& k) {
  return {SemBrancosFinais(k.a), SemBrancosFinais(k.b), SemBrancosFinais(k.c)};
}

}  // namespace

Query& TQueryPreguicosa::operator*() {
  if (!query_) query_.emplace(banco_);
  return *query_;
}

TConsultasRentabilidade::TConsultasRentabilidade(TdmRentabilidade& dm) : dm_(dm) {}
TConsultasRentabilidade::~TConsultasRentabilidade() = default;

void TConsultasRentabilidade::AtivaCache(bool ativo) {
  if (!ativo)
    cache_.reset();
  else if (!cache_)
    cache_ = std::make_unique<TCacheConsultas>();
}

template <typename V>
void TTabelaCarregada<V>::Adiciona(const TChave& chave, V valor) {
  if (!Ascii(chave)) ascii_ = false;
  Grupo& grupo = grupos_[Canonica(chave)];
  if (++grupo.linhas == 1) {
    grupo.chave = SemBrancosFinais(chave);
    grupo.valor = std::move(valor);
  }
}

template <typename V>
V& TTabelaCarregada<V>::Acumula(const TChave& chave) {
  if (!Ascii(chave)) ascii_ = false;
  Grupo& grupo = grupos_[Canonica(chave)];
  TChave propria = SemBrancosFinais(chave);
  if (grupo.linhas == 0) {
    grupo.chave = std::move(propria);
    grupo.linhas = 1;
  } else if (grupo.chave != propria) {
    grupo.linhas = 2;
  }
  return grupo.valor;
}

template <typename V>
void TTabelaCarregada<V>::Conclui() {
  if (!ascii_) {
    grupos_.clear();
    return;
  }
  for (auto it = grupos_.begin(); it != grupos_.end(); ++it) {
    if (it->linhas == 1) {
      unicas_.insert(it->chave, std::move(it->valor));
      it->valor = V{};
    }
  }
}

template <typename V>
TCobertura TTabelaCarregada<V>::Procura(const TChave& chave, const V*& valor) const {
  if (!ascii_) return TCobertura::Fora;
  if (const auto it = unicas_.constFind(chave); it != unicas_.constEnd()) {
    valor = &*it;
    return TCobertura::Linha;
  }
  // Rare from here on: the canonical key is built only for a key without
  // its own row.
  if (empresa_ && chave.a != SemBrancosFinais(*empresa_)) return TCobertura::Fora;
  if (!Ascii(chave) || grupos_.contains(Canonica(chave))) return TCobertura::Fora;
  return TCobertura::SemLinha;
}

template <typename K, typename T, typename Consulta>
T TConsultasRentabilidade::Lembra(QHash<K, T>* respostas, const K& chave, bool usaQryAuxiliar,
                                  Consulta&& consulta,
                                  const std::optional<TTabelaCarregada<T>>* tabela) {
  if (respostas == nullptr) return consulta();
  if (tabela != nullptr && tabela->has_value()) {
    if constexpr (std::is_same_v<K, TChave>) {
      const T* valor = nullptr;
      const TCobertura cobertura = (*tabela)->Procura(chave, valor);
      if (cobertura != TCobertura::Fora) {
        if (usaQryAuxiliar) dm_.condPagAberta_.reset();
        return cobertura == TCobertura::Linha ? *valor : T{};
      }
    }
  }
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
  return Lembra(
      cache_ ? &cache_->custoOperc : nullptr, TChave{CodProd}, true,
      [&]() -> double {
        Query& q = UsaQryAuxiliar();
        Prepara(q, {QStringLiteral("Select CustoOperc From Produto"),
                    QStringLiteral(" Where CodProd = :CodProd      ")});
        q.setString(QStringLiteral("CodProd"), CodProd);
        q.open();
        return Float(q, "CustoOperc");
      },
      cache_ ? &cache_->produtoCustoOperc : nullptr);
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
  return Lembra(
      cache_ ? &cache_->comissaoVendedor : nullptr, TChave{CodVendedor}, true,
      [&]() -> double {
        Query& q = UsaQryAuxiliar();
        Prepara(q, {QStringLiteral("Select Comissao From Vendend       "),
                    QStringLiteral(" Where CodVendedor = :PCodVendedor ")});
        q.setString(QStringLiteral("PCodVendedor"), CodVendedor);
        q.open();
        return Float(q, "Comissao");
      },
      cache_ ? &cache_->vendedorComissao : nullptr);
}

double TConsultasRentabilidade::ComissaoProduto(const QString& CodProd) {
  return Lembra(
      cache_ ? &cache_->comissaoProduto : nullptr, TChave{CodProd}, true,
      [&]() -> double {
        Query& q = UsaQryAuxiliar();
        Prepara(q, {QStringLiteral("Select Comissao From Produto  "),
                    QStringLiteral(" Where CodProd = :PCodProd    ")});
        q.setString(QStringLiteral("PCodProd"), CodProd);
        q.open();
        return Float(q, "Comissao");
      },
      cache_ ? &cache_->produtoComissao : nullptr);
}

int TConsultasRentabilidade::TipoCusto(TQueryPreguicosa& QAux) {
  if (cache_ && cache_->tipoCusto) return *cache_->tipoCusto;
  Prepara(*QAux, {QStringLiteral("Select TipoCusto From ParaRentabilidade")});
  QAux->open();
  const int tipo = Inteiro(*QAux, "TipoCusto");
  if (cache_) cache_->tipoCusto = tipo;
  return tipo;
}

double TConsultasRentabilidade::PrecoCustoAtual(TQueryPreguicosa& QAux, const QString& CodEmpresa,
                                                const QString& CodProd) {
  return Lembra(
      cache_ ? &cache_->precoCustoAtual : nullptr, TChave{CodEmpresa, CodProd}, false,
      [&]() -> double {
        Prepara(*QAux, {QStringLiteral(
                           "Select PrecoCusto               From CompProd                   "
                           "Where CodProd = :CodProd And          CodEmpresa = :CodEmpresa  ")});
        QAux->setString(QStringLiteral("CodProd"), CodProd);
        QAux->setString(QStringLiteral("CodEmpresa"), CodEmpresa);
        QAux->open();
        return Float(*QAux, "PrecoCusto");
      },
      cache_ ? &cache_->compProdCusto : nullptr);
}

double TConsultasRentabilidade::PrecoMedioAtual(TQueryPreguicosa& QAux, const QString& CodEmpresa,
                                                const QString& CodProd) {
  return Lembra(
      cache_ ? &cache_->precoMedioAtual : nullptr, TChave{CodEmpresa, CodProd}, false,
      [&]() -> double {
        Prepara(*QAux, {QStringLiteral(
                           "Select PrecoMedio               From CompProd                   "
                           "Where CodProd = :CodProd And          CodEmpresa = :CodEmpresa  ")});
        QAux->setString(QStringLiteral("CodProd"), CodProd);
        QAux->setString(QStringLiteral("CodEmpresa"), CodEmpresa);
        QAux->open();
        return Float(*QAux, "PrecoMedio");
      },
      cache_ ? &cache_->compProdMedio : nullptr);
}

double TConsultasRentabilidade::PrecoGerencial(TQueryPreguicosa& QAux, const QString& CodEmpresa,
                                               const QString& CodProd, const QString& CodGrade) {
  return Lembra(
      cache_ ? &cache_->precoGerencial : nullptr, TChave{CodEmpresa, CodProd, CodGrade}, false,
      [&]() -> double {
        Prepara(*QAux, {QStringLiteral(
                           "Select PRECOCUSTO                  From CUSTOGERENCIAL                "
                           "Where CodProd = :CodProd And             CodEmpresa = :CodEmpresa And"
                           "       CodGrade   =:CodGrade        ")});
        QAux->setString(QStringLiteral("CodProd"), CodProd);
        QAux->setString(QStringLiteral("CodEmpresa"), CodEmpresa);
        QAux->setString(QStringLiteral("CodGrade"), CodGrade);
        QAux->open();
        return Float(*QAux, "PRECOCUSTO");
      },
      cache_ ? &cache_->custoGerencial : nullptr);
}

std::optional<TMovimento> TConsultasRentabilidade::UltimoMovimento(TQueryPreguicosa& QAux,
                                                                   const QString& CodEmpresa,
                                                                   const QString& CodProd,
                                                                   const QString& CodGrade,
                                                                   TDateTime DataVenda) {
  if (cache_) return UltimoMovimentoDaGrade(QAux, CodEmpresa, CodProd, CodGrade, DataVenda);
  // Without a cache: the ERP's statement for the grade and day.
  const QString E = Literal(CodEmpresa), P = Literal(CodProd), G = Literal(CodGrade);
  Prepara(*QAux,
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
  QAux->setDate(QStringLiteral("Dt_Movimento"), DataVenda);
  QAux->open();
  if (QAux->isEmpty()) return std::nullopt;
  TMovimento movimento;
  movimento.Dt_Movimento = Data(*QAux, "Dt_Movimento");
  movimento.Sequencia = QAux->fieldByName("Sequencia").asInteger();
  QAux->close();
  return movimento;
}

const std::vector<TCacheConsultas::MovimentoGrade>* TConsultasRentabilidade::MovimentosDaGrade(
    TQueryPreguicosa& QAux, const TChave& grade) {
  if (const auto it = cache_->movimentosDaGrade.constFind(grade);
      it != cache_->movimentosDaGrade.constEnd())
    return &*it;
  // The period's movements, read for every grade at once.
  if (cache_->movimentos) {
    const std::vector<TCacheConsultas::MovimentoGrade>* movimentos = nullptr;
    switch (cache_->movimentos->Procura(grade, movimentos)) {
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
  Prepara(*QAux, {QStringLiteral("Select Dt_Movimento, Sequencia From MvGeral"),
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

std::optional<TMovimento> TConsultasRentabilidade::UltimoMovimentoDaGrade(TQueryPreguicosa& QAux,
                                                                          const QString& CodEmpresa,
                                                                          const QString& CodProd,
                                                                          const QString& CodGrade,
                                                                          TDateTime DataVenda) {
  const std::vector<TCacheConsultas::MovimentoGrade>& movimentos =
      *MovimentosDaGrade(QAux, TChave{CodEmpresa, CodProd, CodGrade});
  // The latest day on or before the sale day, and the highest sequence of
  // that day (none: 0, as a null maximum reads).
  std::optional<TDateTime> ultimoDia;
  for (const auto& m : movimentos)
    if (m.Dt_Movimento <= DataVenda && (!ultimoDia || m.Dt_Movimento > *ultimoDia))
      ultimoDia = m.Dt_Movimento;
  if (!ultimoDia) return std::nullopt;
  std::optional<qint64> sequencia;
  for (const auto& m : movimentos)
    if (m.Dt_Movimento == *ultimoDia && m.Sequencia && (!sequencia || *m.Sequencia > *sequencia))
      sequencia = m.Sequencia;
  return TMovimento{*ultimoDia, sequencia.value_or(0)};
}

double TConsultasRentabilidade::PrecoDoMovimento(TQueryPreguicosa& QAux, PrecoMovimento Preco,
                                                 const QString& CodEmpresa, const QString& CodProd,
                                                 const QString& CodGrade,
                                                 const TMovimento& Movimento) {
  const bool medio = Preco == PrecoMovimento::Medio;
  if (cache_ && cache_->movimentos && cache_->movimentosMedio == medio) {
    // The movement's row among the period's movements: its price, when the
    // statement would find exactly that row.
    const std::vector<TCacheConsultas::MovimentoGrade>* movimentos = nullptr;
    const TCobertura cobertura =
        cache_->movimentos->Procura(TChave{CodEmpresa, CodProd, CodGrade}, movimentos);
    if (cobertura != TCobertura::Fora) {
      const TCacheConsultas::MovimentoGrade* achado = nullptr;
      int linhas = 0;
      if (cobertura == TCobertura::Linha) {
        for (const auto& m : *movimentos) {
          if (m.Dt_Movimento == Movimento.Dt_Movimento && m.Sequencia == Movimento.Sequencia) {
            achado = &m;
            ++linhas;
          }
        }
      }
      if (linhas <= 1) return achado ? achado->Preco : 0;
    }
  }
  return Lembra(
      cache_ ? &cache_->precoDoMovimento : nullptr,
      TChaveMovimento{TChave{CodEmpresa, CodProd, CodGrade}, Movimento.Dt_Movimento,
                      Movimento.Sequencia, medio},
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
        Prepara(*QAux, {inicio + E + QStringLiteral("  And CodProd    = ") + P +
                        QStringLiteral("  And CodGrade   = ") + G +
                        QStringLiteral("  And Dt_Movimento = :Dt_Movimento                 ") +
                        QStringLiteral("  And Sequencia    = :Sequencia                    ")});
        QAux->setDate(QStringLiteral("Dt_Movimento"), Movimento.Dt_Movimento);
        QAux->setInteger(QStringLiteral("Sequencia"), Movimento.Sequencia);
        QAux->open();
        return Float(*QAux, Preco == PrecoMovimento::Custo ? "PrecoCusto" : "PrecoMedio");
      });
}

double TConsultasRentabilidade::TotalItensPedido(const QString& CodEmpresa,
                                                 const QString& CodPedido,
                                                 const QString& TipoPedido) {
  return Lembra(
      cache_ ? &cache_->totalItensPedido : nullptr, TChave{CodEmpresa, CodPedido, TipoPedido},
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
  return Lembra(cache_ ? &cache_->valorDaTroca : nullptr, TChave{CodEmpresa, CodTroca}, true,
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
  return Lembra(
      cache_ ? &cache_->condPag : nullptr, TChave{CodPrazo}, false,
      [&]() -> TCondPag {
        Query& q = dm_.qryAuxiliar;  // CondPag: the caller keeps the row
        Prepara(q, {Preenche(QStringLiteral("SELECT *"), 29),
                    Preenche(QStringLiteral("  FROM CONDPAG"), 29),
                    Preenche(QStringLiteral("WHERE CODPRAZO = :PCODPRAZO"), 29)});
        q.setString(QStringLiteral("PCODPRAZO"), CodPrazo);
        q.open();
        return LeCondPag(q);
      },
      cache_ ? &cache_->condPagCarregada : nullptr);
}

TEnceFat TConsultasRentabilidade::EnceFat(const QString& CodEmpresa, const QString& TipoPedido,
                                          const QString& CodPedido) {
  return Lembra(
      cache_ ? &cache_->enceFat : nullptr, TChave{CodEmpresa, TipoPedido, CodPedido}, false,
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
        return LeEnceFat(q);
      });
}

std::vector<TChequePreDatado> TConsultasRentabilidade::ChequesPreDatados(
    const QString& CodEmpresa, const QString& NumDocOrig) {
  return Lembra(cache_ ? &cache_->chequesPreDatados : nullptr, TChave{CodEmpresa, NumDocOrig}, true,
                [&]() -> std::vector<TChequePreDatado> {
                  Query& q = UsaQryAuxiliar();
                  Prepara(q, {QStringLiteral("Select * From PreTerc "),
                              QStringLiteral(" Where CodEmpresa = :PCodEmpresa"),
                              QStringLiteral("   and NumDocOrig = :PNumDocOrig")});
                  q.setString(QStringLiteral("PCodEmpresa"), CodEmpresa);
                  q.setString(QStringLiteral("PNumDocOrig"), NumDocOrig);
                  q.open();
                  std::vector<TChequePreDatado> cheques;
                  for (q.first(); !q.eof(); q.next()) cheques.push_back(LeCheque(q));
                  return cheques;
                });
}

TFinanciamento TConsultasRentabilidade::Financiamento(const QString& CodEmpresa,
                                                      const QString& CodVenda) {
  return Lembra(cache_ ? &cache_->financiamento : nullptr, TChave{CodEmpresa, CodVenda}, false,
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
                  return LeFinanciamento(q);
                });
}

TPlanoFinanc TConsultasRentabilidade::PlanoFinanc(const QString& CodFinanceira,
                                                  const QString& CodPlano,
                                                  const QString& DescFormaPgto) {
  return Lembra(
      cache_ ? &cache_->planoFinanc : nullptr, TChave{CodFinanceira, CodPlano, DescFormaPgto},
      false,
      [&]() -> TPlanoFinanc {
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
        return LePlanoFinanc(q);
      },
      cache_ ? &cache_->planoFinancCarregado : nullptr);
}

std::vector<TDocumentoConvenio> TConsultasRentabilidade::DocumentosConvenio(
    const QString& CodEmpresa, const QString& TipoPedido, const QString& CodPedido) {
  return Lembra(
      cache_ ? &cache_->documentosConvenio : nullptr, TChave{CodEmpresa, TipoPedido, CodPedido},
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
        for (q.first(); !q.eof(); q.next()) documentos.push_back(LeDocumento(q));
        return documentos;
      });
}

TCartCon TConsultasRentabilidade::CartCon(const QString& Codigo) {
  return Lembra(
      cache_ ? &cache_->cartCon : nullptr, TChave{Codigo}, false,
      [&]() -> TCartCon {
        Query& q = dm_.qryTemp;
        Prepara(q, {QStringLiteral("SELECT CODIGO, NOME, DIASCOMPENSACAO, PERCDESC, CODPRAZO, "
                                   "TAXAMENSALANTECIP "),
                    QStringLiteral("  FROM CARTCON"),
                    QStringLiteral(" WHERE CARTCON.CODIGO = :PCODIGO")});
        q.setString(QStringLiteral("PCODIGO"), Codigo);
        q.open();
        return LeCartCon(q);
      },
      cache_ ? &cache_->cartConCarregada : nullptr);
}

std::vector<TParcelaPedido> TConsultasRentabilidade::ParcelasPedido(const QString& CodEmpresa,
                                                                    const QString& TipoPedido,
                                                                    const QString& CodPedido) {
  return Lembra(cache_ ? &cache_->parcelasPedido : nullptr,
                TChave{CodEmpresa, TipoPedido, CodPedido}, false,
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
                  return LeParcelas(q);
                });
}

// ---------------------------------------------------------------------------
// The period's look-ups in set-based statements.

namespace {

// The record number of the current row of table (or alias) `tabela`, as a
// number. Rows that match a condition are read in record order (an index
// only marks them), so this is the order in which a look-up's own statement
// returns its rows, and sums them. RDB$DB_KEY holds the relation in bytes
// 1-2, the high byte of the record number in byte 3 and its low 32 bits,
// least significant first, in bytes 5-8.
QString NumeroDoRegistro(const QString& tabela) {
  const auto byte = [&](int n) {
    return QStringLiteral("ASCII_VAL(SUBSTRING(%1.RDB$DB_KEY FROM %2 FOR 1))").arg(tabela).arg(n);
  };
  return QStringLiteral("(%1 * 4294967296.0 + %2 * 16777216.0 + %3 * 65536 + %4 * 256 + %5)")
      .arg(byte(3), byte(8), byte(7), byte(6), byte(5));
}

// Rows sorted by record number (`id`): a table row met again for the same
// key (an order listed twice) is skipped.
template <typename Id>
class TRepetidas {
 public:
  bool Repetida(const Id& id, const TChave& chave) {
    if (!primeira_ && id == id_) {
      if (std::find(chaves_.begin(), chaves_.end(), chave) != chaves_.end()) return true;
    } else {
      primeira_ = false;
      id_ = id;
      chaves_.clear();
    }
    chaves_.push_back(chave);
    return false;
  }

 private:
  bool primeira_ = true;
  Id id_{};
  std::vector<TChave> chaves_;
};

// The answer of a look-up that reads one row, from the rows of a set-based
// statement: the one table row met for the key, or nothing when two
// different rows were met (the look-up then runs its own statement, which
// reads the first).
template <typename T>
struct TUmaLinha {
  T valor{};
  std::optional<double> registro;
  bool ambigua = false;

  // `registro`: the row's record number (none: no row, a left join).
  template <typename Le>
  void Linha(std::optional<double> numero, Le&& le) {
    if (vista_) {
      if (numero != registro) ambigua = true;
      return;
    }
    vista_ = true;
    registro = numero;
    if (numero) valor = le();
  }

 private:
  bool vista_ = false;
};

std::optional<double> Registro(const Query& q, const QString& coluna) {
  const Field f = q.fieldByName(coluna);
  if (f.isNull()) return std::nullopt;
  return f.asFloat();
}

}  // namespace

struct TConsultasRentabilidade::Periodo {
  Database* banco = nullptr;
  QString Empresa;  // empty: every branch
  QString MostraPedidos;
  TDateTime Data1 = 0, Data2 = 0;

  // The orders of the period whose look-ups are loaded (a key of plain
  // ASCII, no null column), each once, and whether TIPOPEDIDO || CODPEDIDO
  // as the statements join it is the document number the calculation
  // passes (CabecTexto("TipoPedido") + CabecTexto("CodPedido")).
  struct Pedido {
    TChave chave;  // CODEMPRESA, TIPOPEDIDO, CODPEDIDO
    bool numDoc = false;
    // What the calculation can ask of the order, as its closing record says
    // (financing, agreement documents, own receivables): the answers kept
    // for the other orders would never be read.
    bool financiado = true, convenio = true, receber = true;
  };
  std::vector<Pedido> pedidos;
  QHash<TChave, int> indice;  // order key -> entry of `pedidos`

  // The joins to PEDIDOC C of the period: the conditions of the order-items
  // query on PEDIDOC.
  QString Condicoes() const {
    QString s = QStringLiteral(" WHERE C.DATAPEDIDO BETWEEN :Data1 AND :Data2");
    if (!Empresa.isEmpty()) s += QStringLiteral(" AND C.CODEMPRESA = :Empresa");
    s += QStringLiteral(" AND COALESCE(C.FATURADO, \"X\") <> \"X\"");
    if (MostraPedidos == QLatin1String("0"))
      s += QStringLiteral(" AND C.FATURADO = \"S\"");
    else if (MostraPedidos == QLatin1String("1"))
      s += QStringLiteral(" AND C.FATURADO <> \"S\"");
    return s;
  }
  // The branch of the payment look-ups (cheques, financing): the configured
  // one, or the order's own when none is.
  QString EmpresaDosPagamentos() const {
    return Empresa.isEmpty() ? QStringLiteral("C.CODEMPRESA") : QStringLiteral(":Empresa");
  }
  QString EmpresaDosPagamentos(const TChave& pedido) const {
    return Empresa.isEmpty() ? pedido.a : Empresa;
  }
  void Parametros(Query& q) const {
    q.setDate(QStringLiteral("Data1"), Data1);
    q.setDate(QStringLiteral("Data2"), Data2);
    if (!Empresa.isEmpty()) q.setString(QStringLiteral("Empresa"), Empresa);
  }
  // The order of the current row (columns MGV_EMPRESA, MGV_TIPO,
  // MGV_PEDIDO), when its look-ups are loaded.
  const Pedido* PedidoDaLinha(const Query& q) const {
    const auto it = indice.constFind(
        TChave{Texto(q, "MGV_EMPRESA"), Texto(q, "MGV_TIPO"), Texto(q, "MGV_PEDIDO")});
    return it == indice.constEnd() ? nullptr : &pedidos[*it];
  }
};

namespace {

// Runs one load of the period. A load that fails leaves its look-ups to
// their own statements, which report the error where the calculation meets
// it. Returns whether it ran through.
template <typename Carga>
bool Tenta(Carga&& carga) {
  try {
    carga();
    return true;
  } catch (const DatabaseError&) {
  } catch (const ConversionError&) {
  }
  return false;
}

// The key columns of the order of every statement of the period.
const QString kColunasPedido = QStringLiteral(
    "SELECT C.CODEMPRESA AS MGV_EMPRESA, C.TIPOPEDIDO AS MGV_TIPO, C.CODPEDIDO AS MGV_PEDIDO,");

}  // namespace

void TConsultasRentabilidade::CarregaPeriodo(const QString& Empresa, const QString& MostraPedidos,
                                             TDateTime Data1, TDateTime Data2) {
  if (!cache_)
    throw std::logic_error("CarregaConsultasDoPeriodo: o cache de consultas está desligado");
  Periodo p;
  p.banco = dm_.ggtRent->Conexao()->getBancoDados();
  p.Empresa = Empresa;
  p.MostraPedidos = MostraPedidos;
  p.Data1 = Data1;
  p.Data2 = Data2;
  // A period without orders needs nothing more.
  if (Tenta([&] { CarregaPedidos(p); }) && p.pedidos.empty()) return;
  if (!p.pedidos.empty()) {
    Tenta([&] { CarregaTotaisDosItens(p); });
    Tenta([&] { CarregaCheques(p); });
    Tenta([&] { CarregaFinanciamentos(p); });
    Tenta([&] { CarregaDocumentosConvenio(p); });
    Tenta([&] { CarregaParcelas(p); });
  }
  CarregaTabelas(p);
}

void TConsultasRentabilidade::CarregaPedidos(Periodo& p) {
  // Every order of the period, with its closing record when it has one.
  Query q(p.banco);
  q.setUnidirectional(true);  // read once, in order: nothing kept
  q.sql() << kColunasPedido
          << QStringLiteral("       TRIM(TRAILING FROM C.TIPOPEDIDO) || C.CODPEDIDO AS MGV_NUMDOC,")
          << QStringLiteral(
                 "       E.VlrReceber, E.VlrConvenio, E.VlrFinanc, E.VlrChPreDatado,"
                 " E.VlrCheque, E.VlrDinheiro, E.VlrDesconto,")
          << QStringLiteral(
                 "       (E.VlrCheque + E.VlrReceber + E.VlrConvenio + E.VlrFinanc + "
                 "E.VlrChPreDatado + (E.VlrDinheiro - E.VlrTroco)) as Total,")
          << QStringLiteral("       ") + NumeroDoRegistro(QStringLiteral("E")) +
                 QStringLiteral(" AS MGV_REGISTRO")
          << QStringLiteral(
                 "  FROM PEDIDOC C LEFT JOIN EnceFat E ON (E.CodPedido = C.CODPEDIDO"
                 " AND E.TipoPedido = C.TIPOPEDIDO AND E.CodEmpresa = C.CODEMPRESA)")
          << p.Condicoes();
  p.Parametros(q);
  q.open();
  const QString registro = QStringLiteral("MGV_REGISTRO");
  std::vector<Periodo::Pedido> pedidos;
  QHash<TChave, int> indice;
  std::vector<TUmaLinha<TEnceFat>> fechamentos;
  for (q.first(); !q.eof(); q.next()) {
    const Field empresa = q.fieldByName("MGV_EMPRESA");
    const Field tipo = q.fieldByName("MGV_TIPO");
    const Field pedido = q.fieldByName("MGV_PEDIDO");
    // A null code reads as empty text in the calculation, which no join
    // with the null column reproduces.
    if (empresa.isNull() || tipo.isNull() || pedido.isNull()) continue;
    TChave chave{empresa.asString(), tipo.asString(), pedido.asString()};
    if (!Ascii(chave)) continue;
    auto it = indice.constFind(chave);
    if (it == indice.constEnd()) {
      const Field numDoc = q.fieldByName("MGV_NUMDOC");
      const bool mesmoNumDoc = !numDoc.isNull() && SemBrancosFinais(numDoc.asString()) ==
                                                       SemBrancosFinais(chave.b + chave.c);
      it = indice.insert(chave, static_cast<int>(pedidos.size()));
      pedidos.push_back({std::move(chave), mesmoNumDoc});
      fechamentos.emplace_back();
    }
    fechamentos[*it].Linha(Registro(q, registro), [&] { return LeEnceFat(q); });
  }
  q.close();
  for (std::size_t i = 0; i < pedidos.size(); ++i) {
    if (fechamentos[i].ambigua) continue;
    const TEnceFat& e = fechamentos[i].valor;
    cache_->enceFat.insert(pedidos[i].chave, e);
    pedidos[i].financiado = e.VlrFinanc > 0;
    pedidos[i].convenio = e.VlrConvenio > 0;
    pedidos[i].receber = e.VlrReceber > 0;
  }
  p.pedidos = std::move(pedidos);
  p.indice = std::move(indice);
}

void TConsultasRentabilidade::CarregaTotaisDosItens(const Periodo& p) {
  // The sum of each order's lines, added in record order as the look-up's
  // SUM adds them (a sum of doubles depends on the order of its terms).
  Query q(p.banco);
  q.setUnidirectional(true);  // read once, in order: nothing kept
  q.sql() << kColunasPedido
          << QStringLiteral("       (I.precounit - I.descontovlr) * I.quantidade AS MGV_VALOR,")
          << QStringLiteral("       ") + NumeroDoRegistro(QStringLiteral("I")) +
                 QStringLiteral(" AS MGV_REGISTRO")
          << QStringLiteral(
                 "  FROM PEDIDOC C INNER JOIN pedidoi I ON (I.codempresa = C.CODEMPRESA"
                 " AND I.codpedido = C.CODPEDIDO AND I.tipopedido = C.TIPOPEDIDO)")
          << p.Condicoes() << QStringLiteral(" ORDER BY 5");
  p.Parametros(q);
  q.open();
  std::vector<double> totais(p.pedidos.size(), 0.0);
  TRepetidas<double> repetidas;
  for (q.first(); !q.eof(); q.next()) {
    const Periodo::Pedido* pedido = p.PedidoDaLinha(q);
    if (pedido == nullptr) continue;
    if (repetidas.Repetida(Float(q, "MGV_REGISTRO"), pedido->chave)) continue;
    const Field valor = q.fieldByName("MGV_VALOR");
    if (!valor.isNull()) totais[pedido - p.pedidos.data()] += valor.asFloat();
  }
  q.close();
  for (std::size_t i = 0; i < p.pedidos.size(); ++i) {
    const TChave& k = p.pedidos[i].chave;
    cache_->totalItensPedido.insert(TChave{k.a, k.c, k.b}, totais[i]);
  }
}

void TConsultasRentabilidade::CarregaCheques(const Periodo& p) {
  Query q(p.banco);
  q.setUnidirectional(true);  // read once, in order: nothing kept
  q.sql() << kColunasPedido
          << QStringLiteral("       P.VlrCheque, P.Dt_Entrada, ") +
                 NumeroDoRegistro(QStringLiteral("P")) + QStringLiteral(" AS MGV_REGISTRO")
          << QStringLiteral("  FROM PEDIDOC C INNER JOIN PreTerc P ON (P.CodEmpresa = ") +
                 p.EmpresaDosPagamentos() +
                 QStringLiteral(
                     " AND P.NumDocOrig = TRIM(TRAILING FROM C.TIPOPEDIDO) || "
                     "C.CODPEDIDO)")
          << p.Condicoes() << QStringLiteral(" ORDER BY 6");
  p.Parametros(q);
  q.open();
  const auto chaveDoPedido = [&p](const Periodo::Pedido& pedido) {
    return TChave{p.EmpresaDosPagamentos(pedido.chave), pedido.chave.b + pedido.chave.c};
  };
  QHash<TChave, std::vector<TChequePreDatado>> cheques;
  TRepetidas<double> repetidas;
  for (q.first(); !q.eof(); q.next()) {
    const Periodo::Pedido* pedido = p.PedidoDaLinha(q);
    if (pedido == nullptr || !pedido->numDoc) continue;
    const TChave chave = chaveDoPedido(*pedido);
    if (repetidas.Repetida(Float(q, "MGV_REGISTRO"), chave)) continue;
    cheques[chave].push_back(LeCheque(q));
  }
  q.close();
  for (const Periodo::Pedido& pedido : p.pedidos) {
    if (!pedido.numDoc) continue;
    const TChave chave = chaveDoPedido(pedido);
    cache_->chequesPreDatados.insert(chave, cheques.value(chave));
  }
}

void TConsultasRentabilidade::CarregaFinanciamentos(const Periodo& p) {
  Query q(p.banco);
  q.setUnidirectional(true);  // read once, in order: nothing kept
  q.sql() << kColunasPedido
          << QStringLiteral(
                 "       F.CodPlano, F.DescFormaPgto, F.CodFinanceira, "
                 "F.ValorMensalidade, ") +
                 NumeroDoRegistro(QStringLiteral("F")) + QStringLiteral(" AS MGV_REGISTRO")
          << QStringLiteral(
                 "  FROM PEDIDOC C INNER JOIN Financiamento F ON (F.CodVenda = "
                 "C.CODPEDIDO AND F.CodEmpresa = ") +
                 p.EmpresaDosPagamentos() + u')'
          << p.Condicoes();
  p.Parametros(q);
  q.open();
  const QString registro = QStringLiteral("MGV_REGISTRO");
  QHash<TChave, TUmaLinha<TFinanciamento>> financiamentos;
  for (q.first(); !q.eof(); q.next()) {
    const Periodo::Pedido* pedido = p.PedidoDaLinha(q);
    if (pedido == nullptr || !pedido->financiado) continue;
    financiamentos[TChave{p.EmpresaDosPagamentos(pedido->chave), pedido->chave.c}].Linha(
        Registro(q, registro), [&] { return LeFinanciamento(q); });
  }
  q.close();
  for (const Periodo::Pedido& pedido : p.pedidos) {
    if (!pedido.financiado) continue;
    const TChave chave{p.EmpresaDosPagamentos(pedido.chave), pedido.chave.c};
    const auto it = financiamentos.constFind(chave);
    if (it == financiamentos.constEnd())
      cache_->financiamento.insert(chave, TFinanciamento{});
    else if (!it->ambigua)
      cache_->financiamento.insert(chave, it->valor);
  }
}

void TConsultasRentabilidade::CarregaDocumentosConvenio(const Periodo& p) {
  // The look-up joins each agreement record of the order to every
  // receivable document of the order. Its only conditions with values are on
  // ConvEnceFat (its key), so the database reads the order's agreement
  // records first, in record order, and joins the documents to each, in
  // record order: the pairs are sorted so here.
  Query q(p.banco);
  q.setUnidirectional(true);  // read once, in order: nothing kept
  q.sql() << kColunasPedido
          << QStringLiteral(
                 "       ConvEnceFat.Convenio, Docurec.Dt_Emissao, "
                 "DocuRec.Dt_Vencimento, DocuRec.ValorDocto,")
          << QStringLiteral("       ") + NumeroDoRegistro(QStringLiteral("ConvEnceFat")) +
                 QStringLiteral(" AS MGV_REGISTRO, ") +
                 NumeroDoRegistro(QStringLiteral("DocuRec")) + QStringLiteral(" AS MGV_DOCUMENTO")
          << QStringLiteral("  FROM PEDIDOC C")
          << QStringLiteral(
                 " INNER JOIN ConvEnceFat ON (ConvEnceFat.CodEmpresa = C.CODEMPRESA"
                 " AND ConvEnceFat.TipoPedido = C.TIPOPEDIDO"
                 " AND ConvEnceFat.Codpedido = C.CODPEDIDO)")
          << QStringLiteral(
                 " Inner join DocuRec on (DocuRec.CodEmpresa = ConvEnceFat.CodEmpresa"
                 " And DocuRec.NumDocOrig = ConvEnceFat.TipoPedido||"
                 "ConvEnceFat.CodPedido)")
          << p.Condicoes() << QStringLiteral(" ORDER BY 8, 9");
  p.Parametros(q);
  q.open();
  std::vector<std::vector<TDocumentoConvenio>> porPedido(p.pedidos.size());
  TRepetidas<std::pair<double, double>> repetidas;
  for (q.first(); !q.eof(); q.next()) {
    const Periodo::Pedido* pedido = p.PedidoDaLinha(q);
    if (pedido == nullptr || !pedido->convenio) continue;
    if (repetidas.Repetida({Float(q, "MGV_REGISTRO"), Float(q, "MGV_DOCUMENTO")}, pedido->chave))
      continue;
    porPedido[pedido - p.pedidos.data()].push_back(LeDocumento(q));
  }
  q.close();
  for (std::size_t i = 0; i < p.pedidos.size(); ++i)
    if (p.pedidos[i].convenio)
      cache_->documentosConvenio.insert(p.pedidos[i].chave, std::move(porPedido[i]));
}

void TConsultasRentabilidade::CarregaParcelas(const Periodo& p) {
  Query q(p.banco);
  q.setUnidirectional(true);  // read once, in order: nothing kept
  q.sql() << kColunasPedido
          << QStringLiteral("       ") + NumeroDoRegistro(QStringLiteral("P")) +
                 QStringLiteral(" AS MGV_REGISTRO, P.*")
          << QStringLiteral(
                 "  FROM PEDIDOC C INNER JOIN ParcPedC P ON (P.CodEmpresa = "
                 "C.CODEMPRESA AND P.TipoPedido = C.TIPOPEDIDO"
                 " AND P.Codpedido = C.CODPEDIDO)")
          << p.Condicoes();
  p.Parametros(q);
  q.open();
  const QString registro = QStringLiteral("MGV_REGISTRO");
  std::vector<TUmaLinha<std::vector<TParcelaPedido>>> parcelas(p.pedidos.size());
  for (q.first(); !q.eof(); q.next()) {
    const Periodo::Pedido* pedido = p.PedidoDaLinha(q);
    if (pedido == nullptr || !pedido->receber) continue;
    parcelas[pedido - p.pedidos.data()].Linha(Registro(q, registro), [&] { return LeParcelas(q); });
  }
  q.close();
  for (std::size_t i = 0; i < p.pedidos.size(); ++i)
    if (p.pedidos[i].receber && !parcelas[i].ambigua)
      cache_->parcelasPedido.insert(p.pedidos[i].chave, std::move(parcelas[i].valor));
}

void TConsultasRentabilidade::CarregaTabelas(const Periodo& p) {
  // Each table in one statement; a table whose statement fails is left to
  // its look-up.
  const auto carrega = [&p](auto& destino, std::optional<QString> empresa,
                            std::initializer_list<QString> linhas, auto&& linha) {
    Tenta([&] {
      Query q(p.banco);
      q.setUnidirectional(true);  // read once, in order: nothing kept
      for (const QString& l : linhas) q.sql() << l;
      if (empresa) q.setString(QStringLiteral("Empresa"), *empresa);
      q.open();
      using Tabela = typename std::decay_t<decltype(destino)>::value_type;
      Tabela tabela(empresa);
      for (q.first(); !q.eof(); q.next()) linha(q, tabela);
      q.close();
      tabela.Conclui();
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
      if (const auto k = chave(q, colunas)) tabela.Adiciona(*k, valor(q));
    };
  };

  carrega(cache_->condPagCarregada, std::nullopt, {QStringLiteral("SELECT * FROM CONDPAG")},
          simples({"CODPRAZO"}, LeCondPag));
  carrega(cache_->cartConCarregada, std::nullopt,
          {QStringLiteral("SELECT CODIGO, NOME, DIASCOMPENSACAO, PERCDESC, CODPRAZO, "
                          "TAXAMENSALANTECIP FROM CARTCON")},
          simples({"CODIGO"}, LeCartCon));
  carrega(cache_->planoFinancCarregado, std::nullopt,
          {QStringLiteral("Select Financeira.CodFinanceira AS MGV_FINANCEIRA, "
                          "PlanosFinanc.CodPlano AS MGV_PLANO, PlanosFinanc.DescFormaPgto AS "
                          "MGV_FORMA,"),
           QStringLiteral("       Financeira.DiasCompensacao, PlanosFinanc.TaxaRetencao, "
                          "PlanosFinanc.NumParc, Financeira.CodPrazo, Planosfinanc.Entrada"),
           QStringLiteral("  From Financeira inner join PlanosFinanc on "
                          "(Financeira.CodFinanceira = PlanosFinanc.CodFinanceira)")},
          simples({"MGV_FINANCEIRA", "MGV_PLANO", "MGV_FORMA"}, LePlanoFinanc));
  carrega(cache_->vendedorComissao, std::nullopt,
          {QStringLiteral("Select CodVendedor, Comissao From Vendend")},
          simples({"CodVendedor"}, [](const Query& q) { return Float(q, "Comissao"); }));
  carrega(cache_->produtoCustoOperc, std::nullopt,
          {QStringLiteral("Select CodProd, CustoOperc From Produto")},
          simples({"CodProd"}, [](const Query& q) { return Float(q, "CustoOperc"); }));
  carrega(cache_->produtoComissao, std::nullopt,
          {QStringLiteral("Select CodProd, Comissao From Produto")},
          simples({"CodProd"}, [](const Query& q) { return Float(q, "Comissao"); }));

  // The costs of the policy in force (the look-up's own answer, read once
  // per refresh), of the branch or of every branch.
  int tipoCusto = 0;
  if (!Tenta([&] {
        TQueryPreguicosa QAux(p.banco);
        tipoCusto = TipoCusto(QAux);
      }))
    return;
  const std::optional<QString> empresa =
      p.Empresa.isEmpty() ? std::nullopt : std::optional<QString>(p.Empresa);
  const QString filtro =
      p.Empresa.isEmpty() ? QString() : QStringLiteral(" Where CodEmpresa = :Empresa");
  if (tipoCusto == 5) {
    carrega(
        cache_->custoGerencial, empresa,
        {QStringLiteral("Select CodEmpresa, CodProd, CodGrade, PRECOCUSTO From CUSTOGERENCIAL") +
         filtro},
        simples({"CodEmpresa", "CodProd", "CodGrade"},
                [](const Query& q) { return Float(q, "PRECOCUSTO"); }));
    return;
  }
  const bool medio = tipoCusto == 3 || tipoCusto == 4;
  auto& compProd = medio ? cache_->compProdMedio : cache_->compProdCusto;
  carrega(compProd, empresa,
          {QStringLiteral("Select CodEmpresa, CodProd, %1 AS MGV_PRECO From CompProd")
               .arg(medio ? QStringLiteral("PrecoMedio") : QStringLiteral("PrecoCusto")) +
           filtro},
          simples({"CodEmpresa", "CodProd"}, [](const Query& q) { return Float(q, "MGV_PRECO"); }));
  if (tipoCusto == 2 || tipoCusto == 3) Tenta([&] { CarregaMovimentos(p, tipoCusto == 3); });
}

void TConsultasRentabilidade::CarregaMovimentos(const Periodo& p, bool medio) {
  // The movements up to the period's last day: no sale of the period looks
  // further.
  Query q(p.banco);
  q.setUnidirectional(true);  // read once, in order: nothing kept
  q.sql() << QStringLiteral(
                 "Select CodEmpresa, CodProd, CodGrade, Dt_Movimento, Sequencia, %1 "
                 "AS MGV_PRECO From MvGeral")
                 .arg(medio ? QStringLiteral("PrecoMedio") : QStringLiteral("PrecoCusto"))
          << QStringLiteral(" Where Dt_Movimento <= :Data2") +
                 (p.Empresa.isEmpty() ? QString() : QStringLiteral(" And CodEmpresa = :Empresa"));
  q.setDate(QStringLiteral("Data2"), p.Data2);
  if (!p.Empresa.isEmpty()) q.setString(QStringLiteral("Empresa"), p.Empresa);
  q.open();
  TTabelaCarregada<std::vector<TCacheConsultas::MovimentoGrade>> movimentos(
      p.Empresa.isEmpty() ? std::nullopt : std::optional<QString>(p.Empresa));
  for (q.first(); !q.eof(); q.next()) {
    const Field empresa = q.fieldByName("CodEmpresa"), prod = q.fieldByName("CodProd"),
                grade = q.fieldByName("CodGrade");
    if (empresa.isNull() || prod.isNull() || grade.isNull()) continue;
    auto& lista = movimentos.Acumula(TChave{empresa.asString(), prod.asString(), grade.asString()});
    const Field dia = q.fieldByName("Dt_Movimento");
    if (dia.isNull()) continue;  // never on or before a day
    const Field sequencia = q.fieldByName("Sequencia");
    lista.push_back(
        {dia.asDateTime(),
         sequencia.isNull() ? std::nullopt : std::optional<qint64>(sequencia.asInteger()),
         q.fieldByName("MGV_PRECO").asFloat()});
  }
  q.close();
  movimentos.Conclui();
  cache_->movimentos = std::move(movimentos);
  cache_->movimentosMedio = medio;
}

}  // namespace margivo
