// The visual elements a gadget is drawn with, and the transparent form that
// hosts them.
//
// A gadget face is a tree of light elements (rectangles, rounded rectangles,
// lines, labels, images) painted by their form, not a tree of widgets. The
// tree behaves the way the gadget's layout expects:
//   - positions are relative to the parent element and a child may lie
//     outside its parent (the logo overhangs the top of the face): nothing
//     is clipped to its parent;
//   - opacity multiplies down the tree: every element is drawn with the
//     product of its own and its ancestors' opacities;
//   - the mouse is over exactly one element at a time, the topmost visible
//     element that takes hits under the cursor (labels let hits through to
//     what lies below them), so moving from an element onto one of its
//     children is a leave of the parent and an enter of the child;
//   - the element a button went down on receives the moves and the release
//     until the release (it holds the mouse), and a release of the left
//     button over that same element is also its click;
//   - a double click and a request for a context menu (the right button)
//     go to the element under the mouse or, when it has no handler for
//     them, to its nearest ancestor that has one;
//   - the tooltip shown over a point is the hint of the topmost visible
//     element there that has one, labels included.
//
// The form is a frameless, translucent top-level window. Its input region is
// exactly what its elements draw (TFormTransparente::regiaoVisivel), so the
// desktop stays visible and takes the clicks wherever the gadget draws
// nothing, however large the form is.
//
// Errors: an exception that leaves an event handler of an element is caught
// by the form and reported in one error box (the program goes on running).
#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPainterPath>
#include <QPixmap>
#include <QPointF>
#include <QPointer>
#include <QRegion>
#include <QSizeF>
#include <QString>
#include <QWidget>
#include <functional>
#include <map>
#include <utility>
#include <vector>

class QPainter;

namespace margivo {

class TFormTransparente;

// A mouse event as an element receives it.
struct TEventoMouse {
  Qt::MouseButton botao = Qt::NoButton;    // the button that changed (none for a move)
  Qt::MouseButtons botoes = Qt::NoButton;  // the buttons held after the event
  QPointF posicaoTela;                     // cursor in screen pixels
};

class TElemento : public QObject {
  Q_OBJECT

 public:
  using Evento = std::function<void(QObject* Sender)>;
  using EventoMouse = std::function<void(QObject* Sender, const TEventoMouse& evento)>;
  // `posicaoTela`: the point the menu is asked for, in screen pixels.
  using EventoMenu = std::function<void(QObject* Sender, const QPoint& posicaoTela)>;

  // A top-level element of `form`, or a child of `pai`; owned by it.
  explicit TElemento(TFormTransparente* form);
  explicit TElemento(TElemento* pai);
  ~TElemento() override;

  // The form the element is drawn on; nullptr while it is being destroyed.
  TFormTransparente* form() const noexcept;
  TElemento* elementoPai() const noexcept;
  // Direct children, in the order they were created (the drawing order).
  std::vector<TElemento*> elementos() const;

  QPointF position() const noexcept { return posicao_; }
  double x() const noexcept { return posicao_.x(); }
  double y() const noexcept { return posicao_.y(); }
  void setPosition(const QPointF& posicao);
  void setX(double x) { setPosition({x, posicao_.y()}); }
  void setY(double y) { setPosition({posicao_.x(), y}); }
  double width() const noexcept { return tamanho_.width(); }
  double height() const noexcept { return tamanho_.height(); }
  QSizeF size() const noexcept { return tamanho_; }
  void setSize(double largura, double altura);
  void setWidth(double largura) { setSize(largura, tamanho_.height()); }
  void setHeight(double altura) { setSize(tamanho_.width(), altura); }
  // Position and size in form coordinates.
  QPointF posicaoNoForm() const;
  QRectF retanguloNoForm() const { return {posicaoNoForm(), tamanho_}; }

  bool isVisible() const noexcept { return visivel_; }
  void setVisible(bool visivel);
  // Visible itself and every ancestor visible.
  bool visivelNoForm() const;
  // 0 to 1; values outside are clamped.
  double opacity() const noexcept { return opacidade_; }
  void setOpacity(double opacidade);
  // Own opacity times every ancestor's.
  double opacidadeAbsoluta() const;
  // The least opacity the element (and what it holds) is drawn with while
  // its ancestors' opacity is above 0, so that it stays readable however
  // translucent they are; 0 (the default) sets no floor.
  double minimumOpacity() const noexcept { return opacidadeMinima_; }
  void setMinimumOpacity(double opacidade);
  // The opacity the element is drawn with: opacidadeAbsoluta() raised to
  // the floors of the element and its ancestors.
  double opacidadeDesenhada() const;
  // Moves the element in front of its siblings (drawn last, hit first).
  void trazParaFrente();

  // Whether the element can be under the mouse; labels cannot by default.
  bool hitTest() const noexcept { return hitTest_; }
  void setHitTest(bool valor) noexcept { hitTest_ = valor; }

  // The tooltip over the element (empty: none of its own).
  QString hint() const { return hint_; }
  void setHint(const QString& hint) { hint_ = hint; }

  // Event handlers; an empty one ignores the event. Sender is the element.
  Evento OnClick, OnMouseEnter, OnMouseLeave;
  EventoMouse OnMouseDown, OnMouseMove, OnMouseUp;
  // A double click of the left button (after its press went to
  // OnMouseDown), and a context menu asked for over the element.
  Evento OnDblClick;
  EventoMenu OnContextPopup;

  // Draws the element's own content in its local coordinates (children are
  // drawn by the form, after it).
  virtual void desenha(QPainter& painter) const;
  // The area the element covers, in local coordinates: where it takes hits
  // and, when it draws something, part of the form's input region.
  virtual QPainterPath forma() const;
  // Whether the element puts anything not fully transparent on the screen.
  virtual bool desenhaAlgo() const { return false; }

 protected:
  // Tells the form to repaint and to recompute its input region.
  void alterado();

 private:
  QPointF posicao_;
  QSizeF tamanho_{50, 50};
  bool visivel_ = true;
  double opacidade_ = 1;
  double opacidadeMinima_ = 0;
  bool hitTest_ = true;
  QString hint_;
};

// Corners of a rectangle that are rounded.
enum class TCanto {
  SuperiorEsquerdo = 1,
  SuperiorDireito = 2,
  InferiorEsquerdo = 4,
  InferiorDireito = 8
};
using TCantos = int;
inline constexpr TCantos kTodosOsCantos = 15;

// A linear gradient: colour stops in the order they were defined and the
// start and stop points relative to the shape (0 to 1 on each axis).
struct TGradiente {
  QPointF inicio{0, 0};
  QPointF fim{0, 1};
  std::vector<std::pair<double, QColor>> pontos;  // (offset, colour)
};

// The stops of `pontos` as drawn: sorted by offset, stops that share an
// offset keeping their defined order. Where several stops share an offset,
// the colour coming from below is the first of them and the colour going on
// is the last (a sharp change there); those in between are not seen.
std::vector<std::pair<double, QColor>> PontosDoGradiente(
    const std::vector<std::pair<double, QColor>>& pontos);

class TRectangle : public TElemento {
  Q_OBJECT

 public:
  enum class Preenchimento { Nenhum, Solido, Gradiente, Imagem };

  using TElemento::TElemento;

  void setFillNone();
  void setFillColor(const QColor& cor);
  void setFillGradient(const TGradiente& gradiente);
  // `ladrilho`: the picture repeated from the top-left corner; otherwise
  // stretched over the rectangle.
  void setFillBitmap(const QPixmap& imagem, bool ladrilho);
  Preenchimento fillKind() const noexcept { return preenchimento_; }
  QColor fillColor() const noexcept { return corFundo_; }
  const TGradiente& fillGradient() const noexcept { return gradiente_; }
  const QPixmap& fillBitmap() const noexcept { return imagem_; }

  // Outline of one pixel; a fully transparent colour draws none.
  void setStrokeNone();
  void setStrokeColor(const QColor& cor);
  QColor strokeColor() const noexcept { return corContorno_; }
  bool hasStroke() const noexcept { return contorno_; }

  // Corner radii; each is limited to half the side it runs along.
  void setRadius(double xRadius, double yRadius);
  double xRadius() const noexcept { return raioX_; }
  double yRadius() const noexcept { return raioY_; }
  void setCorners(TCantos cantos);
  TCantos corners() const noexcept { return cantos_; }

  void desenha(QPainter& painter) const override;
  QPainterPath forma() const override;
  bool desenhaAlgo() const override;

 protected:
  // Radii actually used for the current size.
  virtual std::pair<double, double> raios() const;

 private:
  Preenchimento preenchimento_ = Preenchimento::Solido;
  QColor corFundo_{0xFF, 0xFF, 0xFF};
  TGradiente gradiente_;
  QPixmap imagem_;
  bool ladrilho_ = false;
  bool contorno_ = true;
  QColor corContorno_{0, 0, 0};
  double raioX_ = 0, raioY_ = 0;
  TCantos cantos_ = kTodosOsCantos;
};

// A rectangle whose chosen corners are rounded with a radius of half its
// smaller side; the other corners stay square.
class TRoundRect : public TRectangle {
  Q_OBJECT

 public:
  using TRectangle::TRectangle;

 protected:
  std::pair<double, double> raios() const override;
};

// A one-pixel line along the left edge of its box (a vertical line).
class TLine : public TElemento {
  Q_OBJECT

 public:
  using TElemento::TElemento;

  void setStrokeColor(const QColor& cor);
  QColor strokeColor() const noexcept { return cor_; }

  void desenha(QPainter& painter) const override;
  QPainterPath forma() const override;
  bool desenhaAlgo() const override { return cor_.alpha() > 0; }

 private:
  QColor cor_{0, 0, 0};
};

enum class TAlinhamento { Centro, Inicio, Fim };  // centre, leading (left), trailing (right)

enum TEstiloFonte { Negrito = 1, Italico = 2, Sublinhado = 4, Riscado = 8 };
using TEstilosFonte = int;

// A line of text. Its colour comes from a named style of the form's style
// book (styleLookup; empty: the form's default label style). Its height is 17
// unless auto-size fits it to its text; the text is centred vertically and
// may run past the box (it is not clipped). Labels take no hits.
//
// The text is laid out in the box less its text margins. A label that
// shrinks to fit draws its text in the largest whole pixel size, up to its
// font size and down to kMenorFonteQueCabe, whose text is no wider than that
// area. A halo draws a rim of its colour around the letters, so that they
// stand out from whatever lies behind.
class TLabel : public TElemento {
  Q_OBJECT

 public:
  static constexpr double kAlturaPadrao = 17;
  static constexpr double kLarguraPadrao = 120;
  static constexpr int kMenorFonteQueCabe = 7;

  explicit TLabel(TElemento* pai);

  QString text() const { return texto_; }
  void setText(const QString& texto);
  QString fontFamily() const { return familia_; }
  void setFontFamily(const QString& familia);
  // Size in pixels.
  double fontSize() const noexcept { return tamanhoFonte_; }
  void setFontSize(double tamanho);
  TEstilosFonte fontStyle() const noexcept { return estilo_; }
  void setFontStyle(TEstilosFonte estilo);
  TAlinhamento textAlign() const noexcept { return alinhamento_; }
  void setTextAlign(TAlinhamento alinhamento);
  bool wordWrap() const noexcept { return quebra_; }
  void setWordWrap(bool quebra);
  bool autoSize() const noexcept { return autoSize_; }
  void setAutoSize(bool autoSize);
  QString styleLookup() const { return estilo_nome_; }
  void setStyleLookup(const QString& nome);

  // Left and right margins of the text inside the box (default none).
  void setTextMargins(double esquerda, double direita);
  // The box less the text margins, in local coordinates.
  QRectF areaDoTexto() const;
  bool shrinkToFit() const noexcept { return encolhe_; }
  void setShrinkToFit(bool encolhe);
  // An invalid colour (the default) draws no halo.
  QColor halo() const { return halo_; }
  void setHalo(const QColor& cor);

  // The font as set; and the one the text is drawn in (smaller when it
  // shrinks to fit).
  QFont fonte() const;
  QFont fonteDesenhada() const;
  // The text colour the form's style book gives the label.
  QColor corDoTexto() const;

  void desenha(QPainter& painter) const override;
  QPainterPath forma() const override;
  bool desenhaAlgo() const override { return !texto_.isEmpty(); }

 private:
  void ajustaTamanho();

  QString texto_;
  QString familia_;
  double tamanhoFonte_ = 12;
  TEstilosFonte estilo_ = 0;
  TAlinhamento alinhamento_ = TAlinhamento::Inicio;
  bool quebra_ = false;
  bool autoSize_ = false;
  QString estilo_nome_;
  double margemEsquerda_ = 0, margemDireita_ = 0;
  bool encolhe_ = false;
  QColor halo_;
};

// A picture fitted inside the box, keeping its proportions, centred. A box
// that has no size yet takes the picture's own size when the picture is set.
class TImage : public TElemento {
  Q_OBJECT

 public:
  explicit TImage(TElemento* pai);

  const QPixmap& bitmap() const noexcept { return imagem_; }
  void setBitmap(const QPixmap& imagem);
  // The rectangle the picture covers inside the box.
  QRectF areaDaImagem() const;

  void desenha(QPainter& painter) const override;
  bool desenhaAlgo() const override { return !imagem_.isNull(); }

 private:
  QPixmap imagem_;
};

// The host of a tree of elements: a frameless, translucent top-level window
// whose input region follows what its elements draw.
class TFormTransparente : public QWidget {
  Q_OBJECT

 public:
  // The default label style: white text.
  static constexpr const char* kEstiloRotuloPadrao = "Labelstyle";

  explicit TFormTransparente(QWidget* parent = nullptr);
  ~TFormTransparente() override;

  // The top-level elements, in drawing order.
  std::vector<TElemento*> elementos() const;
  // The element that takes a hit at `ponto` (form coordinates), or nullptr.
  TElemento* elementoEm(const QPointF& ponto) const;
  // The element whose hint is the tooltip at `ponto` (form coordinates), or
  // nullptr.
  TElemento* elementoComHintEm(const QPointF& ponto) const;
  // The element the mouse is over, and the one that holds the mouse.
  TElemento* elementoSobMouse() const { return sobMouse_; }
  TElemento* elementoCapturado() const { return capturado_; }

  // What the visible elements draw, in form coordinates: also the window's
  // input region once the pending changes are applied.
  QRegion regiaoVisivel() const;
  // Applies pending changes now: input region and repaint.
  void aplicaAlteracoes();

  // Style book: the text colour of a named label style. An unknown or empty
  // name gives the default label style.
  void setCorDoEstilo(const QString& nome, const QColor& cor);
  QColor corDoEstilo(const QString& nome) const;

  // Runs an event handler; an exception leaving it is reported in an error
  // box and goes no further.
  void executaEvento(const std::function<void()>& handler);

  // Called by elements when they change.
  void elementoAlterado();
  // Called by an element being destroyed.
  void elementoDestruido(TElemento* elemento);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void atualizaSobMouse(TElemento* novo);
  void pintaElemento(QPainter& painter, const TElemento* elemento, double opacidade) const;

  QPointer<TElemento> sobMouse_;
  QPointer<TElemento> capturado_;
  QRegion regiaoAplicada_;
  bool mascaraAplicada_ = false;
  bool alteracaoPendente_ = false;
  bool destruindo_ = false;
  std::map<QString, QColor> estilos_;
};

}  // namespace margivo
