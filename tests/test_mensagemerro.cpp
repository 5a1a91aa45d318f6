// What the user reads about a failure: for real failures of the database
// (a missing file, a server that does not answer, a missing table, a user
// without permission, a connection the server cut), of the settings file
// and of the calculation, a Portuguese sentence naming what failed, why and
// what to do, and the engine's own words and the statement kept apart as
// details.
#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/db/database.h"
#include "framework/db/query.h"
#include "framework/mensagemerro.h"
#include "framework/regional.h"
#include "gadget/atualizacao.h"
#include "gadget/errosatualizacao.h"
#include "gadget/periodo.h"
#include "tests/support/testdb.h"
#include "tests/support/testenv.h"
#include "tests/test_refresh_pedidos.h"

namespace margivo {
namespace {

using test::item;
using test::pedido;

// What `acao` threw; a test failure when it threw nothing.
std::exception_ptr ErroDe(const std::function<void()>& acao) {
  try {
    acao();
  } catch (...) {
    return std::current_exception();
  }
  ADD_FAILURE() << "nothing was thrown";
  return nullptr;
}

std::string Mostra(const MensagemErro& m) {
  return "texto: " + m.texto.toStdString() + "\ndetalhes: " + m.detalhes.toStdString();
}

// The engine's and the statement's words that never belong in the main text.
const char* const kPalavrasTecnicas[] = {"SELECT",  "statement", "error", "Error",
                                         "unknown", "attach",    "I/O",   "Dynamic SQL"};

void EsperaTextoParaOUsuario(const MensagemErro& m) {
  EXPECT_TRUE(m.texto.startsWith(QStringLiteral("Não foi possível"))) << Mostra(m);
  for (const char* palavra : kPalavrasTecnicas)
    EXPECT_FALSE(m.texto.contains(QLatin1String(palavra))) << palavra << "\n" << Mostra(m);
}

class MensagemDoBanco : public ::testing::Test {
 protected:
  MensagemDoBanco() : config_("Trovesk", QStringLiteral("/etc/margivo/ConfigGadGet.Ini")) {
    config_.LocRem = "L";
    config_.Usuario = "SYSDBA";
    config_.Senha = "masterkey";
  }
  TConfig config_;
};

TEST_F(MensagemDoBanco, ArquivoQueNaoExiste) {
  QTemporaryDir dir;
  config_.CaminhoBanco = dir.filePath("nada.fdb");
  const MensagemErro m = descreveErro(ErroDe([&] {
                                        Database banco;
                                        banco.attach(config_.CaminhoBanco, "SYSDBA", "masterkey");
                                      }),
                                      &config_);
  EsperaTextoParaOUsuario(m);
  EXPECT_TRUE(
      m.texto.startsWith(QStringLiteral("Não foi possível conectar ao banco de dados \"%1\"")
                             .arg(config_.CaminhoBanco)))
      << Mostra(m);
  EXPECT_TRUE(m.texto.contains("não foi encontrado")) << Mostra(m);
  EXPECT_TRUE(m.texto.contains("CaminhoBanco")) << Mostra(m);
  EXPECT_TRUE(m.texto.contains("/etc/margivo/ConfigGadGet.Ini")) << Mostra(m);
  EXPECT_TRUE(m.detalhes.contains("I/O error")) << Mostra(m);
}

TEST_F(MensagemDoBanco, ServidorQueNaoResponde) {
  // Nothing listens on port 1 of this machine.
  config_.LocRem = "R";
  config_.Protocolo = "0";
  config_.Servidor = "127.0.0.1/1";
  config_.CaminhoBanco = "/dados/erp.fdb";
  const MensagemErro m =
      descreveErro(ErroDe([&] {
                     Database banco;
                     banco.attach("127.0.0.1/1:/dados/erp.fdb", "SYSDBA", "masterkey");
                   }),
                   &config_);
  EsperaTextoParaOUsuario(m);
  EXPECT_TRUE(m.texto.contains(
      "banco de dados \"/dados/erp.fdb\" no servidor \"127.0.0.1\", porta 1: o servidor não "
      "respondeu"))
      << Mostra(m);
  EXPECT_TRUE(m.texto.contains("Servidor")) << Mostra(m);
  EXPECT_TRUE(m.detalhes.contains("network request")) << Mostra(m);

  // A connection that failed without a reason still names the database,
  // the server and its port, and what to check.
  const MensagemErro semMotivo = descreveFalhaDeConexao(config_, QString());
  EsperaTextoParaOUsuario(semMotivo);
  EXPECT_TRUE(semMotivo.texto.startsWith(
      "Não foi possível conectar ao banco de dados \"/dados/erp.fdb\" no servidor "
      "\"127.0.0.1\", porta 1: a conexão não pôde ser feita."))
      << Mostra(semMotivo);
  EXPECT_TRUE(semMotivo.detalhes.isEmpty());
  // The default port when Servidor names none.
  config_.Servidor = "srv";
  EXPECT_TRUE(descreveFalhaDeConexao(config_, m.detalhes)
                  .texto.startsWith("Não foi possível conectar ao banco de dados "
                                    "\"/dados/erp.fdb\" no servidor \"srv\", porta 3050: o "
                                    "servidor não respondeu."));
}

TEST_F(MensagemDoBanco, TabelaQueFaltaNomeiaATabelaEOComandoFicaNosDetalhes) {
  test::TestDatabase db;
  config_.CaminhoBanco = db.path();
  Database banco;
  banco.attach(db.path(), "SYSDBA", "masterkey");
  const MensagemErro m = descreveErro(ErroDe([&] {
                                        Query q(&banco);
                                        q.sql() << "SELECT NOMEEMPRESA FROM TABELAQUEFALTA";
                                        q.open();
                                      }),
                                      &config_);
  EsperaTextoParaOUsuario(m);
  EXPECT_TRUE(m.texto.contains(QStringLiteral("Não foi possível ler os dados do banco de dados "
                                              "\"%1\": o banco não tem a tabela TABELAQUEFALTA")
                                   .arg(db.path())))
      << Mostra(m);
  EXPECT_TRUE(m.detalhes.contains("Table unknown")) << Mostra(m);
  EXPECT_TRUE(m.detalhes.contains("SELECT NOMEEMPRESA FROM TABELAQUEFALTA")) << Mostra(m);
}

TEST_F(MensagemDoBanco, UsuarioSemPermissaoDeLeitura) {
  // The embedded engine takes any user name, and applies its privileges.
  test::TestDatabase db(test::kParametros);
  config_.CaminhoBanco = db.path();
  config_.Usuario = "LEITOR";
  Database banco;
  banco.attach(db.path(), "LEITOR", "x");
  const MensagemErro m = descreveErro(ErroDe([&] {
                                        Query q(&banco);
                                        q.sql() << "SELECT NOMEEMPRESA FROM FILIAIS";
                                        q.open();
                                      }),
                                      &config_);
  EsperaTextoParaOUsuario(m);
  EXPECT_TRUE(m.texto.contains("o usuário LEITOR não tem permissão de leitura na tabela FILIAIS"))
      << Mostra(m);
  EXPECT_TRUE(m.texto.contains("permissão de leitura para o usuário LEITOR")) << Mostra(m);
  EXPECT_TRUE(m.detalhes.contains("no permission")) << Mostra(m);
}

TEST_F(MensagemDoBanco, ConexaoQueOServidorCortou) {
  test::TestDatabase db(test::kParametros);
  config_.CaminhoBanco = db.path();
  Database banco;
  banco.attach(db.path(), "SYSDBA", "masterkey");
  db.exec("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION");
  const MensagemErro m = descreveErro(ErroDe([&] {
                                        Query q(&banco);
                                        q.sql() << "SELECT NOMEEMPRESA FROM FILIAIS";
                                        q.open();
                                      }),
                                      &config_);
  EsperaTextoParaOUsuario(m);
  EXPECT_TRUE(m.texto.contains("a conexão com o banco de dados foi perdida")) << Mostra(m);
  EXPECT_FALSE(m.detalhes.isEmpty());
}

// ---------------------------------------------------------------------------
// The settings file and the settings' values.

TEST(MensagemDasConfiguracoes, ArquivoQueNaoPodeSerGravadoNemLido) {
  test::TestConfigHome home;
  home.writeIniText("[Configuracoes]\nCaminhoBanco=/x.fdb\n\n[Trovesk]\nPeriodo=2\n");
  TConfig config("Trovesk");
  config.CarregarIni();
  std::exception_ptr gravacao;
  {
    test::FailingFileWrites discoCheio;
    try {
      config.SalvarIni();
    } catch (...) {
      gravacao = std::current_exception();
    }
  }
  ASSERT_TRUE(gravacao);
  MensagemErro m = descreveErro(gravacao, &config);
  EXPECT_TRUE(m.texto.startsWith(
      QStringLiteral(
          "Não foi possível gravar o arquivo de configurações %1; ele ficou como estava.")
          .arg(home.iniPath())))
      << Mostra(m);
  EXPECT_TRUE(m.texto.contains("espaço em disco")) << Mostra(m);
  EXPECT_FALSE(m.detalhes.isEmpty()) << Mostra(m);

  // A directory where the file should be cannot be read as one.
  QTemporaryDir dir;
  TConfig noDiretorio("Trovesk", dir.path());
  m = descreveErro(ErroDe([&] { noDiretorio.CarregarIni(); }), &noDiretorio);
  EXPECT_TRUE(m.texto.startsWith(
      QStringLiteral("Não foi possível ler o arquivo de configurações %1.").arg(dir.path())))
      << Mostra(m);
  EXPECT_FALSE(m.detalhes.isEmpty()) << Mostra(m);
}

TEST(MensagemDasConfiguracoes, ValorQueNaoConverte) {
  test::TestConfigHome home;
  TConfig config("Trovesk");
  config.Periodo = "mensal";
  // The settings' own check names the key, the value and the file: that is
  // the message.
  MensagemErro m = descreveErro(ErroDe([&] { PeriodoConfigurado(config); }), &config);
  EXPECT_TRUE(m.texto.contains("\"Periodo\"")) << Mostra(m);
  EXPECT_TRUE(m.texto.contains(config.arquivo())) << Mostra(m);
  EXPECT_TRUE(m.detalhes.isEmpty()) << Mostra(m);
  // A bare conversion says what it is, its text goes to the details.
  m = descreveErro(ErroDe([] { textToInt("abc"); }), &config);
  EXPECT_EQ(m.texto, "Um valor não pôde ser lido como número ou data.");
  EXPECT_TRUE(m.detalhes.contains("abc")) << Mostra(m);
}

// ---------------------------------------------------------------------------
// The calculation, in a real refresh.

class MensagemDaAtualizacao : public ::testing::Test {
 protected:
  void SetUp() override { setRegionalSettings(RegionalSettings::brazilian()); }

  // The error of a refresh of February 2024 over the parameters and
  // `pedidos`, as the gadget describes it.
  MensagemErro falhaDe(const QString& pedidos) {
    db_ = std::make_unique<test::TestDatabase>(test::kParametros + pedidos);
    home_.writeIniText(test::arquivoIni(db_->path(), "Empresa=01\nPeriodo=2\nMostraPedidos=2\n"));
    config_ = std::make_unique<TConfig>("Trovesk");
    config_->CarregarIni();
    TConexao conexao;
    conexao.setConfiguracao(config_->LocRem, config_->Protocolo, config_->Servidor,
                            config_->CaminhoBanco, config_->Usuario, config_->Senha);
    EXPECT_NO_THROW(conexao.conectarBanco());
    TAtualizacaoRentabilidade atualizacao(conexao, *config_);
    atualizacao.setHoje(QDate(2024, 2, 14));
    ResultadoAtualizacao resultado;
    return descreveErroDaAtualizacao(ErroDe([&] { atualizacao.IniciarGadget(resultado); }),
                                     config_.get());
  }

  test::TestConfigHome home_;
  std::unique_ptr<test::TestDatabase> db_;
  std::unique_ptr<TConfig> config_;
};

TEST_F(MensagemDaAtualizacao, DivisaoPorZeroNomeiaPedidoProdutoEEtapa) {
  // The only line is discounted to nothing: the order's item total is 0.
  const MensagemErro m = falhaDe(pedido("01", "V", "131", "2024-02-10", "S", 0, 0) +
                                 item("01", "V", "131", 1, "P1", "1", 1, 10, 10));
  EsperaTextoParaOUsuario(m);
  EXPECT_EQ(m.texto,
            "Não foi possível calcular a rentabilidade do pedido 131 (filial 01, tipo V), produto "
            "P1: divisão por zero em \"rateio do desconto\" (um valor, quantidade ou total "
            "zerado). Confira esse pedido no ERP.");
  EXPECT_TRUE(m.detalhes.contains("CODPEDIDO=131")) << Mostra(m);
}

TEST_F(MensagemDaAtualizacao, ErroDoBancoNoCalculoNomeiaPedidoEMotivo) {
  // Commissions count, but the sellers' table is missing.
  const MensagemErro m =
      falhaDe(pedido("01", "V", "100", "2024-02-10", "S", 0, 1000, 25) +
              item("01", "V", "100", 1, "P1", "1", 10, 100) + "DROP TABLE VENDEND;\n");
  EsperaTextoParaOUsuario(m);
  EXPECT_TRUE(
      m.texto.startsWith("Não foi possível calcular a rentabilidade do pedido 100 (filial "
                         "01, tipo V), produto P1, ao ler \"comissão\": o banco não tem "
                         "a tabela VENDEND"))
      << Mostra(m);
  EXPECT_TRUE(m.detalhes.contains("Table unknown")) << Mostra(m);
  EXPECT_TRUE(m.detalhes.contains("VENDEND")) << Mostra(m);
}

TEST_F(MensagemDaAtualizacao, VendaTotalZeroDoPeriodo) {
  const MensagemErro m =
      falhaDe(pedido("01", "V", "600", "2024-02-10", "S", 0, 100) +
              item("01", "V", "600", 1, "P1", "1", 1, 100) +
              "INSERT INTO ENCEFAT (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, VLRDESCONTO, VLRDINHEIRO) "
              "VALUES ('01', 'V', '600', 100, 0);\n");
  EsperaTextoParaOUsuario(m);
  EXPECT_TRUE(m.texto.contains("os pedidos do período somam venda zero")) << Mostra(m);
  EXPECT_TRUE(m.detalhes.contains("MTotValorDaVenda")) << Mostra(m);
}

}  // namespace
}  // namespace margivo
