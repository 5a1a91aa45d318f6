#include "framework/gui/elementos.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QImage>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPolygonF>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "framework/gui/mensagens.h"

namespace margivo {
namespace {

// The outline of a rectangle whose corners in `cantos` are rounded with radii
// rx and ry, clockwise from the top-left.
QPainterPath CaminhoArredondado(const QRectF& r, double rx, double ry, TCantos cantos) {
  QPainterPath caminho;
  if (rx <= 0 || ry <= 0 || cantos == 0) {
    caminho.addRect(r);
    return caminho;
  }
  const auto tem = [cantos](TCanto c) { return (cantos & static_cast<int>(c)) != 0; };
  const double dx = 2 * rx, dy = 2 * ry;
  caminho.moveTo(r.left() + (tem(TCanto::SuperiorEsquerdo) ? rx : 0), r.top());
  if (tem(TCanto::SuperiorDireito)) {
    caminho.lineTo(r.right() - rx, r.top());
    caminho.arcTo(QRectF(r.right() - dx, r.top(), dx, dy), 90, -90);
  } else {
    caminho.lineTo(r.right(), r.top());
  }
  if (tem(TCanto::InferiorDireito)) {
    caminho.lineTo(r.right(), r.bottom() - ry);
    caminho.arcTo(QRectF(r.right() - dx, r.bottom() - dy, dx, dy), 0, -90);
  } else {
    caminho.lineTo(r.right(), r.bottom());
  }
  if (tem(TCanto::InferiorEsquerdo)) {
    caminho.lineTo(r.left() + rx, r.bottom());
    caminho.arcTo(QRectF(r.left(), r.bottom() - dy, dx, dy), 270, -90);
  } else {
    caminho.lineTo(r.left(), r.bottom());
  }
  if (tem(TCanto::SuperiorEsquerdo)) {
    caminho.lineTo(r.left(), r.top() + ry);
    caminho.arcTo(QRectF(r.left(), r.top(), dx, dy), 180, -90);
  } else {
    caminho.lineTo(r.left(), r.top());
  }
  caminho.closeSubpath();
  return caminho;
}

QRegion RegiaoDe(const QPainterPath& caminho) {
  return QRegion(caminho.toFillPolygon().toPolygon(), Qt::WindingFill);
}

}  // namespace

// ---------------------------------------------------------------------------
// TElemento

TElemento::TElemento(TFormTransparente* form) : QObject(form) { alterado(); }

TElemento::TElemento(TElemento* pai) : QObject(pai) { alterado(); }

TElemento::~TElemento() {
  // The form drops its references through QPointer; what is left to do is
  // the repaint and the input region without this element.
  if (TFormTransparente* f = form()) f->elementoAlterado();
}

TFormTransparente* TElemento::form() const noexcept {
  // While a parent is being destroyed it is no longer a TElemento (its
  // derived parts are gone), so the walk ends there with nullptr.
  for (QObject* p = parent(); p != nullptr; p = p->parent()) {
    if (auto* f = qobject_cast<TFormTransparente*>(p)) return f;
    if (qobject_cast<TElemento*>(p) == nullptr) return nullptr;
  }
  return nullptr;
}

TElemento* TElemento::elementoPai() const noexcept { return qobject_cast<TElemento*>(parent()); }

std::vector<TElemento*> TElemento::elementos() const {
  std::vector<TElemento*> filhos;
  for (QObject* o : children())
    if (auto* e = qobject_cast<TElemento*>(o)) filhos.push_back(e);
  return filhos;
}

void TElemento::setPosition(const QPointF& posicao) {
  if (posicao == posicao_) return;
  posicao_ = posicao;
  alterado();
}

void TElemento::setSize(double largura, double altura) {
  const QSizeF novo(std::max(0.0, largura), std::max(0.0, altura));
  if (novo == tamanho_) return;
  tamanho_ = novo;
  alterado();
}

QPointF TElemento::posicaoNoForm() const {
  QPointF p = posicao_;
  for (const TElemento* e = elementoPai(); e != nullptr; e = e->elementoPai()) p += e->position();
  return p;
}

void TElemento::setVisible(bool visivel) {
  if (visivel == visivel_) return;
  visivel_ = visivel;
  alterado();
}

bool TElemento::visivelNoForm() const {
  for (const TElemento* e = this; e != nullptr; e = e->elementoPai())
    if (!e->isVisible()) return false;
  return true;
}

void TElemento::setOpacity(double opacidade) {
  opacidade = std::clamp(opacidade, 0.0, 1.0);
  if (opacidade == opacidade_) return;
  opacidade_ = opacidade;
  alterado();
}

void TElemento::trazParaFrente() {
  // Siblings are drawn in the order of their parent's children: taking the
  // element out and putting it back makes it the last one.
  QObject* pai = parent();
  setParent(nullptr);
  setParent(pai);
  alterado();
}

double TElemento::opacidadeAbsoluta() const {
  double o = 1;
  for (const TElemento* e = this; e != nullptr; e = e->elementoPai()) o *= e->opacity();
  return o;
}

void TElemento::setMinimumOpacity(double opacidade) {
  opacidade = std::clamp(opacidade, 0.0, 1.0);
  if (opacidade == opacidadeMinima_) return;
  opacidadeMinima_ = opacidade;
  alterado();
}

namespace {

// The opacity `e` is drawn with when what holds it is drawn with `herdada`.
double OpacidadeDe(const TElemento& e, double herdada) {
  const double o = herdada * e.opacity();
  return o > 0 ? std::max(o, e.minimumOpacity()) : 0.0;
}

}  // namespace

double TElemento::opacidadeDesenhada() const {
  std::vector<const TElemento*> cadeia;
  for (const TElemento* e = this; e != nullptr; e = e->elementoPai()) cadeia.push_back(e);
  double o = 1;
  for (auto it = cadeia.rbegin(); it != cadeia.rend(); ++it) o = OpacidadeDe(**it, o);
  return o;
}

void TElemento::desenha(QPainter&) const {}

QPainterPath TElemento::forma() const {
  QPainterPath caminho;
  caminho.addRect(QRectF(QPointF(0, 0), tamanho_));
  return caminho;
}

void TElemento::alterado() {
  if (TFormTransparente* f = form()) f->elementoAlterado();
}

// ---------------------------------------------------------------------------
// Gradients

std::vector<std::pair<double, QColor>> PontosDoGradiente(
    const std::vector<std::pair<double, QColor>>& pontos) {
  // How far apart two stops that share an offset are drawn.
  constexpr double kSeparacao = 1e-4;
  auto ordenados = pontos;
  for (auto& p : ordenados) p.first = std::clamp(p.first, 0.0, 1.0);
  std::stable_sort(ordenados.begin(), ordenados.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::pair<double, QColor>> resultado;
  for (size_t i = 0; i < ordenados.size();) {
    size_t j = i;
    while (j + 1 < ordenados.size() && ordenados[j + 1].first == ordenados[i].first) ++j;
    const double offset = ordenados[i].first;
    if (j == i) {
      resultado.push_back(ordenados[i]);
    } else if (offset < 1) {
      const double seguinte = j + 1 < ordenados.size() ? ordenados[j + 1].first : 1.0;
      resultado.emplace_back(offset, ordenados[i].second);
      resultado.emplace_back(offset + std::min(kSeparacao, (seguinte - offset) / 2),
                             ordenados[j].second);
    } else {
      const double anterior = resultado.empty() ? 0.0 : resultado.back().first;
      resultado.emplace_back(offset - std::min(kSeparacao, (offset - anterior) / 2),
                             ordenados[i].second);
      resultado.emplace_back(offset, ordenados[j].second);
    }
    i = j + 1;
  }
  return resultado;
}

// ---------------------------------------------------------------------------
// TRectangle

void TRectangle::setFillNone() {
  preenchimento_ = Preenchimento::Nenhum;
  alterado();
}

void TRectangle::setFillColor(const QColor& cor) {
  preenchimento_ = Preenchimento::Solido;
  corFundo_ = cor;
  alterado();
}

void TRectangle::setFillGradient(const TGradiente& gradiente) {
  preenchimento_ = Preenchimento::Gradiente;
  gradiente_ = gradiente;
  alterado();
}

void TRectangle::setFillBitmap(const QPixmap& imagem, bool ladrilho) {
  preenchimento_ = Preenchimento::Imagem;
  imagem_ = imagem;
  ladrilho_ = ladrilho;
  alterado();
}

void TRectangle::setStrokeNone() {
  contorno_ = false;
  alterado();
}

void TRectangle::setStrokeColor(const QColor& cor) {
  contorno_ = true;
  corContorno_ = cor;
  alterado();
}

void TRectangle::setRadius(double xRadius, double yRadius) {
  raioX_ = xRadius;
  raioY_ = yRadius;
  alterado();
}

void TRectangle::setCorners(TCantos cantos) {
  cantos_ = cantos;
  alterado();
}

std::pair<double, double> TRectangle::raios() const {
  return {std::min(raioX_, width() / 2), std::min(raioY_, height() / 2)};
}

std::pair<double, double> TRoundRect::raios() const {
  const double r = std::min(width(), height()) / 2;
  return {r, r};
}

QPainterPath TRectangle::forma() const {
  const auto [rx, ry] = raios();
  return CaminhoArredondado(QRectF(0, 0, width(), height()), rx, ry, cantos_);
}

bool TRectangle::desenhaAlgo() const {
  bool fundo = false;
  switch (preenchimento_) {
    case Preenchimento::Nenhum:
      break;
    case Preenchimento::Solido:
      fundo = corFundo_.alpha() > 0;
      break;
    case Preenchimento::Gradiente:
      fundo = std::any_of(gradiente_.pontos.begin(), gradiente_.pontos.end(),
                          [](const auto& p) { return p.second.alpha() > 0; });
      break;
    case Preenchimento::Imagem:
      fundo = !imagem_.isNull();
      break;
  }
  return fundo || (contorno_ && corContorno_.alpha() > 0);
}

void TRectangle::desenha(QPainter& painter) const {
  const QPainterPath caminho = forma();
  switch (preenchimento_) {
    case Preenchimento::Nenhum:
      break;
    case Preenchimento::Solido:
      painter.fillPath(caminho, corFundo_);
      break;
    case Preenchimento::Gradiente: {
      QLinearGradient g(gradiente_.inicio.x() * width(), gradiente_.inicio.y() * height(),
                        gradiente_.fim.x() * width(), gradiente_.fim.y() * height());
      QGradientStops stops;
      for (const auto& [offset, cor] : PontosDoGradiente(gradiente_.pontos))
        stops.append({offset, cor});
      g.setStops(stops);
      painter.fillPath(caminho, g);
      break;
    }
    case Preenchimento::Imagem:
      if (ladrilho_) {
        painter.fillPath(caminho, QBrush(imagem_));
      } else {
        painter.save();
        painter.setClipPath(caminho, Qt::IntersectClip);
        painter.drawPixmap(QRectF(0, 0, width(), height()), imagem_, QRectF(imagem_.rect()));
        painter.restore();
      }
      break;
  }
  if (contorno_ && corContorno_.alpha() > 0) {
    painter.save();
    painter.setPen(QPen(corContorno_, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(caminho);
    painter.restore();
  }
}

// ---------------------------------------------------------------------------
// TLine

void TLine::setStrokeColor(const QColor& cor) {
  cor_ = cor;
  alterado();
}

void TLine::desenha(QPainter& painter) const {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(cor_, 1));
  painter.drawLine(QPointF(0, 0), QPointF(0, height()));
  painter.restore();
}

QPainterPath TLine::forma() const {
  QPainterPath caminho;
  caminho.addRect(QRectF(0, 0, 1, height()));
  return caminho;
}

// ---------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TElemento* pai) : TElemento(pai) {
  setHitTest(false);
  setSize(kLarguraPadrao, kAlturaPadrao);
}

void TLabel::setText(const QString& texto) {
  if (texto == texto_) return;
  texto_ = texto;
  ajustaTamanho();
  alterado();
}

void TLabel::setFontFamily(const QString& familia) {
  familia_ = familia;
  ajustaTamanho();
  alterado();
}

void TLabel::setFontSize(double tamanho) {
  tamanhoFonte_ = tamanho;
  ajustaTamanho();
  alterado();
}

void TLabel::setFontStyle(TEstilosFonte estilo) {
  estilo_ = estilo;
  ajustaTamanho();
  alterado();
}

void TLabel::setTextAlign(TAlinhamento alinhamento) {
  alinhamento_ = alinhamento;
  alterado();
}

void TLabel::setWordWrap(bool quebra) {
  quebra_ = quebra;
  alterado();
}

void TLabel::setAutoSize(bool autoSize) {
  autoSize_ = autoSize;
  ajustaTamanho();
}

void TLabel::setStyleLookup(const QString& nome) {
  estilo_nome_ = nome;
  alterado();
}

void TLabel::setTextMargins(double esquerda, double direita) {
  margemEsquerda_ = esquerda;
  margemDireita_ = direita;
  alterado();
}

QRectF TLabel::areaDoTexto() const {
  return QRectF(margemEsquerda_, 0, std::max(0.0, width() - margemEsquerda_ - margemDireita_),
                height());
}

void TLabel::setShrinkToFit(bool encolhe) {
  encolhe_ = encolhe;
  alterado();
}

void TLabel::setHalo(const QColor& cor) {
  halo_ = cor;
  alterado();
}

QFont TLabel::fonteDesenhada() const {
  QFont f = fonte();
  if (!encolhe_ || quebra_ || texto_.isEmpty()) return f;
  const double largura = areaDoTexto().width();
  while (f.pixelSize() > kMenorFonteQueCabe && QFontMetricsF(f).horizontalAdvance(texto_) > largura)
    f.setPixelSize(f.pixelSize() - 1);
  return f;
}

QFont TLabel::fonte() const {
  QFont f = QGuiApplication::font();
  if (!familia_.isEmpty()) f.setFamily(familia_);
  f.setPixelSize(std::max(1, static_cast<int>(std::lround(tamanhoFonte_))));
  f.setBold((estilo_ & Negrito) != 0);
  f.setItalic((estilo_ & Italico) != 0);
  f.setUnderline((estilo_ & Sublinhado) != 0);
  f.setStrikeOut((estilo_ & Riscado) != 0);
  return f;
}

QColor TLabel::corDoTexto() const {
  if (const TFormTransparente* f = form()) return f->corDoEstilo(estilo_nome_);
  return Qt::white;
}

void TLabel::ajustaTamanho() {
  if (!autoSize_) return;
  const QFontMetricsF fm(fonte());
  setSize(std::ceil(fm.horizontalAdvance(texto_)), std::ceil(fm.height()));
}

namespace {

int FlagsDoTexto(TAlinhamento alinhamento, bool quebra) {
  int flags = Qt::AlignVCenter | Qt::TextDontClip;
  switch (alinhamento) {
    case TAlinhamento::Centro:
      flags |= Qt::AlignHCenter;
      break;
    case TAlinhamento::Inicio:
      flags |= Qt::AlignLeft;
      break;
    case TAlinhamento::Fim:
      flags |= Qt::AlignRight;
      break;
  }
  flags |= quebra ? Qt::TextWordWrap : Qt::TextSingleLine;
  return flags;
}

}  // namespace

void TLabel::desenha(QPainter& painter) const {
  if (texto_.isEmpty()) return;
  const QFont f = fonteDesenhada();
  const int flags = FlagsDoTexto(alinhamento_, quebra_);
  const QRectF area = areaDoTexto();
  if (!halo_.isValid() || halo_.alpha() == 0) {
    painter.save();
    painter.setFont(f);
    painter.setPen(corDoTexto());
    painter.drawText(area, flags, texto_);
    painter.restore();
    return;
  }
  // The rim and the letters are drawn opaque in a layer of their own, which
  // then takes the painter's opacity as one: drawn straight, translucent
  // letters would let the rim show through them.
  const QRectF camada = forma().boundingRect().adjusted(-2, -2, 2, 2);
  const qreal escala = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
  QImage imagem((camada.size() * escala).toSize(), QImage::Format_ARGB32_Premultiplied);
  imagem.setDevicePixelRatio(escala);
  imagem.fill(Qt::transparent);
  {
    QPainter p(&imagem);
    p.setRenderHints(painter.renderHints());
    p.translate(-camada.topLeft());
    p.setFont(f);
    p.setPen(halo_);
    for (const QPointF desvio : {QPointF(-1, -1), QPointF(0, -1), QPointF(1, -1), QPointF(-1, 0),
                                 QPointF(1, 0), QPointF(-1, 1), QPointF(0, 1), QPointF(1, 1)})
      p.drawText(area.translated(desvio), flags, texto_);
    p.setPen(corDoTexto());
    p.drawText(area, flags, texto_);
  }
  painter.drawImage(camada.topLeft(), imagem);
}

QPainterPath TLabel::forma() const {
  // The text may run past the box (above and below for a tall font, sideways
  // for a long text); the shape covers both.
  const QFontMetricsF fm(fonteDesenhada());
  const QRectF caixa(0, 0, width(), height());
  const QRectF texto = fm.boundingRect(areaDoTexto(), FlagsDoTexto(alinhamento_, quebra_),
                                       texto_.isEmpty() ? " " : texto_);
  QPainterPath caminho;
  caminho.addRect(caixa.united(texto));
  return caminho;
}

// ---------------------------------------------------------------------------
// TImage

TImage::TImage(TElemento* pai) : TElemento(pai) { setSize(0, 0); }

void TImage::setBitmap(const QPixmap& imagem) {
  imagem_ = imagem;
  if (size().isEmpty()) {
    const QSizeF proprio = imagem.deviceIndependentSize();
    setSize(proprio.width(), proprio.height());
  }
  alterado();
}

QRectF TImage::areaDaImagem() const {
  if (imagem_.isNull() || size().isEmpty()) return {};
  const QSizeF proprio = imagem_.deviceIndependentSize();
  const double escala = std::min(width() / proprio.width(), height() / proprio.height());
  const QSizeF area = proprio * escala;
  return {QPointF((width() - area.width()) / 2, (height() - area.height()) / 2), area};
}

void TImage::desenha(QPainter& painter) const {
  if (imagem_.isNull()) return;
  painter.drawPixmap(areaDaImagem(), imagem_, QRectF(imagem_.rect()));
}

// ---------------------------------------------------------------------------
// TFormTransparente

TFormTransparente::TFormTransparente(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_NoSystemBackground);
  setMouseTracking(true);
  estilos_[QString::fromLatin1(kEstiloRotuloPadrao)] = QColor(0xFF, 0xFF, 0xFF);
}

TFormTransparente::~TFormTransparente() {
  // The elements go first, while this object is still whole.
  destruindo_ = true;
  for (TElemento* e : elementos()) delete e;
}

std::vector<TElemento*> TFormTransparente::elementos() const {
  std::vector<TElemento*> raiz;
  for (QObject* o : children())
    if (auto* e = qobject_cast<TElemento*>(o)) raiz.push_back(e);
  return raiz;
}

namespace {

TElemento* ElementoEm(TElemento* e, const QPointF& pontoNoPai) {
  if (!e->isVisible()) return nullptr;
  const QPointF local = pontoNoPai - e->position();
  const auto filhos = e->elementos();
  for (auto it = filhos.rbegin(); it != filhos.rend(); ++it)
    if (TElemento* achado = ElementoEm(*it, local)) return achado;
  if (e->hitTest() && e->forma().contains(local)) return e;
  return nullptr;
}

TElemento* procuraHint(TElemento* e, const QPointF& pontoNoPai) {
  if (!e->isVisible()) return nullptr;
  const QPointF local = pontoNoPai - e->position();
  const auto filhos = e->elementos();
  for (auto it = filhos.rbegin(); it != filhos.rend(); ++it)
    if (TElemento* achado = procuraHint(*it, local)) return achado;
  if (!e->hint().isEmpty() && e->forma().contains(local)) return e;
  return nullptr;
}

// `e` or its nearest ancestor for which `tem` holds.
template <typename Condicao>
TElemento* comHandler(TElemento* e, Condicao tem) {
  for (; e != nullptr; e = e->elementoPai())
    if (tem(*e)) return e;
  return nullptr;
}

void AcumulaRegiao(QRegion& regiao, const TElemento* e, const QPointF& origem, double opacidade) {
  if (!e->isVisible()) return;
  const double o = OpacidadeDe(*e, opacidade);
  const QPointF pos = origem + e->position();
  if (o > 0 && e->desenhaAlgo()) regiao += RegiaoDe(e->forma().translated(pos));
  for (const TElemento* filho : e->elementos()) AcumulaRegiao(regiao, filho, pos, o);
}

}  // namespace

TElemento* TFormTransparente::elementoEm(const QPointF& ponto) const {
  const auto raiz = elementos();
  for (auto it = raiz.rbegin(); it != raiz.rend(); ++it)
    if (TElemento* achado = ElementoEm(*it, ponto)) return achado;
  return nullptr;
}

TElemento* TFormTransparente::elementoComHintEm(const QPointF& ponto) const {
  const auto raiz = elementos();
  for (auto it = raiz.rbegin(); it != raiz.rend(); ++it)
    if (TElemento* achado = procuraHint(*it, ponto)) return achado;
  return nullptr;
}

QRegion TFormTransparente::regiaoVisivel() const {
  QRegion regiao;
  for (const TElemento* e : elementos()) AcumulaRegiao(regiao, e, QPointF(0, 0), 1);
  return regiao;
}

void TFormTransparente::aplicaAlteracoes() {
  alteracaoPendente_ = false;
  const QRegion nova = regiaoVisivel();
  const QRect area = regiaoAplicada_.boundingRect().united(nova.boundingRect());
  if (!mascaraAplicada_ || nova != regiaoAplicada_) {
    mascaraAplicada_ = true;
    // An empty mask would mean no mask at all (the whole form taking the
    // clicks): a form that draws nothing keeps one transparent pixel.
    setMask(nova.isEmpty() ? QRegion(0, 0, 1, 1) : nova);
    regiaoAplicada_ = nova;
  }
  if (!area.isEmpty()) update(area.adjusted(-2, -2, 2, 2));
}

void TFormTransparente::elementoAlterado() {
  if (destruindo_ || alteracaoPendente_) return;
  alteracaoPendente_ = true;
  QMetaObject::invokeMethod(
      this, [this] { aplicaAlteracoes(); }, Qt::QueuedConnection);
}

void TFormTransparente::elementoDestruido(TElemento*) { elementoAlterado(); }

void TFormTransparente::setCorDoEstilo(const QString& nome, const QColor& cor) {
  estilos_[nome] = cor;
  update();
}

QColor TFormTransparente::corDoEstilo(const QString& nome) const {
  auto it = estilos_.find(nome);
  if (it == estilos_.end()) it = estilos_.find(QString::fromLatin1(kEstiloRotuloPadrao));
  return it == estilos_.end() ? QColor(Qt::white) : it->second;
}

void TFormTransparente::executaEvento(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    MostraErro(std::current_exception());
  }
}

void TFormTransparente::pintaElemento(QPainter& painter, const TElemento* e,
                                      double opacidade) const {
  if (!e->isVisible()) return;
  const double o = OpacidadeDe(*e, opacidade);
  painter.save();
  painter.translate(e->position());
  painter.setOpacity(o);
  e->desenha(painter);
  for (const TElemento* filho : e->elementos()) pintaElemento(painter, filho, o);
  painter.restore();
}

void TFormTransparente::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(event->rect(), Qt::transparent);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                         QPainter::SmoothPixmapTransform);
  for (const TElemento* e : elementos()) pintaElemento(painter, e, 1);
}

namespace {

TEventoMouse EventoDe(const QMouseEvent* event) {
  return {event->type() == QEvent::MouseMove ? Qt::NoButton : event->button(), event->buttons(),
          event->globalPosition()};
}

}  // namespace

void TFormTransparente::atualizaSobMouse(TElemento* novo) {
  if (novo == sobMouse_) return;
  QPointer<TElemento> antigo = sobMouse_;
  sobMouse_ = novo;
  QPointer<TElemento> entrando = novo;
  if (antigo && antigo->OnMouseLeave) {
    const auto handler = antigo->OnMouseLeave;
    executaEvento([&] { handler(antigo.data()); });
  }
  if (entrando && entrando == sobMouse_ && entrando->OnMouseEnter) {
    const auto handler = entrando->OnMouseEnter;
    executaEvento([&] { handler(entrando.data()); });
  }
}

void TFormTransparente::mouseMoveEvent(QMouseEvent* event) {
  if (capturado_) {
    QPointer<TElemento> e = capturado_;
    if (e->OnMouseMove) {
      const auto handler = e->OnMouseMove;
      const TEventoMouse evento = EventoDe(event);
      executaEvento([&] { handler(e.data(), evento); });
    }
    return;
  }
  atualizaSobMouse(elementoEm(event->position()));
}

void TFormTransparente::mousePressEvent(QMouseEvent* event) {
  if (!capturado_) {
    atualizaSobMouse(elementoEm(event->position()));
    capturado_ = elementoEm(event->position());
  }
  QPointer<TElemento> e = capturado_;
  if (e && e->OnMouseDown) {
    const auto handler = e->OnMouseDown;
    const TEventoMouse evento = EventoDe(event);
    executaEvento([&] { handler(e.data(), evento); });
  }
}

void TFormTransparente::mouseReleaseEvent(QMouseEvent* event) {
  QPointer<TElemento> e = capturado_;
  if (event->buttons() == Qt::NoButton) capturado_ = nullptr;
  const TEventoMouse evento = EventoDe(event);
  if (e && e->OnMouseUp) {
    const auto handler = e->OnMouseUp;
    executaEvento([&] { handler(e.data(), evento); });
  }
  if (e && event->button() == Qt::LeftButton && e->OnClick && elementoEm(event->position()) == e) {
    const auto handler = e->OnClick;
    executaEvento([&] { handler(e.data()); });
  }
  if (!capturado_) atualizaSobMouse(elementoEm(event->position()));
}

void TFormTransparente::mouseDoubleClickEvent(QMouseEvent* event) {
  // The double click stands for the second press as well.
  mousePressEvent(event);
  if (event->button() != Qt::LeftButton) return;
  QPointer<TElemento> e = comHandler(elementoEm(event->position()),
                                     [](const TElemento& x) { return bool(x.OnDblClick); });
  if (!e) return;
  const auto handler = e->OnDblClick;
  executaEvento([&] { handler(e.data()); });
}

void TFormTransparente::contextMenuEvent(QContextMenuEvent* event) {
  QPointer<TElemento> e = comHandler(elementoEm(event->pos()),
                                     [](const TElemento& x) { return bool(x.OnContextPopup); });
  if (!e) {
    event->ignore();
    return;
  }
  // The menu takes the mouse: the release of the button that asked for it
  // never comes here.
  capturado_ = nullptr;
  const auto handler = e->OnContextPopup;
  const QPoint posicao = event->globalPos();
  executaEvento([&] { handler(e.data(), posicao); });
}

bool TFormTransparente::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    const auto* ajuda = static_cast<QHelpEvent*>(event);
    const TElemento* e = elementoComHintEm(ajuda->pos());
    if (e == nullptr) {
      QToolTip::hideText();
      event->ignore();
    } else {
      // Shown while the mouse stays over the element.
      QToolTip::showText(ajuda->globalPos(), e->hint(), this, e->retanguloNoForm().toAlignedRect());
    }
    return true;
  }
  return QWidget::event(event);
}

void TFormTransparente::leaveEvent(QEvent* event) {
  if (!capturado_) atualizaSobMouse(nullptr);
  QWidget::leaveEvent(event);
}

}  // namespace margivo
