// The host window when the screens change, in the program's own process: the
// offscreen platform's screens are reconfigured the way a monitor is added or
// removed or its resolution or scale changes, and the window must follow the
// primary screen and bring the gadget back within reach, saving where it put
// it.
#include <gtest/gtest.h>

#include <qpa/qplatformnativeinterface.h>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QScreen>
#include <functional>

#include "app/frmrentabilidade.h"
#include "framework/config.h"
#include "framework/gui/inicializacao.h"
#include "framework/regional.h"
#include "gadget/rentabilidade.h"
#include "tests/support/testdb.h"
#include "tests/test_gadget_apoio.h"
#include "tests/test_refresh_pedidos.h"

namespace margivo {
namespace {

using test::Aguarda;

// One screen of the offscreen platform. The platform tells its screens apart
// by name; its first screen is named "".
QJsonObject Tela(const char* nome, QRect geometria, int dpi = 96) {
  return {{"name", nome},
          {"x", geometria.x()},
          {"y", geometria.y()},
          {"width", geometria.width()},
          {"height", geometria.height()},
          {"logicalDpi", dpi},
          {"logicalBaseDpi", 96},
          {"dpr", 1.0}};
}

// Replaces the platform's screens, as the window system reports a change.
void DefineTelas(const QJsonArray& telas) {
  QPlatformNativeInterface* nativa = QGuiApplication::platformNativeInterface();
  ASSERT_NE(nativa, nullptr);
  using Configura = void (*)(const QJsonObject&, QPlatformNativeInterface*);
  auto configura =
      reinterpret_cast<Configura>(nativa->nativeResourceForIntegration("setConfiguration"));
  ASSERT_NE(configura, nullptr) << "the offscreen platform cannot change its screens";
  configura(QJsonObject{{"screens", telas}}, nativa);
}

class Telas : public ::testing::Test {
 protected:
  void SetUp() override {
    test::Aplicacao();
    setRegionalSettings(RegionalSettings::brazilian());
    DefineTelas({Tela("", kPrincipal)});
  }
  void TearDown() override { DefineTelas({Tela("", kPrincipal)}); }

  static constexpr QRect kPrincipal{0, 0, 800, 800};

  test::TestConfigHome home_;
  test::RuntimeDirTeste runtime_;
  test::MensagensRegistradas mensagens_;
};

TEST_F(Telas, UmaMudancaDeTelasTrazOGadgetDeVoltaESalvaAPosicao) {
  test::TestDatabase db(test::kParametros);
  // The panel (388 x 231) near the bottom right of the 800 x 800 screen.
  home_.writeIniText(test::arquivoIni(db.path(), "PosX=380\nPosY=500\nPeriodo=3\n"));
  TfrmRentabilidade frm;
  frm.show();
  ASSERT_TRUE(Aguarda([&] { return frm.Gadget() != nullptr && !frm.Gadget()->atualizando(); }));
  TRentabilidade* gadget = frm.Gadget();
  ASSERT_EQ(gadget->rtgGadget->position(), QPointF(380, 500));
  const auto salvo = [] {
    TConfig lido("Trovesk");
    lido.CarregarIni();
    return QPoint(lido.PosX.toInt(), lido.PosY.toInt());
  };

  // A smaller resolution leaves the panel off the screen's bottom: the
  // window shrinks with the screen and the panel comes back to its edges.
  const QRect menor(0, 0, 640, 480);
  DefineTelas({Tela("", menor)});
  ASSERT_TRUE(Aguarda([&] { return frm.geometry() == menor; }, 10000)) << "the window follows";
  ASSERT_TRUE(Aguarda([&] { return gadget->rtgGadget->position() != QPointF(380, 500); }, 10000));
  EXPECT_EQ(gadget->rtgGadget->position(), QPointF(640 - 388, 480 - 231));
  EXPECT_EQ(salvo(), QPoint(640 - 388, 480 - 231));

  // Every kind of change runs the same rule: with the panel left far off,
  // each brings it back onto the primary screen, whose place the window
  // keeps.
  const struct {
    const char* nome;
    QJsonArray telas;
  } mudancas[] = {
      {"a monitor added", {Tela("", menor), Tela("B", {640, 0, 1024, 768})}},
      {"its scale changed", {Tela("", menor), Tela("B", {640, 0, 1024, 768}, 192)}},
      {"the primary's scale changed", {Tela("", menor, 120), Tela("B", {640, 0, 1024, 768}, 192)}},
      {"the monitor removed", {Tela("", menor, 120)}},
  };
  for (const auto& m : mudancas) {
    gadget->rtgGadget->setPosition({3000, -900});
    DefineTelas(m.telas);
    EXPECT_TRUE(
        Aguarda([&] { return gadget->rtgGadget->position() != QPointF(3000, -900); }, 10000))
        << m.nome;
    // A scale above 100 % makes the screen smaller in the window's units.
    const QRect principal = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(frm.geometry(), principal) << m.nome;
    const QPoint borda(principal.right() + 1 - 388, principal.top());
    EXPECT_EQ(gadget->rtgGadget->position(), QPointF(borda)) << m.nome;
    EXPECT_EQ(salvo(), borda) << m.nome;
  }
  EXPECT_TRUE(mensagens_.lista.empty()) << mensagens_.textos();
}

}  // namespace
}  // namespace margivo
