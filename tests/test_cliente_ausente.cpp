// A start-up on a machine without the Firebird client (Windows under Wine
// here, which has none): with complete database settings, the start-up
// stops at the connection with an error box that names the libraries it
// looked for, the system's reason for each as details, and ends the program
// with status 1, leaving the settings file as it was.
#include <gtest/gtest.h>

#include <QWidget>

#include "framework/config.h"
#include "framework/db/fbclient.h"
#include "framework/gui/inicializacao.h"
#include "tests/test_gadget_apoio.h"

namespace margivo {
namespace {

TEST(InicioSemCliente, MensagemNomeiaAsBibliotecasEProgramaTermina) {
  try {
    firebirdMaster();
    GTEST_SKIP() << "a Firebird client is installed here";
  } catch (const ClientLibraryError&) {
  }
  test::Aplicacao();
  test::TestConfigHome home;
  test::MensagensRegistradas mensagens;
  // As the ERP's settings tool writes it: Windows-1252, CRLF.
  home.writeIni(
      "[Configuracoes]\r\nLocRem=R\r\nServidor=servidor-erp\r\nProtocolo=0\r\n"
      "CaminhoBanco=C:\\ERP\\DADOS.FDB\r\nUsuario=SYSDBA\r\nSenha=masterkey\r\n"
      "Filial=S\xE3o Paulo\r\n\r\n[Trovesk]\r\nEmpresa=01\r\n");
  const QByteArray antes = home.readIni();
  QWidget form;
  form.setObjectName("frmRentabilidade");

  TInicializacao inic(form, "Trovesk", "VQM");
  EXPECT_EQ(inic.resultado(), TResultadoInicio::ClienteAusente);
  EXPECT_TRUE(inic.deveEncerrar());
  EXPECT_EQ(inic.codigoDeSaida(), 1);
  EXPECT_FALSE(inic.IniciandoGadget());
  EXPECT_EQ(inic.getConexao(), nullptr);
  ASSERT_NE(inic.getConfiguracao(), nullptr);
  EXPECT_EQ(inic.getConfiguracao()->Filial, "S\u00E3o Paulo");

  ASSERT_EQ(mensagens.lista.size(), 1u) << mensagens.textos();
  const auto& m = mensagens.lista[0];
  EXPECT_EQ(m.tipo, TipoMensagem::Erro);
  const QStringList bibliotecas = firebirdClientNames();
  EXPECT_EQ(m.texto, QStringLiteral("Não foi possível carregar a biblioteca cliente do Firebird "
                                    "(%1). Instale o cliente do Firebird usado pelo ERP, na "
                                    "versão de 64 bits.")
                         .arg(bibliotecas.join(", ")));
  const QStringList detalhes = m.detalhes.split('\n');
  ASSERT_EQ(detalhes.size(), bibliotecas.size()) << m.detalhes.toStdString();
  for (qsizetype i = 0; i < bibliotecas.size(); ++i)
    EXPECT_TRUE(detalhes[i].startsWith(bibliotecas[i] + ':')) << detalhes[i].toStdString();
  EXPECT_BYTES(antes, home.readIni());
}

}  // namespace
}  // namespace margivo
