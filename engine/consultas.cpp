// The look-ups of the calculation. The statements are the ERP's own, line by
// line and blank by blank.
#include "engine/consultas_p.h"

#include <QStringList>
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

struct TConsultasRentabilidade::Periodo {
  Database* banco = nullptr;
  QString Empresa;  // empty: every branch
  QString MostraPedidos;
  TDateTime Data1 = 0, Data2 = 0;
  int pedidos = 0;  // orders whose look-ups were loaded

  // The conditions of the order-items query on PEDIDOC C, with the block's
  // parameters.
  QString Condicoes() const {
    QString s = QStringLiteral(" WHERE C.DATAPEDIDO BETWEEN :MGV_DATA1 AND :MGV_DATA2");
    if (!Empresa.isEmpty()) s += QStringLiteral(" AND C.CODEMPRESA = :MGV_EMP");
    s += QStringLiteral(" AND COALESCE(C.FATURADO, \"X\") <> \"X\"");
    if (MostraPedidos == QLatin1String("0"))
      s += QStringLiteral(" AND C.FATURADO = \"S\"");
    else if (MostraPedidos == QLatin1String("1"))
      s += QStringLiteral(" AND C.FATURADO <> \"S\"");
    return s;
  }
  // The branch of the payment look-ups (cheques, financing): the configured
  // one, or the order's own when none is.
  QString EmpresaDosPagamentos(const TChave& pedido) const {
    return Empresa.isEmpty() ? pedido.a : Empresa;
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
  if (Tenta([&] { CarregaPedidos(p); }) && p.pedidos == 0) return;
  CarregaTabelas(p);
}

namespace {

// The installment columns of ParcPedC as the installments look-up reads
// them: VlrParc01, VencParc01, VlrParc02... while the table has them, at
// most 24. None when the table does not exist, has an amount without its
// due date (the look-up would fail on it), or installments of different
// types (the block returns every installment as the first one's type): the
// look-up then runs itself.
std::optional<int> ColunasDeParcelas(Database* banco) {
  Query q(banco);
  q.sql() << QStringLiteral(
                 "SELECT TRIM(RF.RDB$FIELD_NAME) AS NOME, F.RDB$FIELD_TYPE AS TIPO,"
                 " F.RDB$FIELD_SUB_TYPE AS SUBTIPO, F.RDB$FIELD_LENGTH AS TAMANHO,")
          << QStringLiteral(" F.RDB$FIELD_SCALE AS ESCALA, F.RDB$FIELD_PRECISION AS PRECISAO")
          << QStringLiteral(
                 "  FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F"
                 " ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE")
          << QStringLiteral(" WHERE RF.RDB$RELATION_NAME = 'PARCPEDC'");
  q.open();
  if (q.isEmpty()) return std::nullopt;
  QHash<QString, QString> tipos;  // column -> its type
  for (q.first(); !q.eof(); q.next()) {
    tipos.insert(Texto(q, "NOME").toUpper(),
                 QStringList{Texto(q, "TIPO"), Texto(q, "SUBTIPO"), Texto(q, "TAMANHO"),
                             Texto(q, "ESCALA"), Texto(q, "PRECISAO")}
                     .join(u'/'));
  }
  int n = 0;
  while (n < 24) {
    const QString k = StrZero(QString::number(n + 1), 2);
    const QString vlr = QStringLiteral("VLRPARC") + k, venc = QStringLiteral("VENCPARC") + k;
    if (!tipos.contains(vlr)) break;
    if (!tipos.contains(venc) || tipos[vlr] != tipos[QStringLiteral("VLRPARC01")] ||
        tipos[venc] != tipos[QStringLiteral("VENCPARC01")])
      return std::nullopt;
    ++n;
  }
  return n;
}

// The order look-ups of the period in one statement: a block that walks the
// period's orders and, for each, runs the look-ups' own statements with the
// order's values where the calculation passes them, so that each answer is
// the one the look-up gives, its rows read in the same order. For each order
// it returns one row 'P' (closing record, sum of the lines, financing), then
// its ParcPedC rows ('R'), its pre-dated cheques ('C') and its agreement
// documents ('D'). Financing, documents and installments are read only for
// an order whose closing record (a single one) has them, the installments
// only for an order without payment condition: the calculation asks
// nothing else.
//
// The amounts are declared as their columns, so they come back as the
// look-ups read them; the closing record's Total and the sum of the lines
// as double precision, the type dialect 1 gives to NUMERIC(15,2) arithmetic.
// `parcelas`: the installment columns (none: installments not read).
QString BlocoDosPedidos(const QString& condicoes, bool comEmpresa, std::optional<int> parcelas) {
  // The installments: read into variables, returned one per row.
  const int nParcelas = parcelas.value_or(0);
  QStringList colunasParcelas, variaveisParcelas, colunasVencimentos, variaveisVencimentos,
      declaracoesParcelas, linhasParcelas;
  for (int k = 1; k <= nParcelas; ++k) {
    const QString n = StrZero(QString::number(k), 2);
    colunasParcelas << QStringLiteral("VlrParc") + n;
    variaveisParcelas << QStringLiteral(":MGV_V") + n;
    colunasVencimentos << QStringLiteral("VencParc") + n;
    variaveisVencimentos << QStringLiteral(":MGV_D") + n;
    declaracoesParcelas << QStringLiteral(
                               "DECLARE MGV_V%1 TYPE OF COLUMN ParcPedC.VlrParc%1;"
                               " DECLARE MGV_D%1 TYPE OF COLUMN ParcPedC.VencParc%1;")
                               .arg(n);
    // Up to (not including) the first amount that is not positive.
    linhasParcelas << QStringLiteral(
                          "        IF (MGV_SEGUE = 1 AND MGV_V%1 > 0) THEN BEGIN MGV_PARCELA = %2;"
                          " VlrParc = MGV_V%1; VencParc = MGV_D%1; SUSPEND; END"
                          " ELSE MGV_SEGUE = 0;")
                          .arg(n)
                          .arg(k);
  }
  // Every amount first, then every due date.
  colunasParcelas << colunasVencimentos;
  variaveisParcelas << variaveisVencimentos;

  QStringList b;
  b << QStringLiteral("EXECUTE BLOCK (MGV_DATA1 TYPE OF COLUMN PEDIDOC.DATAPEDIDO = ?,")
    << QStringLiteral("  MGV_DATA2 TYPE OF COLUMN PEDIDOC.DATAPEDIDO = ?") +
           (comEmpresa ? QStringLiteral(", MGV_EMP TYPE OF COLUMN PEDIDOC.CODEMPRESA = ?)")
                       : QStringLiteral(")"))
    << QStringLiteral("RETURNS (MGV_LINHA CHAR(1), MGV_EMPRESA TYPE OF COLUMN PEDIDOC.CODEMPRESA,")
    << QStringLiteral(
           "  MGV_TIPO TYPE OF COLUMN PEDIDOC.TIPOPEDIDO,"
           " MGV_PEDIDO TYPE OF COLUMN PEDIDOC.CODPEDIDO,")
    << QStringLiteral("  MGV_NUMDOC VARCHAR(255), MGV_FECHAMENTOS INTEGER,")
    << QStringLiteral(
           "  VlrReceber TYPE OF COLUMN EnceFat.VlrReceber,"
           " VlrConvenio TYPE OF COLUMN EnceFat.VlrConvenio,")
    << QStringLiteral(
           "  VlrFinanc TYPE OF COLUMN EnceFat.VlrFinanc,"
           " VlrChPreDatado TYPE OF COLUMN EnceFat.VlrChPreDatado,")
    << QStringLiteral(
           "  VlrCheque TYPE OF COLUMN EnceFat.VlrCheque,"
           " VlrDinheiro TYPE OF COLUMN EnceFat.VlrDinheiro,")
    << QStringLiteral("  VlrDesconto TYPE OF COLUMN EnceFat.VlrDesconto, Total DOUBLE PRECISION,")
    << QStringLiteral("  MGV_TOTALITENS DOUBLE PRECISION, MGV_FINANCIAMENTOS INTEGER,")
    << QStringLiteral(
           "  CodPlano TYPE OF COLUMN Financiamento.CodPlano,"
           " DescFormaPgto TYPE OF COLUMN Financiamento.DescFormaPgto,")
    << QStringLiteral("  CodFinanceira TYPE OF COLUMN Financiamento.CodFinanceira,")
    << QStringLiteral("  ValorMensalidade TYPE OF COLUMN Financiamento.ValorMensalidade,")
    << QStringLiteral("  MGV_DOCUMENTOS SMALLINT, MGV_PARCELAS SMALLINT,")
    << (nParcelas > 0 ? QStringLiteral("  MGV_PARCELA SMALLINT, VlrParc TYPE OF COLUMN"
                                       " ParcPedC.VlrParc01, VencParc TYPE OF COLUMN"
                                       " ParcPedC.VencParc01,")
                      : QString())
    << QStringLiteral(
           "  Cheque_Vlr TYPE OF COLUMN PreTerc.VlrCheque,"
           " Dt_Entrada TYPE OF COLUMN PreTerc.Dt_Entrada,")
    << QStringLiteral(
           "  Convenio TYPE OF COLUMN ConvEnceFat.Convenio,"
           " Dt_Emissao TYPE OF COLUMN DocuRec.Dt_Emissao,")
    << QStringLiteral(
           "  Dt_Vencimento TYPE OF COLUMN DocuRec.Dt_Vencimento,"
           " ValorDocto TYPE OF COLUMN DocuRec.ValorDocto)")
    << QStringLiteral("AS")
    << QStringLiteral("DECLARE MGV_EMPPAG TYPE OF COLUMN PEDIDOC.CODEMPRESA;")
    << QStringLiteral("DECLARE MGV_PRAZO TYPE OF COLUMN PEDIDOC.CODPRAZO;")
    // Columns the documents look-up reads and the calculation does not use:
    // read all the same, so that a table without them fails here as the
    // look-up fails.
    << QStringLiteral("DECLARE MGV_VALORDESC TYPE OF COLUMN DocuRec.ValorDesc;")
    << QStringLiteral("DECLARE MGV_VALORPAGO TYPE OF COLUMN DocuRec.ValorPago;")
    << (nParcelas > 0 ? QStringLiteral("DECLARE MGV_SEGUE SMALLINT;") : QString())
    << declaracoesParcelas << QStringLiteral("BEGIN")
    << QStringLiteral("  FOR SELECT C.CODEMPRESA, C.TIPOPEDIDO, C.CODPEDIDO,")
    << QStringLiteral("         TRIM(TRAILING FROM C.TIPOPEDIDO) || C.CODPEDIDO, C.CODPRAZO")
    << QStringLiteral("    FROM PEDIDOC C") + condicoes
    << QStringLiteral("    INTO :MGV_EMPRESA, :MGV_TIPO, :MGV_PEDIDO, :MGV_NUMDOC, :MGV_PRAZO DO")
    << QStringLiteral("  BEGIN")
    << (comEmpresa ? QStringLiteral("    MGV_EMPPAG = :MGV_EMP;")
                   : QStringLiteral("    MGV_EMPPAG = :MGV_EMPRESA;"))
    << QStringLiteral("    MGV_LINHA = 'P';")
    << QStringLiteral(
           "    MGV_FECHAMENTOS = 0; VlrReceber = NULL; VlrConvenio = NULL;"
           " VlrFinanc = NULL;")
    << QStringLiteral(
           "    VlrChPreDatado = NULL; VlrCheque = NULL; VlrDinheiro = NULL;"
           " VlrDesconto = NULL; Total = NULL;")
    << QStringLiteral(
           "    FOR Select VlrReceber, VlrConvenio, VlrFinanc, VlrChPreDatado,"
           " VlrCheque, VlrDinheiro, VlrDesconto,")
    << QStringLiteral(
           "        (VlrCheque + VlrReceber + VlrConvenio + VlrFinanc +"
           " VlrChPreDatado + (VlrDinheiro - VlrTroco))")
    << QStringLiteral(
           "        From EnceFat Where CodPedido = :MGV_PEDIDO"
           " and TipoPedido = :MGV_TIPO and CodEmpresa = :MGV_EMPRESA")
    << QStringLiteral(
           "        INTO :VlrReceber, :VlrConvenio, :VlrFinanc, :VlrChPreDatado,"
           " :VlrCheque, :VlrDinheiro, :VlrDesconto, :Total")
    << QStringLiteral("    DO MGV_FECHAMENTOS = MGV_FECHAMENTOS + 1;")
    << QStringLiteral(
           "    SELECT SUM((pedidoi.precounit - pedidoi.descontovlr) *"
           " pedidoi.quantidade) FROM pedidoi")
    << QStringLiteral(
           "      WHERE pedidoi.codempresa = :MGV_EMPRESA AND"
           " pedidoi.codpedido = :MGV_PEDIDO AND Pedidoi.tipopedido = :MGV_TIPO")
    << QStringLiteral("      INTO :MGV_TOTALITENS;")
    << QStringLiteral(
           "    MGV_FINANCIAMENTOS = NULL; CodPlano = NULL; DescFormaPgto = NULL;"
           " CodFinanceira = NULL; ValorMensalidade = NULL;")
    << QStringLiteral("    IF (MGV_FECHAMENTOS = 1 AND VlrFinanc > 0) THEN")
    << QStringLiteral("    BEGIN") << QStringLiteral("      MGV_FINANCIAMENTOS = 0;")
    << QStringLiteral(
           "      FOR Select CodPlano, DescFormaPgto, CodFinanceira, ValorMensalidade"
           " From Financiamento")
    << QStringLiteral("          Where CodVenda = :MGV_PEDIDO and CodEmpresa = :MGV_EMPPAG")
    << QStringLiteral("          INTO :CodPlano, :DescFormaPgto, :CodFinanceira, :ValorMensalidade")
    << QStringLiteral("      DO MGV_FINANCIAMENTOS = MGV_FINANCIAMENTOS + 1;")
    << QStringLiteral("    END") << QStringLiteral("    MGV_DOCUMENTOS = 0;")
    << QStringLiteral("    IF (MGV_FECHAMENTOS = 1 AND VlrConvenio > 0) THEN MGV_DOCUMENTOS = 1;")
    << QStringLiteral("    MGV_PARCELAS = 0;")
    << (parcelas ? QStringLiteral("    IF (MGV_FECHAMENTOS = 1 AND VlrReceber > 0 AND"
                                  " COALESCE(MGV_PRAZO, '') = '') THEN MGV_PARCELAS = 1;")
                 : QString())
    << QStringLiteral("    SUSPEND;");
  if (nParcelas > 0) {
    // Each ParcPedC row: a row with MGV_PARCELA 0, then its installments.
    b << QStringLiteral("    MGV_LINHA = 'R';") << QStringLiteral("    IF (MGV_PARCELAS = 1) THEN")
      << QStringLiteral("      FOR Select ") + colunasParcelas.join(QStringLiteral(", "))
      << QStringLiteral(
             "          From ParcPedC Where CodEmpresa = :MGV_EMPRESA"
             " and TipoPedido = :MGV_TIPO and Codpedido = :MGV_PEDIDO")
      << QStringLiteral("          INTO ") + variaveisParcelas.join(QStringLiteral(", ")) +
             QStringLiteral(" DO")
      << QStringLiteral("      BEGIN")
      << QStringLiteral("        MGV_PARCELA = 0; VlrParc = NULL; VencParc = NULL; SUSPEND;")
      << QStringLiteral("        MGV_SEGUE = 1;") << linhasParcelas << QStringLiteral("      END");
  }
  b << QStringLiteral("    MGV_LINHA = 'C';")
    << QStringLiteral("    FOR Select VlrCheque, Dt_Entrada From PreTerc")
    << QStringLiteral("        Where CodEmpresa = :MGV_EMPPAG and NumDocOrig = :MGV_NUMDOC")
    << QStringLiteral("        INTO :Cheque_Vlr, :Dt_Entrada DO SUSPEND;")
    << QStringLiteral("    MGV_LINHA = 'D';") << QStringLiteral("    IF (MGV_DOCUMENTOS = 1) THEN")
    << QStringLiteral(
           "      FOR Select ConvEnceFat.Convenio, Docurec.Dt_Emissao,"
           " DocuRec.Dt_Vencimento, DocuRec.ValorDocto, DocuRec.ValorDesc, DocuRec.ValorPago")
    << QStringLiteral(
           "          From ConvEnceFat Inner join DocuRec on (DocuRec.CodEmpresa ="
           " ConvEnceFat.CodEmpresa And")
    << QStringLiteral(
           "          DocuRec.NumDocOrig = ConvEnceFat.TipoPedido||ConvEnceFat.CodPedido)")
    << QStringLiteral(
           "          Where ConvEnceFat.CodEmpresa = :MGV_EMPRESA And ConvEnceFat.TipoPedido"
           " = :MGV_TIPO And ConvEnceFat.Codpedido = :MGV_PEDIDO")
    << QStringLiteral(
           "          INTO :Convenio, :Dt_Emissao, :Dt_Vencimento, :ValorDocto, :MGV_VALORDESC,"
           " :MGV_VALORPAGO DO SUSPEND;")
    << QStringLiteral("  END") << QStringLiteral("END");
  b.removeAll(QString());
  return b.join(u'\n');
}

}  // namespace

void TConsultasRentabilidade::CarregaPedidos(Periodo& p) {
  const std::optional<int> parcelas = ColunasDeParcelas(p.banco);
  Query q(p.banco);
  q.setUnidirectional(true);  // read once, in order: nothing kept
  q.setReadAhead(true);       // the next orders are read while one is kept
  q.setParamCheck(false);     // the block's ":Name" are its variables
  const bool comEmpresa = !p.Empresa.isEmpty();
  q.sql() << BlocoDosPedidos(p.Condicoes(), comEmpresa, parcelas);
  q.setDate(QStringLiteral("1"), p.Data1);
  q.setDate(QStringLiteral("2"), p.Data2);
  if (comEmpresa) q.setString(QStringLiteral("3"), p.Empresa);
  q.open();

  // The order being read: its 'P' row and the 'R', 'C' and 'D' rows after
  // it. Its answers go to the cache once its rows are over (at the next 'P'
  // row, or at the end), so a block that fails mid-way leaves no order half
  // answered. Only orders whose look-ups are answered are read: a key of
  // plain ASCII, no null column, each once.
  struct Pedido {
    TChave chave;  // CODEMPRESA, TIPOPEDIDO, CODPEDIDO
    // Whether TIPOPEDIDO || CODPEDIDO as the block reads the cheques is the
    // document number the calculation passes (CabecTexto("TipoPedido") +
    // CabecTexto("CodPedido")).
    bool numDoc = false;
    int fechamentos = 0;
    TEnceFat enceFat;
    double totalItens = 0;
    std::optional<int> financiamentos;
    TFinanciamento financiamento;
    bool comDocumentos = false, comParcelas = false;
    std::vector<TDocumentoConvenio> documentos;
    std::vector<TChequePreDatado> cheques;
    int linhasDeParcelas = 0;
    std::vector<TParcelaPedido> parcelas;
  };
  std::optional<Pedido> atual;
  const auto conclui = [&] {
    if (!atual) return;
    Pedido& r = *atual;
    const TChave& k = r.chave;
    cache_->totalItensPedido.insert(TChave{k.a, k.c, k.b}, r.totalItens);
    if (r.numDoc) {
      cache_->chequesPreDatados.insert(TChave{p.EmpresaDosPagamentos(k), k.b + k.c},
                                       std::move(r.cheques));
    }
    // Two closing records: the look-up reads the first, which its own
    // statement will find.
    if (r.fechamentos <= 1) {
      cache_->enceFat.insert(k, r.enceFat);
      if (r.financiamentos && *r.financiamentos <= 1) {
        cache_->financiamento.insert(TChave{p.EmpresaDosPagamentos(k), k.c},
                                     *r.financiamentos == 0 ? TFinanciamento{} : r.financiamento);
      }
      if (r.comDocumentos) cache_->documentosConvenio.insert(k, std::move(r.documentos));
      // Two installment rows: the same.
      if (r.comParcelas && r.linhasDeParcelas <= 1)
        cache_->parcelasPedido.insert(k, std::move(r.parcelas));
    }
    ++p.pedidos;
    atual.reset();
  };
  for (; !q.eof(); q.next()) {
    const QString linha = Texto(q, "MGV_LINHA");
    if (linha != QLatin1String("P")) {
      if (!atual) continue;
      if (linha == QLatin1String("C")) {
        atual->cheques.push_back({Float(q, "Cheque_Vlr"), Data(q, "Dt_Entrada")});
      } else if (linha == QLatin1String("D")) {
        atual->documentos.push_back(LeDocumento(q));
      } else if (linha == QLatin1String("R")) {
        if (Inteiro(q, "MGV_PARCELA") == 0)
          ++atual->linhasDeParcelas;
        else if (atual->linhasDeParcelas == 1)
          atual->parcelas.push_back({Float(q, "VlrParc"), Data(q, "VencParc")});
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
    if (!Ascii(chave) || cache_->totalItensPedido.contains(TChave{chave.a, chave.c, chave.b}))
      continue;
    Pedido& r = atual.emplace();
    const Field numDoc = q.fieldByName("MGV_NUMDOC");
    r.numDoc = !numDoc.isNull() &&
               SemBrancosFinais(numDoc.asString()) == SemBrancosFinais(chave.b + chave.c);
    r.chave = std::move(chave);
    r.fechamentos = Inteiro(q, "MGV_FECHAMENTOS");
    r.enceFat = LeEnceFat(q);
    r.totalItens = Float(q, "MGV_TOTALITENS");
    if (const Field f = q.fieldByName("MGV_FINANCIAMENTOS"); !f.isNull()) {
      r.financiamentos = static_cast<int>(f.asInteger());
      r.financiamento = LeFinanciamento(q);
    }
    r.comDocumentos = Inteiro(q, "MGV_DOCUMENTOS") == 1;
    r.comParcelas = Inteiro(q, "MGV_PARCELAS") == 1;
  }
  conclui();
  q.close();
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
