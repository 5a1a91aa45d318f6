#include "gadget/memoria.h"

#include <QHash>
#include <QMultiHash>
#include <algorithm>
#include <bit>
#include <deque>
#include <mutex>

#include "framework/db/query.h"
#include "gadget/atualizacao.h"

namespace margivo {

using F = TContribuicaoChamada;

namespace {

// The figures a call keeps: those the others do not give (the total cost,
// the margins and the line's own percentages are derived again).
constexpr std::uint16_t kGuardadas = (1u << F::MAquisicao) | (1u << F::MValorDaVenda) |
                                     (1u << F::MQtdeVendida) | (1u << F::MOperacional) |
                                     (1u << F::MCustoParcVd) | (1u << F::MComissao) |
                                     (1u << F::MImpostos) | (1u << F::MDescontoPV) |
                                     (1u << F::MTxEmissaoBoleto) | (1u << F::MOutros);
// Of them, those no total reads: a call keeps them only when it keeps all.
constexpr std::uint16_t kSoDoItem =
    (1u << F::MAquisicao) | (1u << F::MQtdeVendida) | (1u << F::MOperacional);
constexpr std::uint16_t kFiguras = (1u << 12) - 1;

bool zero(double v) { return std::bit_cast<std::uint64_t>(v) == 0; }
bool iguais(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

}  // namespace

// Every text of the memory in one buffer. Texts that repeat from row to row
// (branches, kinds, sellers, conditions, products, grades) are kept once; an
// order's number is kept as it comes.
class TMemoriaAtualizacao::Textos {
 public:
  std::uint32_t guarda(QStringView s) {
    const size_t h = qHash(s, 0x6d617267u);
    for (auto it = indice_.constFind(h); it != indice_.cend() && it.key() == h; ++it)
      if (texto(*it) == s) return *it;
    const std::uint32_t i = acrescenta(s);
    indice_.insert(h, i);
    return i;
  }
  std::uint32_t acrescenta(QStringView s) {
    const std::uint32_t i = static_cast<std::uint32_t>(inicio_.size() - 1);
    buffer_.append(s);
    inicio_.push_back(static_cast<std::uint32_t>(buffer_.size()));
    return i;
  }
  QStringView texto(std::uint32_t i) const {
    return QStringView(buffer_).mid(inicio_[i], inicio_[i + 1] - inicio_[i]);
  }
  std::size_t bytes() const {
    return static_cast<std::size_t>(buffer_.capacity()) * 2 + inicio_.capacity() * 4 +
           static_cast<std::size_t>(indice_.size()) * 24;
  }

 private:
  QString buffer_;
  std::vector<std::uint32_t> inicio_{0};
  QMultiHash<size_t, std::uint32_t> indice_;
};

// The header's numbers and dates, each kept once.
class TMemoriaAtualizacao::Valores {
 public:
  std::uint32_t guarda(double v) {
    const quint64 bits = std::bit_cast<quint64>(v);
    const auto it = indice_.constFind(bits);
    if (it != indice_.cend()) return *it;
    const std::uint32_t i = static_cast<std::uint32_t>(valores_.size());
    valores_.push_back(v);
    indice_.insert(bits, i);
    return i;
  }
  double valor(std::uint32_t i) const { return valores_[i]; }
  std::size_t bytes() const {
    return valores_.capacity() * 8 + static_cast<std::size_t>(indice_.size()) * 24;
  }

 private:
  std::vector<double> valores_;
  QHash<quint64, std::uint32_t> indice_;
};

// Orders by key (a hash of its three texts) and products by code,
// description and grade.
class TMemoriaAtualizacao::Indices {
 public:
  static size_t chavePedido(QStringView E, bool nuloE, QStringView T, bool nuloT, QStringView P,
                            bool nuloP) {
    return qHashMulti(0x70656469u, nuloE, E, nuloT, T, nuloP, P);
  }
  struct ChaveProduto {
    std::uint32_t CODPROD, DESCRICAO, CODGRADE;
    friend bool operator==(const ChaveProduto&, const ChaveProduto&) = default;
    friend size_t qHash(const ChaveProduto& k, size_t seed = 0) noexcept {
      return qHashMulti(seed, k.CODPROD, k.DESCRICAO, k.CODGRADE);
    }
  };
  QMultiHash<size_t, std::uint32_t> pedidos;
  QHash<ChaveProduto, std::uint32_t> produtos;
};

TMemoriaAtualizacao::TMemoriaAtualizacao() { inicia(); }
TMemoriaAtualizacao::~TMemoriaAtualizacao() = default;

void TMemoriaAtualizacao::inicia(bool figurasCompletas) {
  fila_.reset();
  textos_ = std::make_unique<Textos>();
  numeros_ = std::make_unique<Valores>();
  indices_ = std::make_unique<Indices>();
  produtos_.clear();
  pedidos_.clear();
  linhas_.clear();
  valores_.clear();
  fretes_.clear();
  valoresFretes_.clear();
  novas_.clear();
  valoresNovos_.clear();
  alterados_.clear();
  ultima_.reset();
  ultimoCodProd_.clear();
  ultimaDescricao_.clear();
  ultimaGrade_.clear();
  ultimosNulos_ = 0;
  ultimoProduto_ = Pedido::kNulo;
  figurasCompletas_ = figurasCompletas;
  substituindo_ = false;
  vivos_ = 0;
  usavel_ = true;
}

QString TMemoriaAtualizacao::texto(std::uint32_t indice) const { return vista(indice).toString(); }

QStringView TMemoriaAtualizacao::vista(std::uint32_t indice) const {
  return indice == Pedido::kNulo ? QStringView() : textos_->texto(indice);
}

double TMemoriaAtualizacao::valor(std::uint32_t indice) const noexcept {
  return indice == Pedido::kNulo ? 0 : numeros_->valor(indice);
}

std::vector<std::uint32_t> TMemoriaAtualizacao::pedidosComCodigo(
    const QSet<QString>& codigos) const {
  std::vector<std::uint32_t> resultado;
  if (codigos.isEmpty()) return resultado;
  for (std::uint32_t i = 0; i < pedidos_.size(); ++i) {
    if (pedidos_[i].vivo && codigos.contains(chaveFrete(pedidos_[i]))) resultado.push_back(i);
  }
  return resultado;
}

std::size_t TMemoriaAtualizacao::chamadas() const noexcept {
  std::size_t n = linhas_.size();
  for (const Frete& f : fretes_) n += pedidos_[f.pedido].vivo && pedidos_[f.pedido].frete >= 0;
  return n;
}

std::size_t TMemoriaAtualizacao::bytes() const noexcept {
  return textos_->bytes() + numeros_->bytes() + produtos_.capacity() * sizeof(Produto) +
         pedidos_.bytes() + linhas_.bytes() + valores_.bytes() +
         fretes_.capacity() * sizeof(Frete) + valoresFretes_.capacity() * sizeof(double) +
         static_cast<std::size_t>(indices_->pedidos.size()) * 24 +
         static_cast<std::size_t>(indices_->produtos.size()) * 32;
}

// ---------------------------------------------------------------------------
// Keeping and giving back a call's figures.

template <typename Pool>
std::uint16_t TMemoriaAtualizacao::guarda(const TContribuicaoChamada& c, bool completa,
                                          Pool& pool) const {
  std::uint16_t mascara = completa ? kCompleta : 0;
  if (c.percentuaisDoItem) mascara |= kPercentuaisDoItem;
  const std::uint16_t guardadas = completa ? kGuardadas : kGuardadas & ~kSoDoItem;
  for (int i = 0; i < F::kFiguras; ++i) {
    if (!(guardadas & (1u << i)) || zero(c.figuras[i])) continue;
    mascara |= static_cast<std::uint16_t>(1u << i);
    pool.push_back(c.figuras[i]);
  }
  return mascara;
}

template <typename Pool>
TContribuicaoChamada TMemoriaAtualizacao::expande(std::uint16_t mascara, const Pedido& p,
                                                  const Pool& pool, std::size_t& k) const {
  TContribuicaoChamada c;
  for (int i = 0; i < F::kFiguras; ++i)
    if (mascara & kFiguras & (1u << i)) c.figuras[i] = pool[k++];
  completaFigurasDerivadas(c);
  c.percentuaisDoItem = (mascara & kPercentuaisDoItem) != 0;
  const TPercentuaisTotais totais =
      percentuaisTotaisDoPedido(p.TOTALPEDIDO, valor(p.FRETE), valor(p.VLRACRESCIMO));
  c.percentuaisTotais = totais.calcula;
  c.divisorTotal = totais.divisor;
  return c;
}

// ---------------------------------------------------------------------------
// Recording.

namespace {

// The columns of an order-items row the memory reads.
enum Coluna {
  CODEMPRESA,
  TIPOPEDIDO,
  CODPEDIDO,
  CODVENDEDOR,
  CODPRAZO,
  COMISSAO,
  FRETE,
  VLRACRESCIMO,
  DATAPEDIDO,
  DATAENTREGA,
  TOTALPEDIDO,
  CODPROD,
  DESCRICAO,
  CODGRADE,
  kColunas
};
constexpr const char* kNomes[kColunas] = {
    "CODEMPRESA",  "TIPOPEDIDO", "CODPEDIDO",    "CODVENDEDOR", "CODPRAZO",
    "COMISSAO",    "FRETE",      "VLRACRESCIMO", "DATAPEDIDO",  "DATAENTREGA",
    "TOTALPEDIDO", "CODPROD",    "DESCRICAO",    "CODGRADE"};

}  // namespace

// The keys of the rows read as they were fetched, in order, until the
// reader takes them.
struct TMemoriaAtualizacao::Fila {
  std::mutex mutex;
  std::deque<Chave> chaves;
  int colunas[kColunas] = {};
  bool colunasLidas = false;
};

template <typename Campo>
TMemoriaAtualizacao::Chave TMemoriaAtualizacao::leChave(const Campo& campo) {
  Textos& t = *textos_;
  const auto texto = [&](const Field& f) {
    return f.isNull() ? Pedido::kNulo : t.guarda(f.asString());
  };
  const auto numero = [this](const Field& f) {
    return f.isNull() ? Pedido::kNulo : numeros_->guarda(f.asFloat());
  };
  const auto dia = [this](const Field& f) {
    return f.isNull() ? Pedido::kNulo : numeros_->guarda(f.asDateTime());
  };

  Chave r;
  Linha& l = r.linha;
  const Field empresa = campo(CODEMPRESA);
  const Field tipo = campo(TIPOPEDIDO);
  const Field pedido = campo(CODPEDIDO);
  const QString E = empresa.asString(), T = tipo.asString(), P = pedido.asString();
  const size_t chave =
      Indices::chavePedido(E, empresa.isNull(), T, tipo.isNull(), P, pedido.isNull());
  const auto igual = [&t](std::uint32_t indice, const Field& f, const QString& s) {
    return f.isNull() ? indice == Pedido::kNulo : indice != Pedido::kNulo && t.texto(indice) == s;
  };
  std::optional<std::uint32_t> achado;
  for (auto it = indices_->pedidos.constFind(chave);
       it != indices_->pedidos.cend() && it.key() == chave; ++it) {
    const Pedido& q = pedidos_[*it];
    if (igual(q.CODPEDIDO, pedido, P) && igual(q.TIPOPEDIDO, tipo, T) &&
        igual(q.CODEMPRESA, empresa, E)) {
      achado = *it;
      break;
    }
  }
  const Field total = campo(TOTALPEDIDO);
  if (!achado) {
    Pedido p;
    p.CODEMPRESA = empresa.isNull() ? Pedido::kNulo : t.guarda(E);
    p.TIPOPEDIDO = tipo.isNull() ? Pedido::kNulo : t.guarda(T);
    p.CODPEDIDO = pedido.isNull() ? Pedido::kNulo : t.acrescenta(P);
    p.CODVENDEDOR = texto(campo(CODVENDEDOR));
    p.CODPRAZO = texto(campo(CODPRAZO));
    p.COMISSAO = numero(campo(COMISSAO));
    p.FRETE = numero(campo(FRETE));
    p.VLRACRESCIMO = numero(campo(VLRACRESCIMO));
    p.DATAPEDIDO = dia(campo(DATAPEDIDO));
    p.DATAENTREGA = dia(campo(DATAENTREGA));
    p.totalNulo = total.isNull();
    p.TOTALPEDIDO = total.isNull() ? 0 : total.asFloat();
    l.pedido = static_cast<std::uint32_t>(pedidos_.size());
    pedidos_.push_back(p);
    indices_->pedidos.insert(chave, l.pedido);
    ++vivos_;
    if (substituindo_) alterados_.push_back(l.pedido);
  } else {
    l.pedido = *achado;
  }
  // Every row of an order carries the same header: a key met with another
  // total (two header records of one order) cannot be served from here.
  const Pedido& q = pedidos_[l.pedido];
  r.totais = percentuaisTotaisDoPedido(q.TOTALPEDIDO, valor(q.FRETE), valor(q.VLRACRESCIMO));
  r.outroTotal = !iguais(q.TOTALPEDIDO, total.isNull() ? 0 : total.asFloat());

  // Rows come sorted by product and grade: most repeat the previous one's.
  const Field codprod = campo(CODPROD);
  const Field descricao = campo(DESCRICAO);
  const Field grade = campo(CODGRADE);
  const QString CODPROD = codprod.asString(), DESCRICAO = descricao.asString(),
                CODGRADE = grade.asString();
  const std::uint8_t nulos =
      (codprod.isNull() ? 1 : 0) | (descricao.isNull() ? 2 : 0) | (grade.isNull() ? 4 : 0);
  if (ultimoProduto_ == Pedido::kNulo || nulos != ultimosNulos_ || CODPROD != ultimoCodProd_ ||
      CODGRADE != ultimaGrade_ || DESCRICAO != ultimaDescricao_) {
    const Indices::ChaveProduto k{codprod.isNull() ? Pedido::kNulo : t.guarda(CODPROD),
                                  descricao.isNull() ? Pedido::kNulo : t.guarda(DESCRICAO),
                                  grade.isNull() ? Pedido::kNulo : t.guarda(CODGRADE)};
    const auto produto = indices_->produtos.constFind(k);
    if (produto == indices_->produtos.cend()) {
      ultimoProduto_ = static_cast<std::uint32_t>(produtos_.size());
      produtos_.push_back({k.CODPROD, k.DESCRICAO, k.CODGRADE});
      indices_->produtos.insert(k, ultimoProduto_);
    } else {
      ultimoProduto_ = *produto;
    }
    ultimoCodProd_ = CODPROD;
    ultimaDescricao_ = DESCRICAO;
    ultimaGrade_ = CODGRADE;
    ultimosNulos_ = nulos;
  }
  l.produto = ultimoProduto_;
  return r;
}

TMemoriaAtualizacao::Linha TMemoriaAtualizacao::leLinha(const Query& qry,
                                                        const TContribuicaoChamada& c) {
  const Chave k =
      leChave([&qry](Coluna coluna) { return qry.fieldByName(QLatin1StringView(kNomes[coluna])); });
  confere(k, c);
  return k.linha;
}

void TMemoriaAtualizacao::confere(const Chave& k, const TContribuicaoChamada& c) {
  // A call whose total percentages the header does not give cannot be
  // served from here either.
  if (k.outroTotal || k.totais.calcula != c.percentuaisTotais ||
      (k.totais.calcula && !iguais(k.totais.divisor, c.divisorTotal)))
    usavel_ = false;
}

Query::RowObserver TMemoriaAtualizacao::observaLinhas() {
  fila_ = std::make_shared<Fila>();
  return [this, fila = fila_](const FetchedRow& linha) {
    if (!fila->colunasLidas) {
      for (int k = 0; k < kColunas; ++k) {
        fila->colunas[k] = linha.fieldIndex(QLatin1StringView(kNomes[k]));
        // A missing column fails as reading the row would.
        if (fila->colunas[k] < 0) linha.fieldByName(QLatin1StringView(kNomes[k]));
      }
      fila->colunasLidas = true;
    }
    const Chave k = leChave([&](Coluna coluna) { return linha.field(fila->colunas[coluna]); });
    const std::lock_guard trava(fila->mutex);
    fila->chaves.push_back(k);
  };
}

void TMemoriaAtualizacao::registraProduto(const Query& qry, const TContribuicaoChamada& c) {
  Linha l;
  if (fila_) {
    // The row as it was read when fetched: the observer saw it, and every
    // row before it, before the reader could reach it.
    std::optional<Chave> k;
    {
      const std::lock_guard trava(fila_->mutex);
      if (!fila_->chaves.empty()) {
        k = fila_->chaves.front();
        fila_->chaves.pop_front();
      }
    }
    if (!k) {
      usavel_ = false;
      return;
    }
    confere(*k, c);
    l = k->linha;
  } else {
    l = leLinha(qry, c);
  }
  // The figures come back from what is kept exactly as the call made them.
  TContribuicaoChamada derivadas = c;
  completaFigurasDerivadas(derivadas);
  for (const int i : {F::MCustoTotVd, F::MMargemBrtLcr, F::MMargemOpLcr})
    if (!iguais(derivadas.figuras[i], c.figuras[i])) usavel_ = false;

  // A row of a replacement goes aside until concluiSubstituicao.
  if (substituindo_) {
    l.mascara = guarda(c, true, valoresNovos_);
    novas_.push_back(l);
    return;
  }
  // Each row is kept when the next one comes, so that the last one keeps
  // all its figures.
  guardaUltima(false);
  ultima_.emplace(l, c);
}

void TMemoriaAtualizacao::guardaUltima(bool completa) {
  if (!ultima_) return;
  Linha l = ultima_->first;
  l.mascara = guarda(ultima_->second, completa || figurasCompletas_, valores_);
  linhas_.push_back(l);
  ultima_.reset();
}

void TMemoriaAtualizacao::registraFrete(const Query& qry, const TContribuicaoChamada& c) {
  const Linha l = leLinha(qry, c);
  Pedido& p = pedidos_[l.pedido];
  if (p.frete >= 0) {
    // One freight call per order; a second one cannot be placed.
    usavel_ = false;
    return;
  }
  p.frete = static_cast<std::int32_t>(fretes_.size());
  Frete f{l.pedido, l.produto, 0, static_cast<std::uint32_t>(valoresFretes_.size())};
  f.mascara = guarda(c, true, valoresFretes_);
  fretes_.push_back(f);
}

bool TMemoriaAtualizacao::conclui() {
  fila_.reset();
  // The last row keeps all its figures: the gadget is left with them.
  guardaUltima(true);
  if (!usavel_) return false;
  for (std::size_t i = 1; i < linhas_.size(); ++i) {
    try {
      if (compara(linhas_[i - 1], linhas_[i]) >= 0) {
        usavel_ = false;
        return false;
      }
    } catch (const TOrdemDesconhecida&) {
      // Rows this memory cannot order: a replacement that has to place a
      // row between them gives up there.
    }
  }
  // Each freight call on the first row of its order.
  std::vector<bool> visto(pedidos_.size(), false);
  for (std::size_t i = 0; i < linhas_.size(); ++i) {
    const Linha& l = linhas_[i];
    if (visto[l.pedido]) continue;
    visto[l.pedido] = true;
    const Pedido& p = pedidos_[l.pedido];
    if (p.frete >= 0 && fretes_[static_cast<std::size_t>(p.frete)].produto != l.produto) {
      usavel_ = false;
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// Ordering.

int TMemoriaAtualizacao::comparaTexto(std::uint32_t a, std::uint32_t b) const {
  if (a == b) return 0;
  if (a == Pedido::kNulo) return -1;
  if (b == Pedido::kNulo) return 1;
  const QStringView x = textos_->texto(a), y = textos_->texto(b);
  const qsizetype n = std::max(x.size(), y.size());
  for (qsizetype i = 0; i < n; ++i) {
    // The shorter text goes on as blanks.
    const char16_t cx = i < x.size() ? x[i].unicode() : u' ';
    const char16_t cy = i < y.size() ? y[i].unicode() : u' ';
    // The database compares the stored bytes, which only ASCII shows here.
    if (cx > 0x7f || cy > 0x7f) throw TOrdemDesconhecida();
    if (cx != cy) return cx < cy ? -1 : 1;
  }
  return 0;
}

int TMemoriaAtualizacao::compara(const Linha& a, const Linha& b) const {
  const Pedido& p = pedidos_[a.pedido];
  const Pedido& q = pedidos_[b.pedido];
  const Produto& x = produtos_[a.produto];
  const Produto& y = produtos_[b.produto];
  const auto numero = [](double u, double v, bool nuloU, bool nuloV) {
    if (nuloU || nuloV) return nuloU == nuloV ? 0 : nuloU ? -1 : 1;
    return u < v ? -1 : u > v ? 1 : 0;
  };
  const auto valores = [&](std::uint32_t u, std::uint32_t v) {
    if (u == v) return 0;
    return numero(valor(u), valor(v), u == Pedido::kNulo, v == Pedido::kNulo);
  };
  if (const int r = comparaTexto(x.CODPROD, y.CODPROD)) return r;
  if (const int r = comparaTexto(x.CODGRADE, y.CODGRADE)) return r;
  if (a.pedido != b.pedido) {
    if (const int r = valores(p.COMISSAO, q.COMISSAO)) return r;
    if (const int r = comparaTexto(p.CODVENDEDOR, q.CODVENDEDOR)) return r;
    if (const int r = comparaTexto(p.CODPEDIDO, q.CODPEDIDO)) return r;
    if (const int r = comparaTexto(p.TIPOPEDIDO, q.TIPOPEDIDO)) return r;
    if (const int r = comparaTexto(p.CODEMPRESA, q.CODEMPRESA)) return r;
    if (const int r = valores(p.DATAPEDIDO, q.DATAPEDIDO)) return r;
    if (const int r = valores(p.DATAENTREGA, q.DATAENTREGA)) return r;
    if (const int r = valores(p.FRETE, q.FRETE)) return r;
    if (const int r = comparaTexto(p.CODPRAZO, q.CODPRAZO)) return r;
    if (const int r = numero(p.TOTALPEDIDO, q.TOTALPEDIDO, p.totalNulo, q.totalNulo)) return r;
    if (const int r = valores(p.VLRACRESCIMO, q.VLRACRESCIMO)) return r;
  }
  return comparaTexto(x.DESCRICAO, y.DESCRICAO);
}

QString TMemoriaAtualizacao::chaveFrete(const Pedido& p) const {
  return texto(p.CODPEDIDO).toCaseFolded();
}

// ---------------------------------------------------------------------------
// Replacing orders.

void TMemoriaAtualizacao::removePedidos(const std::vector<std::uint32_t>& pedidos) {
  // The freight calls of the orders gone so far leave their pool first.
  std::vector<Frete> fretes;
  std::vector<double> valores;
  for (std::uint32_t i = 0; i < pedidos_.size(); ++i) {
    Pedido& p = pedidos_[i];
    if (p.frete < 0) continue;
    if (!p.vivo) {
      p.frete = -1;
      continue;
    }
    Frete f = fretes_[static_cast<std::size_t>(p.frete)];
    const int n = std::popcount(static_cast<unsigned>(f.mascara & kFiguras));
    valores.insert(valores.end(), valoresFretes_.begin() + f.valores,
                   valoresFretes_.begin() + f.valores + n);
    f.valores = static_cast<std::uint32_t>(valores.size() - static_cast<std::size_t>(n));
    p.frete = static_cast<std::int32_t>(fretes.size());
    fretes.push_back(f);
  }
  fretes_ = std::move(fretes);
  valoresFretes_ = std::move(valores);

  substituindo_ = true;
  alterados_.clear();
  for (const std::uint32_t i : pedidos) {
    Pedido& p = pedidos_[i];
    if (!p.vivo) continue;
    p.vivo = false;
    p.frete = -1;
    --vivos_;
    const auto texto = [this](std::uint32_t i) {
      return i == Pedido::kNulo ? QStringView() : textos_->texto(i);
    };
    indices_->pedidos.remove(
        Indices::chavePedido(texto(p.CODEMPRESA), p.CODEMPRESA == Pedido::kNulo,
                             texto(p.TIPOPEDIDO), p.TIPOPEDIDO == Pedido::kNulo, texto(p.CODPEDIDO),
                             p.CODPEDIDO == Pedido::kNulo),
        i);
    alterados_.push_back(i);
  }
}

void TMemoriaAtualizacao::concluiSubstituicao() {
  substituindo_ = false;
  // The new rows in the database's order: each order's rows came in it, the
  // orders are merged. Their figures travel with them.
  std::vector<std::size_t> inicio(novas_.size() + 1, 0);
  for (std::size_t i = 0; i < novas_.size(); ++i)
    inicio[i + 1] = inicio[i] + static_cast<std::size_t>(std::popcount(
                                    static_cast<unsigned>(novas_[i].mascara & kFiguras)));
  std::vector<std::size_t> ordem(novas_.size());
  for (std::size_t i = 0; i < ordem.size(); ++i) ordem[i] = i;
  TBlocos<Linha> linhas;
  TBlocos<double> valores;
  try {
    std::stable_sort(ordem.begin(), ordem.end(), [this](std::size_t a, std::size_t b) {
      return compara(novas_[a], novas_[b]) < 0;
    });
    const auto nova = [&](std::size_t j) {
      const std::size_t i = ordem[j];
      linhas.push_back(novas_[i]);
      for (std::size_t k = inicio[i]; k < inicio[i + 1]; ++k) valores.push_back(valoresNovos_[k]);
    };
    std::size_t j = 0, k = 0;
    for (std::size_t i = 0; i < linhas_.size(); ++i) {
      const Linha& velha = linhas_[i];
      const int n = std::popcount(static_cast<unsigned>(velha.mascara & kFiguras));
      if (!pedidos_[velha.pedido].vivo) {
        k += static_cast<std::size_t>(n);
        continue;
      }
      while (j < ordem.size()) {
        const int r = compara(novas_[ordem[j]], velha);
        // Two rows the database would have grouped into one: this memory
        // orders differently from it.
        if (r == 0) throw TOrdemDesconhecida();
        if (r > 0) break;
        nova(j++);
      }
      linhas.push_back(velha);
      for (int m = 0; m < n; ++m) valores.push_back(valores_[k++]);
    }
    for (; j < ordem.size(); ++j) nova(j);
  } catch (const TOrdemDesconhecida&) {
    usavel_ = false;
    throw;
  }
  linhas_ = std::move(linhas);
  valores_ = std::move(valores);
  novas_.clear();
  novas_.shrink_to_fit();
  valoresNovos_.clear();
  valoresNovos_.shrink_to_fit();
}

std::vector<std::uint32_t> TMemoriaAtualizacao::fretesACalcular() {
  QSet<QString> grupos;
  for (const std::uint32_t i : alterados_) grupos.insert(chaveFrete(pedidos_[i]));
  alterados_.clear();
  std::vector<std::uint32_t> resultado;
  if (grupos.isEmpty()) return resultado;
  // The orders of those codes, marked: the rows of the others (every row
  // kept is a living order's since concluiSubstituicao) are passed over
  // without making their code's key.
  std::vector<bool> doGrupo(pedidos_.size());
  for (const std::uint32_t i : pedidosComCodigo(grupos)) {
    pedidos_[i].frete = -1;
    doGrupo[i] = true;
  }
  QSet<QString> vistos;
  for (std::size_t i = 0; i < linhas_.size() && vistos.size() < grupos.size(); ++i) {
    if (!doGrupo[linhas_[i].pedido]) continue;
    const Pedido& p = pedidos_[linhas_[i].pedido];
    const QString chave = chaveFrete(p);
    if (!grupos.contains(chave) || vistos.contains(chave)) continue;
    vistos.insert(chave);
    // The freight is read from the row as a number: a null one is 0.
    if (valor(p.FRETE) != 0) resultado.push_back(linhas_[i].pedido);
  }
  return resultado;
}

std::optional<std::uint32_t> TMemoriaAtualizacao::pedidoDaUltimaChamadaIncompleta() const {
  for (const Frete& f : fretes_)
    if (pedidos_[f.pedido].vivo && pedidos_[f.pedido].frete >= 0) return std::nullopt;
  if (linhas_.empty() || (linhas_.back().mascara & kCompleta)) return std::nullopt;
  return linhas_.back().pedido;
}

// ---------------------------------------------------------------------------
// Giving the figures.

bool TMemoriaAtualizacao::temPercentuaisDoItem() const {
  for (std::size_t i = 0; i < linhas_.size(); ++i)
    if (linhas_[i].mascara & kPercentuaisDoItem) return true;
  for (const Frete& f : fretes_)
    if (pedidos_[f.pedido].vivo && (f.mascara & kPercentuaisDoItem)) return true;
  return false;
}

void TMemoriaAtualizacao::reaplica(TotaisRentabilidade& t, FigurasItem& f, int& linhas,
                                   int& chamadasProduto, int& chamadasFrete,
                                   std::vector<ItemCalculado>* itens) const {
  t = TotaisRentabilidade{};
  // The freight calls come in the order their orders' first rows are met.
  std::vector<std::uint32_t> ordemFretes;
  if (!fretes_.empty()) {
    std::vector<bool> visto(pedidos_.size(), false);
    for (std::size_t i = 0; i < linhas_.size(); ++i) {
      const std::uint32_t pedido = linhas_[i].pedido;
      if (visto[pedido]) continue;
      visto[pedido] = true;
      if (pedidos_[pedido].frete >= 0)
        ordemFretes.push_back(static_cast<std::uint32_t>(pedidos_[pedido].frete));
    }
  }
  linhas = chamadasProduto = static_cast<int>(linhas_.size());
  chamadasFrete = static_cast<int>(ordemFretes.size());

  const auto figuras = [&](const TContribuicaoChamada& c) {
    figurasDaChamada(c, f.MAquisicao, f.MValorDaVenda, f.MQtdeVendida, f.MOperacional,
                     f.MCustoParcVd, f.MComissao, f.MImpostos, f.MDescontoPV, f.MTxCondPag,
                     f.MOutros, f.MCustoTotVd, f.MMargemBrtLcr, f.MMargemOpLcr, f.MPercLucroBrt,
                     f.MPercLucroOpe);
  };
  // The line's own percentages carry over from the last call that computed
  // them: without the list, only that call and the last one are turned into
  // figures.
  std::optional<TContribuicaoChamada> ultima, ultimaComPercentuais;
  const auto aplica = [&](const TContribuicaoChamada& c, std::uint32_t pedido,
                          std::uint32_t produto, bool frete) {
    reaplicaNosTotais(c, t.MTotCustoParcVd, t.MTotValorDaVenda, t.MTotComissao, t.MTotImpostos,
                      t.MTotDescontoPV, t.MTotTxCondPag, t.MTotOutros, t.MTotCustoTotVd,
                      t.MTotMargemBrtLcr, t.MTotMargemOpLcr, t.MTotPercLucroBrt,
                      t.MTotPercLucroOpe);
    if (itens != nullptr) {
      figuras(c);
      const Pedido& p = pedidos_[pedido];
      itens->push_back(ItemCalculado{frete ? QStringLiteral("Frete") : QStringLiteral("Produto"),
                                     texto(p.CODEMPRESA), texto(p.TIPOPEDIDO), texto(p.CODPEDIDO),
                                     texto(produtos_[produto].CODPROD),
                                     texto(produtos_[produto].CODGRADE), f});
    }
  };
  std::size_t k = 0;
  for (std::size_t i = 0; i < linhas_.size(); ++i) {
    const Linha& l = linhas_[i];
    const TContribuicaoChamada c = expande(l.mascara, pedidos_[l.pedido], valores_, k);
    aplica(c, l.pedido, l.produto, false);
    if (c.percentuaisDoItem) ultimaComPercentuais = c;
    if (i + 1 == linhas_.size()) ultima = c;
  }
  for (const std::uint32_t i : ordemFretes) {
    const Frete& fr = fretes_[i];
    std::size_t v = fr.valores;
    const TContribuicaoChamada c = expande(fr.mascara, pedidos_[fr.pedido], valoresFretes_, v);
    aplica(c, fr.pedido, fr.produto, true);
    if (c.percentuaisDoItem) ultimaComPercentuais = c;
    ultima = c;
  }
  if (itens == nullptr && ultima) {
    if (ultimaComPercentuais) figuras(*ultimaComPercentuais);
    figuras(*ultima);
  }
}

}  // namespace margivo
