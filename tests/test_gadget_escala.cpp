// The face at 200 % scale (QT_SCALE_FACTOR=2, offscreen platform): drawn at
// the screen's pixel density, not drawn at 100 % and enlarged. The sharpness
// is measured on the pixels: the edges of the figures' text and of the strip's
// icons, drawn at 2x, must change from one colour to the next within a pixel,
// where a 1x drawing enlarged to the same size spreads each edge over two.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <cmath>
#include <memory>

#include "framework/gui/imagensicones.h"
#include "gadget/rentabilidade.h"
#include "tests/test_gadget_apoio.h"

namespace margivo {
namespace {

// Neighbouring pixels (across and down) of `imagem` within `area` whose grey
// levels differ by at least 128 of 255: the steep steps of sharp edges.
int BordasAbruptas(const QImage& imagem, const QRect& area) {
  int bordas = 0;
  const auto cinza = [&](int x, int y) { return qGray(imagem.pixel(x, y)); };
  for (int y = area.top(); y < area.bottom(); ++y)
    for (int x = area.left(); x < area.right(); ++x) {
      if (std::abs(cinza(x, y) - cinza(x + 1, y)) >= 128) ++bordas;
      if (std::abs(cinza(x, y) - cinza(x, y + 1)) >= 128) ++bordas;
    }
  return bordas;
}

class Escala : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Before the application exists: it reads the scale once.
    qputenv("QT_SCALE_FACTOR", "2");
    test::Aplicacao();
  }
  void SetUp() override {
    form_ = std::make_unique<TFormTransparente>();
    form_->resize(420, 260);
    form_->setCorDoEstilo(kEstiloTitulo, QColor(0x00, 0x8B, 0x8B));
    gadget_ = std::make_unique<TRentabilidade>(form_.get());
    gadget_->rtgGadget->setPosition({10, 20});
    gadget_->lblValorVendaFat->setText("27.038.035,31");
    gadget_->lblValorMrgBruta->setText("23.254,64");
    gadget_->rtgMenu->setVisible(true);
  }
  void TearDown() override {
    gadget_.reset();
    form_.reset();
  }

  // The form drawn as the screen shows it, and drawn at 1x then enlarged to
  // the same size.
  QImage naTela() const { return form_->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  QImage umXAmpliado() const {
    QImage um(form_->size(), QImage::Format_ARGB32_Premultiplied);
    um.setDevicePixelRatio(1);
    um.fill(Qt::black);
    form_->render(&um);
    return um.scaled(form_->size() * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB32);
  }
  // An element's box on the 2x image.
  static QRect NaImagem(const TElemento& e) {
    const QRectF r = e.retanguloNoForm();
    return QRect(std::lround(r.x() * 2), std::lround(r.y() * 2), std::lround(r.width() * 2),
                 std::lround(r.height() * 2));
  }

  std::unique_ptr<TFormTransparente> form_;
  std::unique_ptr<TRentabilidade> gadget_;
};

TEST_F(Escala, AFaceEDesenhadaNaDensidadeDaTela) {
  ASSERT_DOUBLE_EQ(form_->devicePixelRatioF(), 2);
  const QPixmap tela = form_->grab();
  EXPECT_DOUBLE_EQ(tela.devicePixelRatio(), 2);
  EXPECT_EQ(tela.size(), form_->size() * 2) << "one image pixel per screen pixel";

  // The pictures are drawn for the density too.
  const TImagensIcones& imagens = ImagensIcones();
  for (const QPixmap* p :
       {&imagens.imgIcoFechar, &imagens.imgIcoConfig, &imagens.imgLogoCinzaMedio}) {
    EXPECT_DOUBLE_EQ(p->devicePixelRatio(), 2);
    EXPECT_EQ(p->deviceIndependentSize().toSize(), p->size() / 2);
  }
}

TEST_F(Escala, TextoEIconesTemBordasNitidas) {
  const QImage nitida = naTela();
  const QImage ampliada = umXAmpliado();
  ASSERT_EQ(nitida.size(), ampliada.size());
  const struct {
    const char* nome;
    QRect area;
  } areas[] = {
      {"a figure", NaImagem(*gadget_->lblValorVendaFat).adjusted(-4, -8, 4, 8)},
      {"a total", NaImagem(*gadget_->lblValorMrgBruta).adjusted(-4, -8, 4, 8)},
      {"the title", NaImagem(*gadget_->lblTitGadget)},
      {"the close button", NaImagem(*gadget_->rtgFechar)},
      {"the settings button", NaImagem(*gadget_->rtgConfig)},
  };
  for (const auto& a : areas) {
    const QRect area = a.area.intersected(nitida.rect());
    ASSERT_FALSE(area.isEmpty()) << a.nome;
    const int bordasNitidas = BordasAbruptas(nitida, area);
    const int bordasAmpliadas = BordasAbruptas(ampliada, area);
    EXPECT_GT(bordasNitidas, 10) << a.nome;
    EXPECT_GT(bordasNitidas, bordasAmpliadas * 3 / 2)
        << a.nome << ": " << bordasNitidas << " steep edges against " << bordasAmpliadas
        << " in the enlarged 1x drawing";
  }
}

}  // namespace
}  // namespace margivo
