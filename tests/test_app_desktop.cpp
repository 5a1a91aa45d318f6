// The desktop layer on a freedesktop.org desktop: the autostart entry and its
// command line, the per-user single-instance lock, and the window states
// that change only when they must (no blinking at every refresh).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <csignal>
#include <functional>
#include <memory>

#include "desktop/desktop.h"
#include "desktop/desktop_linux.h"
#include "tests/test_gadget_apoio.h"

namespace margivo {
namespace {

using namespace linux_desktop;

TEST(Autostart, LinhaExecAspasSoQuandoPrecisa) {
  const struct {
    const char* programa;
    const char* exec;
  } casos[] = {
      {"/opt/margivo/bin/margivo", "/opt/margivo/bin/margivo"},
      {"/home/ana/Meus Programas/margivo", "\"/home/ana/Meus Programas/margivo\""},
      {"/opt/$HOME/margivo", "\"/opt/\\\\$HOME/margivo\""},
      {"/opt/a\"b/margivo", "\"/opt/a\\\\\"b/margivo\""},
      {"/opt/a\\b/margivo", "\"/opt/a\\\\\\\\b/margivo\""},
      {"/opt/100%/margivo", "/opt/100%%/margivo"},
      {"/opt/ação/margivo", "/opt/ação/margivo"},
  };
  for (const auto& c : casos)
    EXPECT_EQ(execCommand(QString::fromUtf8(c.programa)).toStdString(), c.exec) << c.programa;
}

TEST(Autostart, EntradaGravadaNaConstrucaoERemovidaNoFechamento) {
  test::Aplicacao();
  test::TestConfigHome home;
  const QString arquivo = autostartFile("Rentabilidade");
  EXPECT_EQ(arquivo, home.dir() + "/autostart/Rentabilidade.desktop");
  desktop().IniciarComWindows("Rentabilidade", true);
  QFile f(arquivo);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QString conteudo = QString::fromUtf8(f.readAll());
  f.close();
  EXPECT_TRUE(conteudo.startsWith("[Desktop Entry]\n")) << conteudo.toStdString();
  EXPECT_TRUE(conteudo.contains("\nType=Application\n")) << conteudo.toStdString();
  EXPECT_TRUE(conteudo.contains("\nName=Rentabilidade\n")) << conteudo.toStdString();
  EXPECT_TRUE(
      conteudo.contains("\nExec=" + execCommand(QCoreApplication::applicationFilePath()) + "\n"))
      << conteudo.toStdString();
  EXPECT_TRUE(QDir::isAbsolutePath(QCoreApplication::applicationFilePath()));
  // Writing again at the next start replaces the entry.
  desktop().IniciarComWindows("Rentabilidade", true);
  EXPECT_EQ(QDir(home.dir() + "/autostart").entryList(QDir::Files).size(), 1);
  desktop().IniciarComWindows("Rentabilidade", false);
  EXPECT_FALSE(QFile::exists(arquivo));
  // Removing an entry that is not there is no error.
  EXPECT_NO_THROW(desktop().IniciarComWindows("Rentabilidade", false));
}

TEST(Autostart, UmaPastaQueNaoSeCriaENomeadaNoErro) {
  test::Aplicacao();
  test::TestConfigHome home;
  // A file where the autostart folder should be.
  test::writeFileBytes(home.dir() + "/autostart", "x");
  try {
    desktop().IniciarComWindows("Rentabilidade", true);
    ADD_FAILURE() << "no error";
  } catch (const DesktopError& e) {
    EXPECT_TRUE(QString::fromUtf8(e.what()).contains("Rentabilidade.desktop")) << e.what();
  }
}

// A write that fails keeps the entry there was, names the file and says what
// to do. The entry of an older installation is distinct from the one this
// program writes, so the test tells "kept" from "replaced".
TEST(Autostart, GravacaoQueFalhaMantemAEntradaAnterior) {
  test::Aplicacao();
  const QByteArray anterior =
      "[Desktop Entry]\nType=Application\nName=Rentabilidade\nExec=/opt/antigo/margivo\n";
  const struct {
    const char* caso;
    // Makes the write of the entry fail; returns what undoes it.
    std::function<std::function<void()>(const QString& pasta)> falha;
  } casos[] = {
      {"every write fails (as on a full disk)",
       [](const QString&) -> std::function<void()> {
         auto falhas = std::make_shared<test::FailingFileWrites>();
         return [falhas]() mutable { falhas.reset(); };
       }},
      {"the entry's name is taken by a folder",
       [](const QString& pasta) -> std::function<void()> {
         const QString entrada = pasta + "/Rentabilidade.desktop";
         QFile::remove(entrada);
         QDir().mkpath(entrada);
         return [] {};
       }},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.caso);
    test::TestConfigHome home;
    const QString pasta = home.dir() + "/autostart";
    const QString arquivo = autostartFile("Rentabilidade");
    test::writeFileBytes(arquivo, anterior);
    std::function<void()> desfaz = c.falha(pasta);
    QString mensagem;
    try {
      desktop().IniciarComWindows("Rentabilidade", true);
    } catch (const DesktopError& e) {
      mensagem = QString::fromUtf8(e.what());
    }
    desfaz();
    EXPECT_FALSE(mensagem.isEmpty()) << "the failed write was not reported";
    EXPECT_TRUE(mensagem.contains(arquivo)) << mensagem.toStdString();
    EXPECT_TRUE(mensagem.contains("Verifique")) << "says what to do: " << mensagem.toStdString();
    const QFileInfo info(arquivo);
    if (info.isFile()) {
      EXPECT_BYTES(anterior, test::readFileBytes(arquivo));
    }
    // Nothing of the attempt is left beside it.
    EXPECT_EQ(QDir(pasta).entryList(QDir::Files | QDir::Hidden).size(), info.isFile() ? 1 : 0)
        << QDir(pasta).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString();
  }
}

TEST(Autostart, XdgConfigHomeRelativoEIgnorado) {
  test::ScopedEnv xdg("XDG_CONFIG_HOME", "relativo/config");
  EXPECT_EQ(userConfigDir(), QDir::homePath() + "/.config");
}

TEST(InstanciaUnica, UmaSoTravaPorUsuarioAteSerLiberada) {
  test::Aplicacao();
  test::RuntimeDirTeste runtime;
  EXPECT_EQ(lockFilePath("frmRentabilidade"), runtime.path() + "/frmRentabilidade.lock");
  auto primeira = desktop().VerificaExeAberto("frmRentabilidade");
  ASSERT_NE(primeira, nullptr);
  EXPECT_EQ(desktop().VerificaExeAberto("frmRentabilidade"), nullptr);
  EXPECT_NE(desktop().VerificaExeAberto("outroGadget"), nullptr) << "one lock per name";
  primeira.reset();
  EXPECT_NE(desktop().VerificaExeAberto("frmRentabilidade"), nullptr);
}

TEST(InstanciaUnica, TravaDeUmProcessoQueJaTerminouNaoImpede) {
  test::Aplicacao();
  test::RuntimeDirTeste runtime;
  // A lock file left by a process that is gone: its pid, no holder.
  const qint64 pid = 999999;
  ASSERT_NE(::kill(static_cast<pid_t>(pid), 0), 0) << "pid " << pid << " is running";
  test::writeFileBytes(
      lockFilePath("frmRentabilidade"),
      QByteArray::number(pid) + "\nmargivo\n" + QSysInfo::machineHostName().toUtf8() + "\n");
  EXPECT_NE(desktop().VerificaExeAberto("frmRentabilidade"), nullptr);
}

TEST(Janela, SempreVisivelEBarraDeTarefasMudamUmaVezSo) {
  test::Aplicacao();
  QWidget janela;
  desktop().setAlwaysOnTop(&janela, true);
  EXPECT_TRUE(janela.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  desktop().setAlwaysOnTop(&janela, false);
  EXPECT_FALSE(janela.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  desktop().EscondeBarraTarefa(&janela);
  EXPECT_TRUE(janela.property("margivoForaDaBarraDeTarefas").toBool());
  // Without a notification area (the offscreen platform has none) the icon
  // is skipped quietly.
  desktop().CriaIcone(&janela, "Rentabilidade");
  EXPECT_FALSE(desktop().iconVisible());
  desktop().DestroiIcone();
}

}  // namespace
}  // namespace margivo
