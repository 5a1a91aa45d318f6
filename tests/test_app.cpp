// The host window in the program's own process (offscreen platform): its
// start-up, the first activation that creates, places and refreshes the
// gadget once, the window that takes clicks only where the gadget draws, and
// a start without database settings that ends after its warning.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <memory>

#include "app/frmrentabilidade.h"
#include "desktop/desktop.h"
#include "desktop/desktop_linux.h"
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

class Host : public ::testing::Test {
 protected:
  void SetUp() override {
    test::Aplicacao();
    setRegionalSettings(RegionalSettings::brazilian());
  }

  test::TestConfigHome home_;
  test::RuntimeDirTeste runtime_;
  test::MensagensRegistradas mensagens_;
};

TEST_F(Host, PrimeiraAtivacaoCriaPosicionaEAtualizaUmaVezSo) {
  test::TestDatabase db(test::kParametros);
  home_.writeIniText(test::arquivoIni(db.path(), "Empresa=01\nPeriodo=3\n"));
  TfrmRentabilidade frm;
  ASSERT_EQ(frm.Inic()->resultado(), TResultadoInicio::Sucesso) << mensagens_.textos();
  const QRect tela = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(frm.geometry(), tela);
  EXPECT_EQ(frm.objectName(), "frmRentabilidade");
  EXPECT_EQ(frm.Gadget(), nullptr);

  frm.show();
  ASSERT_TRUE(Aguarda([&] { return frm.Gadget() != nullptr; }));
  TRentabilidade* gadget = frm.Gadget();
  EXPECT_FALSE(frm.Inic()->IniciandoGadget());
  EXPECT_TRUE(frm.property("margivoForaDaBarraDeTarefas").toBool());
  // No saved position: the right edge on the screen's, 20 pixels down.
  EXPECT_EQ(gadget->rtgGadget->position(), QPointF(tela.width() - 388, 20));
  ASSERT_TRUE(Aguarda([&] { return !gadget->atualizando(); }));
  EXPECT_EQ(gadget->lblNomeFilial->text(), "LOJA CENTRO");
  EXPECT_EQ(gadget->lblValorVendaFat->text(), "0,00");
  EXPECT_TRUE(mensagens_.lista.empty()) << mensagens_.textos();
  EXPECT_TRUE(QFile::exists(linux_desktop::autostartFile("Rentabilidade")));

  // A later activation (a dialog closing) creates nothing.
  frm.FormActivate();
  EXPECT_EQ(frm.Gadget(), gadget);

  // The window takes the clicks only where the gadget draws.
  frm.aplicaAlteracoes();
  const QRegion mascara = frm.mask();
  const QPointF face = gadget->rtgPrincipal->retanguloNoForm().center();
  EXPECT_TRUE(mascara.contains(face.toPoint()));
  EXPECT_FALSE(mascara.contains(QPoint(10, tela.height() - 10)));
  EXPECT_FALSE(mascara.contains(QPoint(tela.width() - 10, tela.height() - 10)));
  EXPECT_EQ(frm.corDoEstilo("lblTituloStyle1"), QColor(0x00, 0x8B, 0x8B));
  EXPECT_EQ(frm.corDoEstilo("Labelstyle"), QColor(0xFF, 0xFF, 0xFF));
}

TEST_F(Host, PosicaoSalvaNoArquivo) {
  test::TestDatabase db(test::kParametros);
  home_.writeIniText(test::arquivoIni(db.path(), "PosX=-10\nPosY=300\nPeriodo=3\n"));
  TfrmRentabilidade frm;
  frm.show();
  ASSERT_TRUE(Aguarda([&] { return frm.Gadget() != nullptr && !frm.Gadget()->atualizando(); }));
  EXPECT_EQ(frm.Gadget()->rtgGadget->position(), QPointF(-10, 300));
}

TEST_F(Host, SemConfiguracaoDoBancoTerminaDepoisDoAviso) {
  home_.writeIniText("[Configuracoes]\nCaminhoBanco=/dados/erp.fdb\nUsuario=SYSDBA\nSenha=\n");
  {
    TfrmRentabilidade frm;
    EXPECT_EQ(frm.Inic()->resultado(), TResultadoInicio::ConfiguracaoIncompleta);
    ASSERT_EQ(mensagens_.lista.size(), 1u) << mensagens_.textos();
    // The program ends after the warning, status 0, never showing the window.
    EXPECT_TRUE(frm.Inic()->deveEncerrar());
    EXPECT_EQ(frm.Inic()->codigoDeSaida(), 0);
    frm.FormActivate();
    EXPECT_EQ(frm.Gadget(), nullptr);
    EXPECT_FALSE(QFile::exists(linux_desktop::autostartFile("Rentabilidade")));
  }
  // With the window gone the single-instance lock is free: the next start,
  // with the settings mended, runs.
  EXPECT_NE(desktop().VerificaExeAberto("frmRentabilidade"), nullptr);
}

TEST_F(Host, PosicaoSalvaInvalidaEReportadaEOGadgetSegueNoLugarPadrao) {
  test::TestDatabase db(test::kParametros);
  home_.writeIniText(test::arquivoIni(db.path(), "PosX=dez\nPosY=300\nPeriodo=3\n"));
  TfrmRentabilidade frm;
  frm.show();
  ASSERT_TRUE(Aguarda([&] { return frm.Gadget() != nullptr && !frm.Gadget()->atualizando(); }));
  ASSERT_EQ(mensagens_.lista.size(), 1u) << mensagens_.textos();
  EXPECT_TRUE(mensagens_.lista[0].texto.contains("\"PosX\"")) << mensagens_.textos();
  EXPECT_EQ(frm.Gadget()->rtgGadget->position(),
            QPointF(QGuiApplication::primaryScreen()->geometry().width() - 388, 20));
  EXPECT_EQ(frm.Gadget()->lblValorVendaFat->text(), "0,00") << "the first refresh ran";
}

}  // namespace
}  // namespace margivo
