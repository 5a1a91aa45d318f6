#include "framework/gui/imagensicones.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <functional>

namespace margivo {
namespace {

// A transparent picture of `largura` x `altura` logical pixels, drawn at the
// screen's pixel ratio so it stays sharp on dense screens.
QPixmap Desenha(int largura, int altura, const std::function<void(QPainter&)>& desenho) {
  const qreal razao = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
  QPixmap imagem(QSize(std::lround(largura * razao), std::lround(altura * razao)));
  imagem.setDevicePixelRatio(razao);
  imagem.fill(Qt::transparent);
  QPainter p(&imagem);
  p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  desenho(p);
  return imagem;
}

const QColor kFundoBotao(0x2E, 0x3A, 0x3E, 0xE6);
const QColor kBordaBotao(0x6A, 0x7C, 0x80);
const QColor kSimbolo(0xF2, 0xF5, 0xF5);
const QColor kCiano(0x00, 0x8B, 0x8B);

// A caption-strip button: a dark rounded square with a light symbol.
QPixmap Botao(const QColor& fundo, const std::function<void(QPainter&)>& simbolo) {
  constexpr int lado = TImagensIcones::kLadoIcone;
  return Desenha(lado, lado, [&](QPainter& p) {
    p.setPen(QPen(kBordaBotao, 1));
    p.setBrush(fundo);
    p.drawRoundedRect(QRectF(1.5, 1.5, lado - 3, lado - 3), 4, 4);
    p.setPen(QPen(kSimbolo, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    simbolo(p);
  });
}

void Seta(QPainter& p, QPointF ponta, QPointF direcao) {
  const QPointF lado(-direcao.y(), direcao.x());
  p.drawLine(ponta, ponta - direcao * 2.5 + lado * 2.5);
  p.drawLine(ponta, ponta - direcao * 2.5 - lado * 2.5);
}

QPainterPath Engrenagem(QPointF centro, double raioExterno, double raioInterno, int dentes) {
  QPainterPath caminho;
  const int pontos = dentes * 4;
  for (int i = 0; i < pontos; ++i) {
    const double angulo = (i + 0.5) * 2 * M_PI / pontos;
    const double r = (i % 4 < 2) ? raioExterno : raioInterno;
    const QPointF ponto = centro + QPointF(std::cos(angulo), std::sin(angulo)) * r;
    if (i == 0)
      caminho.moveTo(ponto);
    else
      caminho.lineTo(ponto);
  }
  caminho.closeSubpath();
  return caminho;
}

}  // namespace

QPixmap TImagensIcones::ImagemGadget(int lado) {
  return Desenha(lado, lado, [lado](QPainter& p) {
    const double s = lado / 64.0;
    p.scale(s, s);
    QLinearGradient fundo(0, 64, 0, 0);
    fundo.setColorAt(0, QColor(0x00, 0x6B, 0x6B));
    fundo.setColorAt(1, QColor(0x20, 0xB0, 0xB0));
    p.setPen(Qt::NoPen);
    p.setBrush(fundo);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    // Bars of growing sales and the margin's trend over them.
    p.setBrush(QColor(255, 255, 255, 210));
    p.drawRect(QRectF(13, 38, 8, 14));
    p.drawRect(QRectF(25, 30, 8, 22));
    p.drawRect(QRectF(37, 22, 8, 30));
    p.setPen(QPen(QColor(0xFF, 0xD5, 0x4F), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath tendencia;
    tendencia.moveTo(11, 32);
    tendencia.lineTo(25, 24);
    tendencia.lineTo(35, 27);
    tendencia.lineTo(51, 12);
    p.drawPath(tendencia);
    p.drawLine(QPointF(51, 12), QPointF(44, 13));
    p.drawLine(QPointF(51, 12), QPointF(50, 19));
  });
}

TImagensIcones::TImagensIcones() {
  imgIcoFechar = Botao(QColor(0xA8, 0x32, 0x2A, 0xE6), [](QPainter& p) {
    p.drawLine(QPointF(8, 8), QPointF(15, 15));
    p.drawLine(QPointF(15, 8), QPointF(8, 15));
  });
  imgIcoMax = Botao(kFundoBotao, [](QPainter& p) {
    p.drawRect(QRectF(7, 7, 9, 9));
    p.drawLine(QPointF(7, 8), QPointF(16, 8));
  });
  imgIcoMin = Botao(kFundoBotao, [](QPainter& p) { p.drawLine(QPointF(7, 15), QPointF(16, 15)); });
  imgIcoConfig = Botao(kFundoBotao, [](QPainter& p) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(kSimbolo);
    QPainterPath roda = Engrenagem(QPointF(11.5, 11.5), 7, 5, 8);
    QPainterPath furo;
    furo.addEllipse(QPointF(11.5, 11.5), 2.2, 2.2);
    p.drawPath(roda.subtracted(furo));
    p.restore();
  });
  imgIcoAbout = Botao(kFundoBotao, [](QPainter& p) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(kSimbolo);
    p.drawEllipse(QPointF(11.5, 7), 1.6, 1.6);
    p.drawRoundedRect(QRectF(10.2, 10, 2.6, 7.5), 1, 1);
    p.restore();
  });
  imgIcoMover = Botao(kFundoBotao, [](QPainter& p) {
    p.setPen(QPen(kSimbolo, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(11.5, 5.5), QPointF(11.5, 17.5));
    p.drawLine(QPointF(5.5, 11.5), QPointF(17.5, 11.5));
    Seta(p, QPointF(11.5, 5.5), QPointF(0, -1));
    Seta(p, QPointF(11.5, 17.5), QPointF(0, 1));
    Seta(p, QPointF(5.5, 11.5), QPointF(-1, 0));
    Seta(p, QPointF(17.5, 11.5), QPointF(1, 0));
  });
  imgLogoCinzaMedio = Desenha(kLarguraLogo, kAlturaLogo, [](QPainter& p) {
    const QColor cinza(0x80, 0x80, 0x80);
    // A small diamond mark, then the maker's name.
    p.setPen(Qt::NoPen);
    p.setBrush(cinza);
    QPolygonF losango;
    losango << QPointF(6, 2.5) << QPointF(10.5, 8.5) << QPointF(6, 14.5) << QPointF(1.5, 8.5);
    p.drawPolygon(losango);
    p.setBrush(QColor(0xB4, 0xB4, 0xB4));
    QPolygonF brilho;
    brilho << QPointF(6, 5.5) << QPointF(8, 8.5) << QPointF(6, 11.5) << QPointF(4, 8.5);
    p.drawPolygon(brilho);
    QFont fonte(QStringLiteral("DejaVu Sans"));
    fonte.setPixelSize(9);
    fonte.setBold(true);
    fonte.setLetterSpacing(QFont::AbsoluteSpacing, -0.2);
    p.setFont(fonte);
    p.setPen(cinza);
    p.drawText(QRectF(12, 0, 41, 17), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("velmoor"));
  });
  for (int lado : {16, 22, 24, 32, 48, 64, 128}) MainIcon.addPixmap(ImagemGadget(lado));
}

TImagensIcones& ImagensIcones() {
  static TImagensIcones* instancia = new TImagensIcones;  // lives until the process ends
  return *instancia;
}

}  // namespace margivo
