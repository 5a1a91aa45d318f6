// The start-up's outcomes and their messages, on real settings files and a
// real database file: a second copy, a missing file, incomplete database
// settings, a connection that cannot be made, and a file whose gadget
// section is missing (filled with the defaults, in their order), a file that
// needs no default (left untouched).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/gui/inicializacao.h"
#include "framework/shutdown.h"
#include "tests/support/testdb.h"
#include "tests/test_gadget_apoio.h"

namespace margivo {
namespace {

class Inicio : public ::testing::Test {
 protected:
  void SetUp() override { form_.setObjectName("frmRentabilidade"); }

  std::unique_ptr<TInicializacao> inicia() {
    return std::make_unique<TInicializacao>(form_, "Trovesk", "VQM");
  }

  QApplication& app_ = test::Aplicacao();  // before any widget
  test::TestConfigHome home_;
  test::RuntimeDirTeste runtime_;
  test::MensagensRegistradas mensagens_;
  QWidget form_;
};

TEST_F(Inicio, SemArquivoDeConfiguracao) {
  const auto inic = inicia();
  EXPECT_EQ(inic->resultado(), TResultadoInicio::ArquivoAusente);
  ASSERT_EQ(mensagens_.lista.size(), 1u);
  EXPECT_EQ(mensagens_.lista[0].tipo, TipoMensagem::Aviso);
  EXPECT_EQ(mensagens_.lista[0].texto,
            "Gadgets não configuradas!\r\nInforme as configurações em \"Kelvara\".");
  EXPECT_TRUE(inic->deveEncerrar());
  EXPECT_NE(inic->codigoDeSaida(), 0);
  EXPECT_FALSE(inic->IniciandoGadget());
  EXPECT_EQ(inic->getConfiguracao(), nullptr);
  EXPECT_EQ(inic->getConexao(), nullptr);
  EXPECT_FALSE(home_.iniExists()) << "no file is written";
}

TEST_F(Inicio, ConfiguracoesDoBancoIncompletas) {
  const char* casos[] = {
      "[Configuracoes]\nServidor=srv\nCaminhoBanco=/dados/erp.fdb\nUsuario=SYSDBA\nSenha=\n",
      "[Configuracoes]\nCaminhoBanco=\nUsuario=SYSDBA\nSenha=x\n",
      "[Configuracoes]\nCaminhoBanco=/dados/erp.fdb\nSenha=x\n[Trovesk]\nEmpresa=01\n",
  };
  for (const char* ini : casos) {
    SCOPED_TRACE(ini);
    mensagens_.lista.clear();
    home_.writeIniText(QString::fromUtf8(ini));
    const QByteArray antes = home_.readIni();
    const auto inic = inicia();
    EXPECT_EQ(inic->resultado(), TResultadoInicio::ConfiguracaoIncompleta);
    ASSERT_EQ(mensagens_.lista.size(), 1u);
    EXPECT_EQ(mensagens_.lista[0].tipo, TipoMensagem::Aviso);
    EXPECT_EQ(mensagens_.lista[0].texto,
              "Configurações do banco de dados não informadas corretamente!\r\n"
              "Configure-as em \"Kelvara\".");
    // The program ends after its message, status 0: without a gadget it
    // could do nothing but hold the single-instance lock.
    EXPECT_TRUE(inic->deveEncerrar());
    EXPECT_EQ(inic->codigoDeSaida(), 0);
    EXPECT_FALSE(inic->IniciandoGadget());
    EXPECT_NE(inic->getConfiguracao(), nullptr);
    EXPECT_EQ(inic->getConexao(), nullptr);
    EXPECT_EQ(home_.readIni(), antes) << "the file is not written";
  }
}

TEST_F(Inicio, ConexaoQueNaoSeFaz) {
  home_.writeIniText(
      "[Configuracoes]\nLocRem=L\nCaminhoBanco=/nao/existe/erp.fdb\nUsuario=SYSDBA\n"
      "Senha=masterkey\n");
  const QByteArray antes = home_.readIni();
  const auto inic = inicia();
  EXPECT_EQ(inic->resultado(), TResultadoInicio::FalhaConexao);
  ASSERT_EQ(mensagens_.lista.size(), 1u);
  EXPECT_EQ(mensagens_.lista[0].tipo, TipoMensagem::Simples);
  // Which database, and what to check where.
  EXPECT_TRUE(mensagens_.lista[0].texto.startsWith(
      "Não foi possível conectar ao banco de dados \"/nao/existe/erp.fdb\""))
      << mensagens_.textos();
  EXPECT_TRUE(mensagens_.lista[0].texto.contains("CaminhoBanco")) << mensagens_.textos();
  EXPECT_TRUE(mensagens_.lista[0].texto.contains(home_.iniPath())) << mensagens_.textos();
  // Why, in the database's own words, in the details and not in the text.
  EXPECT_TRUE(
      mensagens_.lista[0].detalhes.contains("cannot attach to database /nao/existe/erp.fdb"))
      << mensagens_.textos();
  EXPECT_FALSE(mensagens_.lista[0].texto.contains("cannot attach")) << mensagens_.textos();
  EXPECT_TRUE(inic->deveEncerrar());
  EXPECT_NE(inic->codigoDeSaida(), 0);
  EXPECT_EQ(inic->getConexao(), nullptr);
  EXPECT_EQ(home_.readIni(), antes) << "the defaults are not written";
}

TEST_F(Inicio, SecaoDoGadgetAusenteRecebeOsPadroesNaOrdem) {
  test::TestDatabase db;
  home_.writeIniText(QStringLiteral("[Configuracoes]\r\nLocRem=L\r\nServidor=\r\nProtocolo=0\r\n"
                                    "CaminhoBanco=%1\r\nUsuario=SYSDBA\r\nSenha=masterkey\r\n"
                                    "Filial=01\r\n\r\n[OutroGadget]\r\nEmpresa=07\r\n")
                         .arg(db.path()));
  const auto inic = inicia();
  EXPECT_EQ(inic->resultado(), TResultadoInicio::Sucesso) << mensagens_.textos();
  EXPECT_TRUE(mensagens_.lista.empty()) << mensagens_.textos();
  EXPECT_TRUE(inic->IniciandoGadget());
  EXPECT_FALSE(inic->deveEncerrar());
  ASSERT_NE(inic->getConexao(), nullptr);
  EXPECT_EQ(inic->getConexao()->nomeBanco(), db.path());
  EXPECT_EQ(inic->getConexao()->tentativasUltimaConexao(), 1) << "the database was reached";
  EXPECT_FALSE(inic->getConexao()->conectado()) << "local mode holds the file only in use";
  const QString ini = QString::fromUtf8(home_.readIni());
  EXPECT_TRUE(ini.contains("[OutroGadget]\r\nEmpresa=07\r\n")) << ini.toStdString();
  const qsizetype secao = ini.indexOf("[Trovesk]");
  ASSERT_GE(secao, 0) << ini.toStdString();
  const QStringList linhas = ini.mid(secao).split("\r\n", Qt::SkipEmptyParts);
  EXPECT_EQ(linhas, (QStringList{"[Trovesk]", "SempreVisivel=0", "Transparencia=100", "Empresa=00",
                                 "AtualizaDados=1", "PosX=", "PosY=", "IniWindows=1",
                                 "MostraPedidos=0", "PedidosImportados=0", "Modo=", "GadGet="}))
      << ini.toStdString();
}

// The file's modification time, in seconds.
time_t modificadoEm(const QString& caminho) {
  struct stat st {};
  if (stat(QFile::encodeName(caminho).constData(), &st) != 0) return -1;
  return st.st_mtime;
}

// A start whose settings need no default leaves the shared file alone, bytes
// and modification time; a start that fills a default (or turns IniWindows
// back to 1) writes it.
TEST_F(Inicio, SoGravaOArquivoQuandoUmValorMuda) {
  test::TestDatabase db;
  const QString completa =
      QStringLiteral(
          "[Configuracoes]\r\nLocRem=L\r\nCaminhoBanco=%1\r\nUsuario=SYSDBA\r\nSenha=masterkey\r\n"
          "\r\n[Trovesk]\r\nSempreVisivel=0\r\nTransparencia=80\r\nEmpresa=01\r\n"
          "AtualizaDados=5\r\nPosX=10\r\nPosY=20\r\nIniWindows=1\r\nPeriodo=2\r\n"
          "MostraPedidos=2\r\nPedidosImportados=0\r\nModo=\r\nGadGet=\r\n")
          .arg(db.path());
  struct Caso {
    const char* nome;
    const char* trocar;  // a line of the complete file
    const char* por;     // what it becomes ("" removes it)
    const char* depois;  // the line the start leaves; nullptr: no write
  };
  const Caso casos[] = {
      {"completa", "", "", nullptr},
      {"fechada pelo botao", "IniWindows=1\r\n", "IniWindows=0\r\n", "IniWindows=1"},
      {"sem Transparencia", "Transparencia=80\r\n", "", "Transparencia=100"},
      {"Empresa vazia", "Empresa=01\r\n", "Empresa=\r\n", "Empresa=00"},
      {"MostraPedidos em branco", "MostraPedidos=2\r\n", "MostraPedidos=  \r\n", "MostraPedidos=0"},
      {"sem Modo", "Modo=\r\n", "", "Modo="},
  };
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.nome);
    QString texto = completa;
    if (*caso.trocar != '\0') {
      ASSERT_TRUE(texto.contains(caso.trocar));
      texto.replace(caso.trocar, caso.por);
    }
    home_.writeIniText(texto);
    // An hour back, so that a rewrite shows even within the same second.
    const time_t antigo = modificadoEm(home_.iniPath()) - 3600;
    const utimbuf horas{antigo, antigo};
    ASSERT_EQ(utime(QFile::encodeName(home_.iniPath()).constData(), &horas), 0);
    const QByteArray antes = home_.readIni();
    {
      const auto inic = inicia();
      ASSERT_EQ(inic->resultado(), TResultadoInicio::Sucesso) << mensagens_.textos();
    }
    EXPECT_TRUE(mensagens_.lista.empty()) << mensagens_.textos();
    if (caso.depois == nullptr) {
      EXPECT_BYTES(antes, home_.readIni());
      EXPECT_EQ(modificadoEm(home_.iniPath()), antigo);
    } else {
      EXPECT_NE(modificadoEm(home_.iniPath()), antigo);
      const QStringList linhas = QString::fromUtf8(home_.readIni()).split("\r\n");
      EXPECT_TRUE(linhas.contains(caso.depois)) << home_.readIni().toStdString();
    }
  }
}

TEST_F(Inicio, SegundaCopiaTerminaEmSilencio) {
  test::TestDatabase db;
  home_.writeIniText(QStringLiteral("[Configuracoes]\nCaminhoBanco=%1\nUsuario=SYSDBA\n"
                                    "Senha=masterkey\n")
                         .arg(db.path()));
  const auto primeira = inicia();
  ASSERT_EQ(primeira->resultado(), TResultadoInicio::Sucesso) << mensagens_.textos();
  const QByteArray depoisDaPrimeira = home_.readIni();

  const auto segunda = inicia();
  EXPECT_EQ(segunda->resultado(), TResultadoInicio::OutraCopia);
  EXPECT_TRUE(segunda->deveEncerrar());
  EXPECT_EQ(segunda->codigoDeSaida(), 0);
  EXPECT_TRUE(mensagens_.lista.empty()) << mensagens_.textos();
  EXPECT_EQ(segunda->getConfiguracao(), nullptr) << "no file access";
  EXPECT_EQ(home_.readIni(), depoisDaPrimeira);
  EXPECT_NE(primeira->getConexao(), nullptr) << "the running copy is not affected";
  EXPECT_NO_THROW(ScopedAttachment{*primeira->getConexao()}) << "and reaches its database";
}

TEST_F(Inicio, ArquivoQueNaoSeLeEncerraComOErro) {
  // A directory where the file should be: it exists but cannot be read.
  ASSERT_TRUE(QDir().mkpath(home_.iniPath()));
  const auto inic = inicia();
  EXPECT_EQ(inic->resultado(), TResultadoInicio::ErroConfiguracao);
  ASSERT_EQ(mensagens_.lista.size(), 1u);
  EXPECT_EQ(mensagens_.lista[0].tipo, TipoMensagem::Erro);
  EXPECT_TRUE(mensagens_.lista[0].texto.contains("ConfigGadGet.Ini")) << mensagens_.textos();
  EXPECT_TRUE(inic->deveEncerrar());
}

TEST_F(Inicio, PadroesQueNaoSeGravamSaoReportadosEOGadgetSegue) {
  test::TestDatabase db;
  home_.writeIniText(QStringLiteral("[Configuracoes]\nCaminhoBanco=%1\nUsuario=SYSDBA\n"
                                    "Senha=masterkey\n")
                         .arg(db.path()));
  const QByteArray antes = home_.readIni();
  std::unique_ptr<TInicializacao> inic;
  {
    test::FailingFileWrites falha;
    inic = inicia();
  }
  EXPECT_EQ(inic->resultado(), TResultadoInicio::Sucesso);
  EXPECT_TRUE(inic->IniciandoGadget());
  ASSERT_EQ(mensagens_.lista.size(), 1u);
  EXPECT_EQ(mensagens_.lista[0].tipo, TipoMensagem::Erro);
  EXPECT_EQ(inic->getConfiguracao()->Transparencia, "100") << "the defaults hold in memory";
  EXPECT_EQ(home_.readIni(), antes);
}

// The end of the program asked for (a signal) while a start-up box is open:
// the box closes (its loop ends) and the start-up ends there, status 0,
// showing nothing more and writing nothing.
TEST_F(Inicio, PedidoDeEncerramentoComUmaCaixaAbertaTerminaSemMaisNada) {
  const struct {
    const char* caso;
    std::function<void(test::TestConfigHome&)> prepara;
  } casos[] = {
      {"settings file missing", [](test::TestConfigHome&) {}},
      {"settings file unreadable",
       [](test::TestConfigHome& home) { QDir().mkpath(home.iniPath()); }},
      {"database settings incomplete",
       [](test::TestConfigHome& home) {
         home.writeIniText("[Configuracoes]\nCaminhoBanco=/dados/erp.fdb\nUsuario=SYSDBA\n");
       }},
      {"no connection",
       [](test::TestConfigHome& home) {
         home.writeIniText(
             "[Configuracoes]\nLocRem=L\nCaminhoBanco=/nao/existe/erp.fdb\nUsuario=SYSDBA\n"
             "Senha=masterkey\n");
       }},
  };
  for (const auto& c : casos) {
    SCOPED_TRACE(c.caso);
    test::TestConfigHome home;
    test::MensagensRegistradas mensagens;
    c.prepara(home);
    const bool existia = QFileInfo::exists(home.iniPath());
    const QByteArray antes = QFileInfo(home.iniPath()).isFile() ? home.readIni() : QByteArray();
    mensagens.aoMostrar = [] { requestShutdown(); };
    const auto inic = inicia();
    clearShutdownRequest();
    EXPECT_EQ(inic->resultado(), TResultadoInicio::Interrompido);
    EXPECT_EQ(mensagens.lista.size(), 1u) << mensagens.textos();
    EXPECT_TRUE(inic->deveEncerrar());
    EXPECT_EQ(inic->codigoDeSaida(), 0);
    EXPECT_FALSE(inic->IniciandoGadget());
    EXPECT_EQ(QFileInfo::exists(home.iniPath()), existia);
    if (QFileInfo(home.iniPath()).isFile()) {
      EXPECT_EQ(home.readIni(), antes);
    }
  }
}

// Asked for while the connection attempts run: they stop, and the failure
// they leave is no failure to report.
TEST_F(Inicio, PedidoDeEncerramentoDuranteAsTentativasDeConexao) {
  home_.writeIniText(
      "[Configuracoes]\nLocRem=L\nCaminhoBanco=/nao/existe/erp.fdb\nUsuario=SYSDBA\n"
      "Senha=masterkey\n");
  const QByteArray antes = home_.readIni();
  std::thread sinal([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    requestShutdown();
  });
  const auto inic = inicia();
  sinal.join();
  clearShutdownRequest();
  EXPECT_EQ(inic->resultado(), TResultadoInicio::Interrompido);
  EXPECT_TRUE(mensagens_.lista.empty()) << mensagens_.textos();
  EXPECT_EQ(inic->codigoDeSaida(), 0);
  EXPECT_EQ(inic->getConexao(), nullptr);
  EXPECT_EQ(home_.readIni(), antes);
}

}  // namespace
}  // namespace margivo
