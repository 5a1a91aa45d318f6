// TConfig: where the settings file is, which keys are read and written and in
// what order, the defaults of a start, and saves that keep the rest of the
// shared file as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "framework/config.h"
#include "framework/inifile.h"
#include "tests/support/testenv.h"

namespace margivo {
namespace {

using test::ScopedEnv;
using test::TestConfigHome;

// A setting of TConfig by its key name and the value every_key.ini gives it.
struct Property {
  const char* key;
  QString TConfig::*member;
  const char* value;
};

#ifdef _WIN32
// On Windows the file has the one place the ERP's settings tool writes it.
TEST(CaminhoArquivoConfig, FixedPlaceOnWindows) {
  const ScopedEnv xdg("XDG_CONFIG_HOME", "C:\\outro");
  EXPECT_EQ(CaminhoArquivoConfig(), "C:\\TempKZW\\ConfigGadGet.Ini");
  EXPECT_EQ(TConfig("Trovesk").arquivo(), "C:\\TempKZW\\ConfigGadGet.Ini");
}
#else
TEST(CaminhoArquivoConfig, FollowsXdgConfigHome) {
  struct Case {
    const char* name;
    QByteArray xdg;  // null: unset
    QString expected;
  };
  const Case cases[] = {
      {"set", "/srv/cfg", "/srv/cfg/TempKZW/ConfigGadGet.Ini"},
      {"set with trailing slash", "/srv/cfg/", "/srv/cfg/TempKZW/ConfigGadGet.Ini"},
      {"unset", QByteArray(), "/home/ana/.config/TempKZW/ConfigGadGet.Ini"},
      {"empty", "", "/home/ana/.config/TempKZW/ConfigGadGet.Ini"},
      {"relative, so ignored", "cfg", "/home/ana/.config/TempKZW/ConfigGadGet.Ini"},
  };
  const ScopedEnv home("HOME", "/home/ana");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
    EXPECT_EQ(CaminhoArquivoConfig(), c.expected);
    EXPECT_EQ(TConfig("Trovesk").arquivo(), c.expected);
  }
}
#endif

class TConfigTest : public ::testing::Test {
 protected:
  TestConfigHome home_;
};

TEST_F(TConfigTest, FirstStartAddsTheGadgetSectionWithItsDefaults) {
  home_.writeIniFromData("ini/no_gadget_section.ini");
  TConfig config("Trovesk");
  EXPECT_EQ(config.arquivo(), home_.iniPath());
  config.CarregarIni();
  EXPECT_EQ(config.CaminhoBanco, "/var/lib/erp/ERP.FDB");
  config.InstanciaVariaveis("VQM");
  config.SalvarIni();
  EXPECT_BYTES(
      "[Configuracoes]\n"
      "LocRem=L\n"
      "Servidor=\n"
      "Protocolo=0\n"
      "CaminhoBanco=/var/lib/erp/ERP.FDB\n"
      "Usuario=SYSDBA\n"
      "Senha=masterkey\n"
      "Filial=01\n"
      "[Trovesk]\n"
      "SempreVisivel=0\n"
      "Transparencia=100\n"
      "Empresa=00\n"
      "AtualizaDados=1\n"
      "PosX=\n"
      "PosY=\n"
      "IniWindows=1\n"
      "MostraPedidos=0\n"
      "PedidosImportados=0\n"
      "Modo=\n"
      "GadGet=\n",
      home_.readIni());
}

// The whole start-up cycle on a file shared with the settings tool and other
// gadgets: a blank MostraPedidos gets its default, a Periodo that is empty in
// memory keeps its line, and every other byte stays as it was.
TEST_F(TConfigTest, SaveKeepsTheSharedFile) {
  home_.writeIniFromData("ini/shared_file_crlf.ini");
  TConfig config("Trovesk");
  config.CarregarIni();
  EXPECT_EQ(config.SempreVisivel, "1");
  EXPECT_EQ(config.MostraPedidos, "");
  EXPECT_EQ(config.Periodo, "2");
  EXPECT_EQ(config.PosX, "-200");
  config.Periodo.clear();
  config.DataInicial.clear();
  config.InstanciaVariaveis("VQM");
  config.SalvarIni();
  EXPECT_BYTES(
      "; ConfigGadGet.Ini, written by the settings tool\r\n"
      "[Configuracoes]\r\n"
      "LocRem=R\r\n"
      "Servidor=srvloja\r\n"
      "Protocolo=0\r\n"
      "CaminhoBanco=D:\\ERP\\DADOS.GDB\r\n"
      "Usuario=SYSDBA\r\n"
      "Senha=masterkey\r\n"
      "Filial=01\r\n"
      "\r\n"
      "[OutroGadget]\r\n"
      "PosX=10\r\n"
      "Periodo=3\r\n"
      "MostraPedidos=\r\n"
      "\r\n"
      "[TROVESK]\r\n"
      "sempreVisivel = 1\r\n"
      "PosX=-200\r\n"
      "PosY=40\r\n"
      "Periodo=2\r\n"
      "MostraPedidos=0\r\n"
      "CorFundo=  azul ; not ours\r\n"
      "DataInicial=01/03/2024\r\n"
      "Transparencia=100\r\n"
      "Empresa=00\r\n"
      "AtualizaDados=1\r\n"
      "IniWindows=1\r\n"
      "PedidosImportados=0\r\n"
      "Modo=\r\n"
      "GadGet=\r\n"
      "\r\n"
      "; sales targets of the store\r\n"
      "[Vendas]\r\n"
      "Meta=1000\r\n",
      home_.readIni());

  TConfig again("Trovesk");
  again.CarregarIni();
  EXPECT_EQ(again.MostraPedidos, "0");
  EXPECT_EQ(again.Periodo, "2");
  EXPECT_EQ(again.DataInicial, "01/03/2024");
}

TEST_F(TConfigTest, CarregarIniReadsEveryKeyOfBothSections) {
  home_.writeIniFromData("ini/every_key.ini");
  const Property loaded[] = {
      {"LocRem", &TConfig::LocRem, "R"},
      {"Servidor", &TConfig::Servidor, "srv"},
      {"Protocolo", &TConfig::Protocolo, "2"},
      {"CaminhoBanco", &TConfig::CaminhoBanco, "/db/erp.fdb"},
      {"Usuario", &TConfig::Usuario, "ana"},
      {"Senha", &TConfig::Senha, "s3nha"},
      {"Filial", &TConfig::Filial, "07"},
      {"SempreVisivel", &TConfig::SempreVisivel, "1"},
      {"Transparencia", &TConfig::Transparencia, "60"},
      {"Empresa", &TConfig::Empresa, "03"},
      {"AtualizaDados", &TConfig::AtualizaDados, "5"},
      {"PosX", &TConfig::PosX, "-10"},
      {"PosY", &TConfig::PosY, "20"},
      {"TipoDeLucro", &TConfig::TipoDeLucro, "TL"},
      {"Listar", &TConfig::Listar, "LI"},
      {"Faturados", &TConfig::Faturados, "FA"},
      {"Margem", &TConfig::Margem, "MA"},
      {"Meta", &TConfig::Meta, "ME"},
      {"HoraIniExp", &TConfig::HoraIniExp, "08:00"},
      {"HoraFimExp", &TConfig::HoraFimExp, "18:00"},
      {"Devolucoes", &TConfig::Devolucoes, "DE"},
      {"Trocas", &TConfig::Trocas, "TR"},
      {"Pedidos", &TConfig::Pedidos, "PE"},
      {"TiposPedido", &TConfig::TiposPedido, "TP"},
      {"Modo", &TConfig::Modo, "MO"},
      {"FiltroData", &TConfig::FiltroData, "FD"},
      {"TipoVenda", &TConfig::TipoVenda, "TV"},
      {"DataInicial", &TConfig::DataInicial, "01/01/2024"},
      {"DataFinal", &TConfig::DataFinal, "31/12/2024"},
      {"Periodo", &TConfig::Periodo, "3"},
      {"MostraPedidos", &TConfig::MostraPedidos, "2"},
      {"PedidosImportados", &TConfig::PedidosImportados, "1"},
  };
  TConfig config("Trovesk");
  // Neither read nor written by this program: what memory holds stays.
  config.HoraIni = "keep";
  config.Dia = "keep";
  config.CarregarIni();
  for (const Property& p : loaded) {
    SCOPED_TRACE(p.key);
    EXPECT_EQ(config.*p.member, p.value);
  }
  EXPECT_EQ(config.HoraIni, "keep");
  EXPECT_EQ(config.HoraFim, "");
  EXPECT_EQ(config.Dia, "keep");
  EXPECT_EQ(config.Contas, "");  // ContasCaixa belongs to another gadget kind

  // A file without the gadget's keys clears every one of them.
  home_.writeIniFromData("ini/no_gadget_section.ini");
  config.CarregarIni();
  EXPECT_EQ(config.Usuario, "SYSDBA");
  for (const Property& p : loaded) {
    if ((&p - loaded) < 7) continue;
    SCOPED_TRACE(p.key);
    EXPECT_EQ(config.*p.member, "");
  }
}

TEST_F(TConfigTest, WithoutSectionOnlyTheDatabaseSectionIsRead) {
  home_.writeIniFromData("ini/every_key.ini");
  TConfig config;
  config.CarregarIni();
  EXPECT_EQ(config.Usuario, "ana");
  EXPECT_EQ(config.Filial, "07");
  EXPECT_EQ(config.Empresa, "");
  EXPECT_EQ(config.Transparencia, "");

  // And it has nowhere to save: nothing is written.
  const QByteArray before = home_.readIni();
  config.Empresa = "01";
  try {
    config.SalvarIni();
    FAIL() << "expected IniFileError";
  } catch (const IniFileError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot write settings file " + home_.iniPath().toStdString() +
                                         ": no gadget section to write the settings into");
  }
  EXPECT_BYTES(before, home_.readIni());
}

TEST_F(TConfigTest, SalvarIniWritesItsKeysInOrder) {
  home_.writeIni("[Configuracoes]\nUsuario=SYSDBA\n");
  TConfig config("Trovesk");
  int n = 0;
  for (QString TConfig::*member :
       {&TConfig::SempreVisivel, &TConfig::Transparencia, &TConfig::Empresa,
        &TConfig::TipoVenda,     &TConfig::Periodo,       &TConfig::AtualizaDados,
        &TConfig::PosX,          &TConfig::PosY,          &TConfig::IniWindows,
        &TConfig::DataInicial,   &TConfig::DataFinal,     &TConfig::TipoDeLucro,
        &TConfig::Listar,        &TConfig::Faturados,     &TConfig::Contas,
        &TConfig::Margem,        &TConfig::HoraIni,       &TConfig::HoraFim,
        &TConfig::Dia,           &TConfig::Modo,          &TConfig::FiltroData,
        &TConfig::Meta,          &TConfig::Devolucoes,    &TConfig::Trocas,
        &TConfig::Pedidos,       &TConfig::TiposPedido,   &TConfig::HoraIniExp,
        &TConfig::HoraFimExp,    &TConfig::MostraPedidos, &TConfig::PedidosImportados}) {
    config.*member = QString::number(++n);
  }
  config.SalvarIni();
  // HoraIni (17), HoraFim (18) and Dia (19) are never written; Contas goes
  // out as ContasCaixa.
  EXPECT_BYTES(
      "[Configuracoes]\nUsuario=SYSDBA\n"
      "[Trovesk]\n"
      "SempreVisivel=1\nTransparencia=2\nEmpresa=3\nAtualizaDados=6\nPosX=7\nPosY=8\n"
      "IniWindows=9\n"
      "TipoDeLucro=12\nListar=13\nFaturados=14\nContasCaixa=15\nMargem=16\nMeta=22\n"
      "HoraIniExp=27\nHoraFimExp=28\nDevolucoes=23\nTrocas=24\nPedidos=25\nTiposPedido=26\n"
      "TipoVenda=4\nFiltroData=21\nDataInicial=10\nDataFinal=11\nPeriodo=5\nMostraPedidos=29\n"
      "PedidosImportados=30\n"
      "Modo=20\nGadGet=\n",
      home_.readIni());
}

// Keys this program owns are written even when empty; the others keep their
// old line when empty in memory. An Empresa saved empty is "00" again at the
// next start.
TEST_F(TConfigTest, EmptyValuesAtASave) {
  home_.writeIni(
      "[Trovesk]\nEmpresa=01\nPosX=5\nModo=X\nPeriodo=2\nTipoVenda=9\nMostraPedidos=1\n"
      "GadGet=Outro\n");
  TConfig config("Trovesk");
  config.SalvarIni();
  EXPECT_BYTES(
      "[Trovesk]\nEmpresa=\nPosX=\nModo=\nPeriodo=2\nTipoVenda=9\nMostraPedidos=1\nGadGet=\n"
      "SempreVisivel=\nTransparencia=\nAtualizaDados=\nPosY=\nIniWindows=\n",
      home_.readIni());

  TConfig next("Trovesk");
  next.CarregarIni();
  EXPECT_EQ(next.Empresa, "");
  next.InstanciaVariaveis("VQM");
  EXPECT_EQ(next.Empresa, "00");
}

TEST_F(TConfigTest, InstanciaVariaveisFillsOnlyWhatIsMissing) {
  struct Value {
    QString TConfig::*member;
    const char* name;
    QString before;
    QString after;
  };
  struct Case {
    const char* name;
    const char* code;
    std::vector<Value> values;
  };
  const Case cases[] = {
      {"VQM, all empty",
       "VQM",
       {{&TConfig::IniWindows, "IniWindows", "", "1"},
        {&TConfig::Transparencia, "Transparencia", "", "100"},
        {&TConfig::AtualizaDados, "AtualizaDados", "", "1"},
        {&TConfig::SempreVisivel, "SempreVisivel", "", "0"},
        {&TConfig::MostraPedidos, "MostraPedidos", "", "0"},
        {&TConfig::PedidosImportados, "PedidosImportados", "", "0"},
        {&TConfig::Empresa, "Empresa", "", "00"},
        {&TConfig::Periodo, "Periodo", "", ""},
        {&TConfig::PosX, "PosX", "", ""},
        {&TConfig::PosY, "PosY", "", ""},
        {&TConfig::DataInicial, "DataInicial", "", ""},
        {&TConfig::DataFinal, "DataFinal", "", ""},
        {&TConfig::Modo, "Modo", "", ""}}},
      {"VQM, all set: only IniWindows changes",
       "VQM",
       {{&TConfig::IniWindows, "IniWindows", "0", "1"},
        {&TConfig::Transparencia, "Transparencia", "40", "40"},
        {&TConfig::AtualizaDados, "AtualizaDados", "10", "10"},
        {&TConfig::SempreVisivel, "SempreVisivel", "1", "1"},
        {&TConfig::MostraPedidos, "MostraPedidos", "2", "2"},
        {&TConfig::PedidosImportados, "PedidosImportados", "1", "1"},
        {&TConfig::Empresa, "Empresa", "03", "03"}}},
      {"blanks count as empty for MostraPedidos only",
       "VQM",
       {{&TConfig::MostraPedidos, "MostraPedidos", "   ", "0"},
        {&TConfig::Transparencia, "Transparencia", " ", " "}}},
      {"another gadget code: no Empresa default",
       "XYZ",
       {{&TConfig::IniWindows, "IniWindows", "", "1"},
        {&TConfig::Transparencia, "Transparencia", "", "100"},
        {&TConfig::MostraPedidos, "MostraPedidos", "", "0"},
        {&TConfig::Empresa, "Empresa", "", ""}}},
  };
  for (const Case& c : cases) {
    TConfig config("Trovesk");
    for (const Value& v : c.values) config.*v.member = v.before;
    config.InstanciaVariaveis(c.code);
    for (const Value& v : c.values) {
      SCOPED_TRACE(std::string(c.name) + ": " + v.name);
      EXPECT_EQ(config.*v.member, v.after);
    }
  }
}

TEST_F(TConfigTest, FailedSaveNamesTheFileAndKeepsIt) {
  home_.writeIniFromData("ini/shared_file_crlf.ini");
  const QByteArray before = home_.readIni();
  ASSERT_EQ(chmod(QFile::encodeName(home_.iniPath()).constData(), 0444), 0);
  TConfig config("Trovesk");
  config.CarregarIni();
  config.PosX = "300";
  try {
    config.SalvarIni();
    FAIL() << "expected IniFileError";
  } catch (const IniFileError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot write settings file " + home_.iniPath().toStdString() +
                                         ": the file is read-only");
  }
  EXPECT_BYTES(before, home_.readIni());
  EXPECT_EQ(config.PosX, "300");

#ifndef _WIN32
  // A failure in the middle of writing (file size limit: stops root too).
  ASSERT_EQ(chmod(QFile::encodeName(home_.iniPath()).constData(), 0644), 0);
  std::string message;
  {
    test::FailingFileWrites failing;
    try {
      config.SalvarIni();
    } catch (const IniFileError& e) {
      message = e.what();
    }
  }
  EXPECT_EQ(message,
            "cannot write settings file " + home_.iniPath().toStdString() + ": File too large");
  EXPECT_BYTES(before, home_.readIni());
#endif
}

TEST_F(TConfigTest, Windows1252FileStaysWindows1252) {
  home_.writeIniFromData("ini/windows1252.ini");
  TConfig config("Trovesk");
  config.CarregarIni();
  EXPECT_EQ(config.Filial, "S\u00E3o Paulo");
  EXPECT_EQ(config.Servidor, "Jo\u00E3o");
  config.InstanciaVariaveis("VQM");
  config.Modo = "Ger\u00EAncia";
  config.SalvarIni();
  EXPECT_BYTES(
      "[Configuracoes]\r\nFilial=S\xE3o Paulo\r\nServidor=Jo\xE3o\r\n"
      "[Trovesk]\r\nEmpresa=01\r\n"
      "SempreVisivel=0\r\nTransparencia=100\r\nAtualizaDados=1\r\nPosX=\r\nPosY=\r\n"
      "IniWindows=1\r\nMostraPedidos=0\r\nPedidosImportados=0\r\nModo=Ger\xEAncia\r\nGadGet=\r\n",
      home_.readIni());
}

TEST_F(TConfigTest, Utf8ByteOrderMarkStays) {
  home_.writeIniFromData("ini/utf8_bom.ini");
  TConfig config("Trovesk");
  config.CarregarIni();
  EXPECT_EQ(config.Filial, "S\u00E3o Paulo");
  EXPECT_EQ(config.Empresa, "01");
  config.InstanciaVariaveis("VQM");
  config.SalvarIni();
  EXPECT_BYTES(
      "\xEF\xBB\xBF[Configuracoes]\r\nFilial=S\xC3\xA3o Paulo\r\n"
      "[Trovesk]\r\nEmpresa=01\r\n"
      "SempreVisivel=0\r\nTransparencia=100\r\nAtualizaDados=1\r\nPosX=\r\nPosY=\r\n"
      "IniWindows=1\r\nMostraPedidos=0\r\nPedidosImportados=0\r\nModo=\r\nGadGet=\r\n",
      home_.readIni());
}

TEST_F(TConfigTest, MissingFileLoadsEmptySettings) {
  TConfig config("Trovesk");
  config.Usuario = "old";
  config.CarregarIni();
  EXPECT_EQ(config.Usuario, "");
  EXPECT_EQ(config.Empresa, "");
  EXPECT_EQ(config.RetornaContasCaixa(), "");
  EXPECT_FALSE(home_.iniExists());
}

TEST_F(TConfigTest, RetornaContasCaixaTakesTheFirstLineInAnySection) {
  home_.writeIniFromData("ini/contas_caixa.ini");
  EXPECT_EQ(TConfig("Trovesk").RetornaContasCaixa(), "11;12;15");
  home_.writeIniFromData("ini/no_gadget_section.ini");
  EXPECT_EQ(TConfig("Trovesk").RetornaContasCaixa(), "");
}

// The report tool's --config: another file, read and written instead of the
// user's own.
TEST_F(TConfigTest, ExplicitFileInsteadOfTheUsersOwn) {
  home_.writeIniFromData("ini/no_gadget_section.ini");
  const QByteArray userFile = home_.readIni();
  QTemporaryDir other;
  const QString path = other.path() + "/relatorio.ini";
  test::writeFileBytes(path, "[configuracoes]\nUsuario=relatorio\n[Trovesk]\nEmpresa=09\n");

  TConfig config("Trovesk", path);
  EXPECT_EQ(config.arquivo(), path);
  config.CarregarIni();
  EXPECT_EQ(config.Usuario, "relatorio");
  EXPECT_EQ(config.Empresa, "09");
  config.InstanciaVariaveis("VQM");
  config.SalvarIni();
  EXPECT_EQ(IniFile(path).readString("Trovesk", "IniWindows"), "1");
  EXPECT_BYTES(userFile, home_.readIni());
}

}  // namespace
}  // namespace margivo
