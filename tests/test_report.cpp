// margivo-report end to end: the built tool run as its own process on a real
// database file and a real settings file, its JSON and text output, its
// overrides, its exit statuses and an output that cannot be written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>

#include <firebird/Interface.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <memory>

#include "framework/db/database.h"
#include "framework/db/fbclient.h"
#include "sampledb/sampledb.h"
#include "tests/support/fbserver.h"
#include "tests/support/testdb.h"
#include "tests/support/testenv.h"
#include "tests/test_refresh_pedidos.h"

namespace margivo {
namespace {

using test::item;
using test::pedido;

struct Execucao {
  int status = -1;
  QByteArray saida;
  QByteArray erros;
  QJsonObject json() const { return QJsonDocument::fromJson(saida).object(); }
};

QSet<QString> chaves(const QJsonObject& objeto) {
  const QStringList lista = objeto.keys();
  return QSet<QString>(lista.begin(), lista.end());
}

// Branch 01: an invoiced order of 1 000.00 (cost 850.00) and a recorded one of
// 100.00 with freight 5 in February 2024; branch 02: one invoiced order of
// 40.00 in March 2024.
const QString kPedidos = pedido("01", "V", "100", "2024-02-10", "S", 0, 1000, 25) +
                         item("01", "V", "100", 1, "P1", "1", 10, 100) +
                         pedido("01", "V", "101", "2024-02-12", "N", 5, 100) +
                         item("01", "V", "101", 1, "P3", "1", 1, 100) +
                         pedido("02", "V", "200", "2024-03-02", "S", 0, 40) +
                         item("02", "V", "200", 1, "P3", "1", 4, 10);

class ReportTest : public ::testing::Test {
 protected:
  // The database file (left detached: the tool opens it in its own process,
  // and the embedded engine lets one process at a time hold a file) and a
  // settings file for it at the default location.
  void abre(const QString& pedidos = kPedidos,
            const QString& secaoGadget = "Empresa=01\nPeriodo=2\nMostraPedidos=2\n") {
    db_ = std::make_unique<test::TestDatabase>(test::kParametros + pedidos);
    db_->database().detach();
    home_.writeIniText(test::arquivoIni(db_->path(), secaoGadget));
  }

  // `prepara` adjusts the process before it starts (where its stdout goes);
  // `firebird`, when given, is the Firebird root (FIREBIRD) the tool's client
  // library reads its configuration from.
  Execucao roda(const QStringList& argumentos, const QByteArray& locale = "pt_BR.UTF-8",
                const std::function<void(QProcess&)>& prepara = {},
                const QString& firebird = QString()) {
    QProcess processo;
    QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
    ambiente.insert("LC_ALL", QString::fromLatin1(locale));
    if (!firebird.isEmpty()) ambiente.insert("FIREBIRD", firebird);
    processo.setProcessEnvironment(ambiente);
    if (prepara) prepara(processo);
    processo.start(QStringLiteral(MARGIVO_REPORT_PATH), argumentos);
    Execucao execucao;
    if (!processo.waitForFinished(120000)) {
      ADD_FAILURE() << "margivo-report did not finish: " << processo.errorString().toStdString();
      processo.kill();
      processo.waitForFinished();
      return execucao;
    }
    execucao.status = processo.exitStatus() == QProcess::NormalExit ? processo.exitCode() : -1;
    execucao.saida = processo.readAllStandardOutput();
    execucao.erros = processo.readAllStandardError();
    return execucao;
  }

  // Exit status 1 or 2 with the message on stderr and, as JSON, on stdout.
  void esperaErro(const Execucao& e, int status, const QStringList& partes) {
    EXPECT_EQ(e.status, status) << e.erros.toStdString();
    const QString mensagem = QString::fromUtf8(e.erros).trimmed();
    EXPECT_FALSE(mensagem.isEmpty());
    const QJsonObject json = e.json();
    EXPECT_EQ(chaves(json), QSet<QString>{"error"}) << e.saida.toStdString();
    EXPECT_EQ(json.value("error").toString(), mensagem);
    for (const QString& parte : partes) {
      EXPECT_TRUE(mensagem.contains(parte))
          << "missing \"" << parte.toStdString() << "\" in " << mensagem.toStdString();
    }
  }

  test::TestConfigHome home_;
  std::unique_ptr<test::TestDatabase> db_;
};

TEST_F(ReportTest, JsonTemExatamenteAsChavesEAsFiguras) {
  abre();
  const QByteArray antes = home_.readIni();
  const Execucao e = roda({"--today", "2024-02-14", "--format", "json"});
  ASSERT_EQ(e.status, 0) << e.erros.toStdString();
  EXPECT_TRUE(e.erros.isEmpty()) << e.erros.toStdString();
  const QJsonObject json = e.json();
  EXPECT_EQ(chaves(json), (QSet<QString>{"lblNomeFilial", "lblPeriodo", "DataInicial", "DataFinal",
                                         "rows", "calls", "labels", "totals"}));
  EXPECT_EQ(json["lblNomeFilial"].toString(), "LOJA CENTRO");
  EXPECT_EQ(json["lblPeriodo"].toString(), "Período: Mensal (01/02/2024 a 29/02/2024)");
  EXPECT_EQ(json["DataInicial"].toString(), "01/02/2024");
  EXPECT_EQ(json["DataFinal"].toString(), "29/02/2024");
  EXPECT_EQ(json["rows"].toInt(), 2);
  EXPECT_EQ(json["calls"].toObject(), (QJsonObject{{"Produto", 2}, {"Frete", 1}}));

  const QJsonObject labels = json["labels"].toObject();
  EXPECT_EQ(chaves(labels),
            (QSet<QString>{"lblValorVendaFat", "lblValorCustoFat", "lblValorAquisCusto",
                           "lblValorVendaCusto", "lblValorMrgBruta", "lblValorMrgOper",
                           "lblValorRtbBruta", "lblValorRtbOper"}));
  // 1 000 + 100 + freight 5; costs 600 + 10 + 5 plus the commission of 250.
  EXPECT_EQ(labels["lblValorVendaFat"].toString(), "1.105,00");
  EXPECT_EQ(labels["lblValorCustoFat"].toString(), "865,00");

  const QJsonObject totals = json["totals"].toObject();
  EXPECT_EQ(chaves(totals),
            (QSet<QString>{"MTotCustoParcVd", "MTotValorDaVenda", "MTotComissao", "MTotImpostos",
                           "MTotDescontoPV", "MTotTxCondPag", "MTotOutros", "MTotCustoTotVd",
                           "MTotMargemBrtLcr", "MTotMargemOpLcr", "MTotPercLucroBrt",
                           "MTotPercLucroOpe"}));
  for (const QJsonValue& valor : totals) EXPECT_TRUE(valor.isDouble());
  EXPECT_DOUBLE_EQ(totals["MTotValorDaVenda"].toDouble(), 1105);
  EXPECT_DOUBLE_EQ(totals["MTotCustoParcVd"].toDouble(), 615);

  // The settings file is only read.
  EXPECT_EQ(home_.readIni(), antes);
}

TEST_F(ReportTest, ItemsListaCadaCalculoEmOrdem) {
  abre();
  const Execucao e = roda({"--today", "2024-02-14", "--format", "json", "--items"});
  ASSERT_EQ(e.status, 0) << e.erros.toStdString();
  const QJsonArray items = e.json()["items"].toArray();
  ASSERT_EQ(items.size(), 3);
  const QSet<QString> campos{"option",       "CODEMPRESA",    "TIPOPEDIDO",   "CODPEDIDO",
                             "CODPROD",      "CODGRADE",      "MAquisicao",   "MValorDaVenda",
                             "MQtdeVendida", "MOperacional",  "MCustoParcVd", "MComissao",
                             "MImpostos",    "MDescontoPV",   "MTxCondPag",   "MOutros",
                             "MCustoTotVd",  "MMargemBrtLcr", "MMargemOpLcr", "MPercLucroBrt",
                             "MPercLucroOpe"};
  for (const QJsonValue& valor : items) EXPECT_EQ(chaves(valor.toObject()), campos);
  EXPECT_EQ(items[0].toObject()["option"].toString(), "Produto");
  EXPECT_EQ(items[1].toObject()["option"].toString(), "Produto");
  const QJsonObject frete = items[2].toObject();
  EXPECT_EQ(frete["option"].toString(), "Frete");
  EXPECT_EQ(frete["CODPEDIDO"].toString(), "101");
  EXPECT_DOUBLE_EQ(frete["MValorDaVenda"].toDouble(), 5);
}

TEST_F(ReportTest, TodayEAsSubstituicoesValemSoParaAExecucao) {
  abre();
  const QByteArray antes = home_.readIni();
  struct Caso {
    const char* nome;
    QStringList argumentos;
    const char* filial;
    const char* periodo;
    int rows;
    double venda;
  };
  const Caso casos[] = {
      {"outro mes",
       {"--today", "2024-03-05"},
       "LOJA CENTRO",
       "Período: Mensal (01/03/2024 a 31/03/2024)",
       0,
       0},
      {"outra filial",
       {"--today", "2024-03-05", "--empresa", "02"},
       "LOJA NORTE",
       "Período: Mensal (01/03/2024 a 31/03/2024)",
       1,
       40},
      {"todas as filiais no ano",
       {"--today", "2024-03-05", "--empresa", "", "--periodo", "3"},
       "Todas as Filiais",
       "Período: Anual (01/01/2024 a 31/12/2024)",
       3,
       1145},
      {"so faturados",
       {"--today", "2024-02-14", "--mostra-pedidos", "0"},
       "LOJA CENTRO",
       "Período: Mensal (01/02/2024 a 29/02/2024)",
       1,
       1000},
      {"so gravados",
       {"--today", "2024-02-14", "--mostra-pedidos", "1"},
       "LOJA CENTRO",
       "Período: Mensal (01/02/2024 a 29/02/2024)",
       1,
       105},
      {"diario",
       {"--today", "2024-02-10", "--periodo", "0"},
       "LOJA CENTRO",
       "Período: Diário (10/02/2024)",
       1,
       1000},
  };
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.nome);
    const Execucao e = roda(caso.argumentos + QStringList{"--format", "json"});
    ASSERT_EQ(e.status, 0) << e.erros.toStdString();
    const QJsonObject json = e.json();
    EXPECT_EQ(json["lblNomeFilial"].toString(), caso.filial);
    EXPECT_EQ(json["lblPeriodo"].toString(), caso.periodo);
    EXPECT_EQ(json["rows"].toInt(), caso.rows);
    EXPECT_DOUBLE_EQ(json["totals"].toObject()["MTotValorDaVenda"].toDouble(), caso.venda);
  }
  EXPECT_EQ(home_.readIni(), antes);
}

TEST_F(ReportTest, EmpresaVaziaNoArquivoValeZeroZero) {
  abre(kPedidos + QStringLiteral(
                      "INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA) VALUES ('00', 'MATRIZ');\n"),
       "Empresa=\nPeriodo=3\n");
  const Execucao e = roda({"--today", "2024-02-14", "--format", "json"});
  ASSERT_EQ(e.status, 0) << e.erros.toStdString();
  EXPECT_EQ(e.json()["lblNomeFilial"].toString(), "MATRIZ");
  EXPECT_EQ(e.json()["rows"].toInt(), 0);
}

TEST_F(ReportTest, PeriodoForaDeZeroATresDeixaLegendaVazia) {
  abre(kPedidos, "Empresa=01\nPeriodo=7\nDataInicial=12/02/2024\nDataFinal=12/02/2024\n");
  const Execucao e = roda({"--format", "json"});
  ASSERT_EQ(e.status, 0) << e.erros.toStdString();
  EXPECT_EQ(e.json()["lblPeriodo"].toString(), "");
  EXPECT_EQ(e.json()["DataInicial"].toString(), "12/02/2024");
  EXPECT_EQ(e.json()["rows"].toInt(), 0);  // order 101 is recorded, not invoiced
}

TEST_F(ReportTest, TextoMostraAsFigurasSobOsTitulosDoPainel) {
  abre();
  const QString configExplicita = home_.iniPath();
  const Execucao e =
      roda({"--config", configExplicita, "--today", "2024-02-14", "--mostra-pedidos", "0"});
  ASSERT_EQ(e.status, 0) << e.erros.toStdString();
  EXPECT_TRUE(e.erros.isEmpty()) << "no progress when stderr is not a terminal";
  const QString texto = QString::fromUtf8(e.saida);
  const QStringList linhas = texto.split('\n');
  const auto linha = [&](const QString& inicio) {
    for (const QString& l : linhas) {
      if (l.trimmed().startsWith(inicio)) return l.simplified();
    }
    return QStringLiteral("<sem linha %1>").arg(inicio);
  };
  EXPECT_TRUE(texto.contains("LOJA CENTRO")) << texto.toStdString();
  EXPECT_TRUE(texto.contains("Período: Mensal (01/02/2024 a 29/02/2024)")) << texto.toStdString();
  EXPECT_EQ(linha("Faturamento"), "Faturamento");
  EXPECT_EQ(linha("Custos"), "Custos");
  EXPECT_EQ(linha("Venda (R$)"), "Venda (R$) 1.000,00");
  EXPECT_EQ(linha("Custo (R$)"), "Custo (R$) 850,00");
  EXPECT_EQ(linha("Aquisição (%)"), "Aquisição (%) 60,00");
  EXPECT_EQ(linha("Venda (%)"), "Venda (%) 25,00");
  EXPECT_EQ(linha("Mrg. Bruta (R$)"), "Mrg. Bruta (R$) 400,00");
  EXPECT_EQ(linha("Mrg. Oper. (R$)"), "Mrg. Oper. (R$) 150,00");
  EXPECT_EQ(linha("Rtb. Bruta (%)"), "Rtb. Bruta (%) 40,00");
  EXPECT_EQ(linha("Rtb. Oper. (%)"), "Rtb. Oper. (%) 15,00");
}

// --config names the file for every setting, the branch name's look-up
// included, even with no file at the default location.
TEST_F(ReportTest, ConfigEmOutroLugarServeParaTudo) {
  abre();
  QTemporaryDir pasta;
  const QString outro = pasta.path() + "/outro.ini";
  ASSERT_TRUE(QFile::rename(home_.iniPath(), outro));
  const Execucao e = roda({"--config", outro, "--today", "2024-02-14", "--format", "json"});
  ASSERT_EQ(e.status, 0) << e.erros.toStdString();
  EXPECT_EQ(e.json()["lblNomeFilial"].toString(), "LOJA CENTRO");
  EXPECT_EQ(e.json()["rows"].toInt(), 2);
  EXPECT_FALSE(home_.iniExists());
}

// The demo database, every branch over its year: every row calculated once,
// the freight calls after them, the labels the totals' texts, and the same
// output from a second run.
TEST(ReportDemoTest, BancoDeDemonstracao) {
  test::TestConfigHome home;
  QTemporaryDir pasta;
  const QString banco = pasta.path() + "/demo.fdb";
  {
    Database database;
    sampledb::createDatabase(database, banco);
    sampledb::DemoOptions opcoes;
    opcoes.items = 400;
    opcoes.today = QDate(2024, 6, 15);
    sampledb::generateDemoData(database, opcoes);
  }
  home.writeIniText(test::arquivoIni(banco, "Empresa=01\nPeriodo=3\nMostraPedidos=2\n"));
  const QStringList argumentos{"--today",  "2024-06-15", "--empresa", "",
                               "--format", "json",       "--items"};
  const auto roda = [&] {
    QProcess processo;
    QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
    ambiente.insert("LC_ALL", "C");
    processo.setProcessEnvironment(ambiente);
    processo.start(QStringLiteral(MARGIVO_REPORT_PATH), argumentos);
    EXPECT_TRUE(processo.waitForFinished(300000));
    EXPECT_EQ(processo.exitCode(), 0) << processo.readAllStandardError().toStdString();
    return processo.readAllStandardOutput();
  };
  const QByteArray saida = roda();
  const QJsonObject json = QJsonDocument::fromJson(saida).object();
  const int rows = json["rows"].toInt();
  const int produto = json["calls"].toObject()["Produto"].toInt();
  const int frete = json["calls"].toObject()["Frete"].toInt();
  EXPECT_GT(rows, 0);
  EXPECT_EQ(produto, rows);
  EXPECT_GT(frete, 0);
  const QJsonArray items = json["items"].toArray();
  ASSERT_EQ(items.size(), produto + frete);
  QSet<QString> pedidosComFrete;
  for (int i = 0; i < items.size(); ++i) {
    const QJsonObject item = items[i].toObject();
    EXPECT_EQ(item["option"].toString(), i < produto ? "Produto" : "Frete") << i;
    if (i >= produto) {
      // One freight call per order number.
      EXPECT_FALSE(pedidosComFrete.contains(item["CODPEDIDO"].toString().toCaseFolded()));
      pedidosComFrete.insert(item["CODPEDIDO"].toString().toCaseFolded());
      EXPECT_NE(item["MValorDaVenda"].toDouble(), 0);
    }
  }
  const QJsonObject totals = json["totals"].toObject();
  const QJsonObject labels = json["labels"].toObject();
  EXPECT_GT(totals["MTotValorDaVenda"].toDouble(), 0);
  const auto texto = [](double valor) { return QString::number(valor, 'f', 2); };
  EXPECT_EQ(labels["lblValorVendaFat"].toString().remove(','),
            texto(totals["MTotValorDaVenda"].toDouble()));
  EXPECT_EQ(labels["lblValorMrgOper"].toString().remove(','),
            texto(totals["MTotMargemOpLcr"].toDouble()));
  EXPECT_EQ(roda(), saida);
}

TEST_F(ReportTest, NumerosSeguemOLocaleDoAmbiente) {
  abre();
  const Execucao e = roda({"--today", "2024-02-14", "--format", "json"}, "C");
  ASSERT_EQ(e.status, 0) << e.erros.toStdString();
  EXPECT_EQ(e.json()["labels"].toObject()["lblValorVendaFat"].toString(), "1,105.00");
}

TEST_F(ReportTest, UsoIncorretoOuArquivoAusenteSaiComDois) {
  abre();
  QTemporaryDir pasta;
  struct Caso {
    const char* nome;
    QStringList argumentos;
    QStringList partes;
  };
  const Caso casos[] = {
      {"opcao desconhecida", {"--bogus"}, {"bogus"}},
      {"data invalida", {"--today", "2024-13-01"}, {"--today", "2024-13-01"}},
      {"periodo nao inteiro", {"--periodo", "mensal"}, {"--periodo", "mensal"}},
      {"argumento a mais", {"relatorio"}, {"relatorio"}},
      {"arquivo ausente", {"--config", pasta.path() + "/nada.ini"}, {pasta.path() + "/nada.ini"}},
      {"arquivo que e pasta", {"--config", pasta.path()}, {pasta.path()}},
      {"nenhuma atualizacao", {"--refreshes", "0"}, {"--refreshes", "0"}},
      {"atualizacoes nao numero", {"--refreshes", "duas"}, {"--refreshes", "duas"}},
      {"intervalo negativo", {"--refreshes", "2", "--interval", "-1"}, {"--interval", "-1"}},
  };
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.nome);
    QStringList argumentos = caso.argumentos;
    if (!argumentos.contains("--format"))
      argumentos << "--format"
                 << "json";
    esperaErro(roda(argumentos), 2, caso.partes);
  }

  // An unknown format has no JSON to report in.
  const Execucao formato = roda({"--format", "xml"});
  EXPECT_EQ(formato.status, 2);
  EXPECT_TRUE(formato.saida.isEmpty());
  EXPECT_TRUE(formato.erros.contains("xml")) << formato.erros.toStdString();

  // With the default location empty.
  QFile::remove(home_.iniPath());
  esperaErro(roda({"--format", "json"}), 2, {home_.iniPath()});
}

// Settings the run cannot use are reported like bad usage, naming the key,
// the value and where it came from.
TEST_F(ReportTest, ConfiguracaoInvalidaSaiComDois) {
  abre();
  QTemporaryDir pasta;
  const auto arquivo = [&](const char* nome, const QString& texto) {
    const QString caminho = pasta.path() + "/" + nome;
    test::writeFileBytes(caminho, texto.toUtf8());
    return caminho;
  };
  const QString semSenha = arquivo("sem-senha.ini",
                                   "[Configuracoes]\nCaminhoBanco=/x.fdb\nUsuario=SYSDBA\n"
                                   "[Trovesk]\nEmpresa=01\nPeriodo=2\n");
  const QString periodoTexto =
      arquivo("periodo-texto.ini", test::arquivoIni(db_->path(), "Empresa=01\nPeriodo=mensal\n"));
  const QString periodoNove =
      arquivo("periodo-nove.ini", test::arquivoIni(db_->path(), "Empresa=01\nPeriodo=9\n"));
  const QString periodoNoveDataRuim =
      arquivo("periodo-nove-data.ini",
              test::arquivoIni(db_->path(), "Periodo=9\nDataInicial=01/02/2024\nDataFinal=fim\n"));
  const QString protocolo =
      arquivo("protocolo.ini",
              "[Configuracoes]\nLocRem=R\nServidor=127.0.0.1\nProtocolo=7\nCaminhoBanco=/x.fdb\n"
              "Usuario=SYSDBA\nSenha=masterkey\n[Trovesk]\nEmpresa=01\nPeriodo=2\n");
  struct Caso {
    const char* nome;
    QStringList argumentos;
    QStringList partes;
  };
  const Caso casos[] = {
      {"sem Senha", {"--config", semSenha}, {"Senha", semSenha}},
      {"Periodo que nao e numero", {"--config", periodoTexto}, {"Periodo", "mensal", periodoTexto}},
      {"Periodo fora de 0 a 3 sem datas",
       {"--config", periodoNove},
       {"\"Periodo\"", "\"9\"", periodoNove, "0 (diário), 1 (semanal), 2 (mensal) ou 3 (anual)"}},
      {"Periodo fora de 0 a 3 com data ruim",
       {"--config", periodoNoveDataRuim},
       {"\"Periodo\"", "\"9\"", periodoNoveDataRuim, "DataFinal", "\"fim\""}},
      {"--periodo fora de 0 a 3",
       {"--periodo", "9"},
       {"--periodo", "\"9\"", "0 (diário), 1 (semanal), 2 (mensal) ou 3 (anual)"}},
      {"--periodo negativo", {"--periodo", "-1"}, {"--periodo", "\"-1\""}},
      {"Protocolo desconhecido", {"--config", protocolo}, {"\"7\""}},
  };
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.nome);
    const Execucao e = roda(caso.argumentos + QStringList{"--format", "json"});
    esperaErro(e, 2, caso.partes);
    EXPECT_FALSE(e.erros.contains("DataInicial") && !e.erros.contains("Periodo"))
        << e.erros.toStdString();
  }

  // Text format: the message on stderr only.
  const Execucao texto = roda({"--config", semSenha});
  EXPECT_EQ(texto.status, 2);
  EXPECT_TRUE(texto.saida.isEmpty());
  EXPECT_TRUE(QString::fromUtf8(texto.erros).contains("Senha"));
}

TEST_F(ReportTest, BancoInacessivelSaiComUm) {
  QTemporaryDir pasta;
  const QString inexistente = pasta.path() + "/nao-existe.fdb";
  const QString semBanco = pasta.path() + "/sem-banco.ini";
  test::writeFileBytes(semBanco, test::arquivoIni(inexistente, "Empresa=01\nPeriodo=2\n").toUtf8());
  esperaErro(roda({"--config", semBanco, "--format", "json"}), 1, {inexistente});
  // The database's own reason, exactly as an attach of our own gets it.
  QString motivo;
  try {
    Database sonda;
    sonda.attach(inexistente, "SYSDBA", "masterkey");
  } catch (const DatabaseError& erro) {
    motivo = erro.message().trimmed();
  }
  ASSERT_FALSE(motivo.isEmpty());
  const Execucao semArquivo = roda({"--config", semBanco});
  EXPECT_EQ(
      QString::fromUtf8(semArquivo.erros).trimmed(),
      QStringLiteral("Não foi possível conectar ao banco de dados \"%1\" (usuário SYSDBA): %2")
          .arg(inexistente, motivo));
  // A protocol the tool does not know, said in its own words.
  const QString protocolo = pasta.path() + "/protocolo.ini";
  test::writeFileBytes(protocolo, test::arquivoIni(inexistente, "Empresa=01\nPeriodo=2\n")
                                      .replace("LocRem=L\nServidor=\nProtocolo=0",
                                               "LocRem=R\nServidor=srv\nProtocolo=7")
                                      .toUtf8());
  const Execucao desconhecido = roda({"--config", protocolo});
  EXPECT_EQ(desconhecido.status, 2);
  EXPECT_EQ(QString::fromUtf8(desconhecido.erros).trimmed(),
            QStringLiteral("Não foi possível conectar ao banco de dados \"%1\" (usuário SYSDBA): "
                           "protocolo \"7\" desconhecido")
                .arg(inexistente));
}

// A report that does not reach its reader is a failure: status 1 and the
// cause on stderr, whether stdout is a full device, a file past its size
// limit or a pipe whose reader has gone.
TEST_F(ReportTest, SaidaQueNaoSeEscreveSaiComUm) {
  abre();
  QTemporaryDir pasta;
  const QString arquivo = pasta.path() + "/relatorio.json";
  const auto paraDevFull = [](QProcess& p) { p.setStandardOutputFile("/dev/full"); };
  const auto paraArquivo = [&](QProcess& p) { p.setStandardOutputFile(arquivo); };
  // A pipe whose read end is closed before the tool writes; SIGPIPE back to
  // its default in the child, so that only the tool's own handling counts.
  int tubo[2] = {-1, -1};
  const auto paraTuboFechado = [&](QProcess& p) {
    ASSERT_EQ(pipe(tubo), 0);
    ::close(tubo[0]);
    const int escrita = tubo[1];
    p.setChildProcessModifier([escrita] {
      std::signal(SIGPIPE, SIG_DFL);
      ::dup2(escrita, STDOUT_FILENO);
    });
  };
  struct Caso {
    const char* nome;
    QStringList argumentos;
    std::function<void(QProcess&)> prepara;
    const char* causa;
  };
  const QStringList hoje{"--today", "2024-02-14"};
  const Caso casos[] = {
      {"json em /dev/full", hoje + QStringList{"--format", "json", "--items"}, paraDevFull,
       "ENOSPC"},
      {"texto em /dev/full", hoje, paraDevFull, "ENOSPC"},
      {"so a busca em /dev/full", hoje + QStringList{"--fetch-only"}, paraDevFull, "ENOSPC"},
      {"ajuda em /dev/full", {"--help"}, paraDevFull, "ENOSPC"},
      {"erro em json em /dev/full", {"--periodo", "9", "--format", "json"}, paraDevFull, "ENOSPC"},
      {"tubo fechado", hoje + QStringList{"--format", "json"}, paraTuboFechado, "EPIPE"},
      {"ajuda em tubo fechado", {"--help"}, paraTuboFechado, "EPIPE"},
  };
  for (const Caso& caso : casos) {
    SCOPED_TRACE(caso.nome);
    const Execucao e = roda(caso.argumentos, "pt_BR.UTF-8", caso.prepara);
    if (tubo[1] >= 0) ::close(tubo[1]);
    tubo[1] = -1;
    EXPECT_EQ(e.status, 1) << "status -1: killed by a signal\n" << e.erros.toStdString();
    const QString erros = QString::fromUtf8(e.erros);
    EXPECT_TRUE(erros.contains("Não foi possível escrever a saída: ")) << erros.toStdString();
    EXPECT_TRUE(erros.contains(caso.causa)) << erros.toStdString();
  }

  // A file that cannot grow (the file size limit, which stops root too, as a
  // full disk would). The help text, since the database engine itself needs
  // to grow its lock files.
  Execucao cortado;
  {
    test::FailingFileWrites falha;
    cortado = roda({"--help"}, "pt_BR.UTF-8", paraArquivo);
  }
  EXPECT_EQ(cortado.status, 1) << cortado.erros.toStdString();
  EXPECT_TRUE(QString::fromUtf8(cortado.erros)
                  .contains("Não foi possível escrever a saída: o arquivo passou do tamanho "
                            "máximo permitido (EFBIG)"))
      << cortado.erros.toStdString();

  // A stderr that takes nothing: the status alone tells, the failure's own
  // one, or 1 when only the timing line was lost.
  const auto erroEmDevFull = [](QProcess& p) { p.setStandardErrorFile("/dev/full"); };
  EXPECT_EQ(roda({"--periodo", "9"}, "pt_BR.UTF-8", erroEmDevFull).status, 2);
  const Execucao semTempo = roda(hoje + QStringList{"--timing"}, "pt_BR.UTF-8", erroEmDevFull);
  EXPECT_EQ(semTempo.status, 1);
  EXPECT_TRUE(semTempo.saida.isEmpty()) << semTempo.saida.toStdString();

  // The same run with an output that takes it succeeds.
  const Execucao inteiro =
      roda(hoje + QStringList{"--format", "json", "--items"}, "pt_BR.UTF-8", paraArquivo);
  EXPECT_EQ(inteiro.status, 0) << inteiro.erros.toStdString();
  EXPECT_EQ(QJsonDocument::fromJson(test::readFileBytes(arquivo)).object()["rows"].toInt(), 2);
}

TEST_F(ReportTest, ErroAritmeticoNomeiaPedidoEProdutoESaiComUm) {
  abre(kPedidos + pedido("01", "V", "700", "2024-02-11", "S", 0, 100) +
       item("01", "V", "700", 1, "P2", "1", 0, 100));
  esperaErro(roda({"--today", "2024-02-14", "--format", "json"}), 1,
             {"CODEMPRESA=01", "TIPOPEDIDO=V", "CODPEDIDO=700", "CODPROD=P2"});
}

// A text parameter is never cut: an Empresa of 70,000 characters (whose
// length, read in 16 bits, once left "01") fails the run naming the
// parameter, and no figures are printed.
TEST_F(ReportTest, EmpresaLongaDemaisFalhaNomeandoOParametro) {
  abre();
  const QString longa = QStringLiteral("01") + QString(69998, u'1');
  QTemporaryDir pasta;
  const QString arquivo = pasta.path() + "/empresa-longa.ini";
  test::writeFileBytes(
      arquivo, test::arquivoIni(db_->path(), "Empresa=" + longa + "\nPeriodo=2\n").toUtf8());
  const struct {
    const char* nome;
    QStringList argumentos;
  } casos[] = {
      {"in the settings file", {"--config", arquivo, "--today", "2024-02-14", "--format", "json"}},
      {"on the command line", {"--empresa", longa, "--today", "2024-02-14", "--format", "json"}},
  };
  for (const auto& caso : casos) {
    SCOPED_TRACE(caso.nome);
    const Execucao e = roda(caso.argumentos);
    EXPECT_NE(e.status, 0);
    const QString mensagem = QString::fromUtf8(e.erros).trimmed();
    EXPECT_TRUE(mensagem.contains(QStringLiteral(":CodFilial"), Qt::CaseInsensitive))
        << mensagem.left(500).toStdString();
    EXPECT_TRUE(mensagem.contains(QStringLiteral("70000"))) << mensagem.left(500).toStdString();
    EXPECT_LT(mensagem.size(), 1000) << "the value itself is not quoted";
    EXPECT_EQ(chaves(e.json()), QSet<QString>{"error"}) << e.saida.left(300).toStdString();
  }
}

// A Firebird root of the test's own: the system's, with firebird.conf
// naming `porta` as the port of servers (RemoteServicePort), as a site whose
// local server listens there would have it. Its providers leave out
// Loopback, with which the client library itself tries the default port
// after the embedded engine: the program must find the server on its own.
class RaizFirebird {
 public:
  explicit RaizFirebird(const QString& porta) {
    Firebird::IConfigManager* config = firebirdMaster()->getConfigManager();
    const QDir sistema(QString::fromLocal8Bit(config->getRootDirectory()));
    for (const QFileInfo& entrada :
         sistema.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
      if (entrada.fileName() == QLatin1String("firebird.conf")) continue;
      QFile::link(entrada.absoluteFilePath(), dir_.filePath(entrada.fileName()));
    }
    QByteArray conf = test::readFileBytes(sistema.filePath("firebird.conf"));
    conf += "\nRemoteServicePort = " + porta.toLatin1() + "\nProviders = Remote, Engine12\n";
    test::writeFileBytes(dir_.filePath("firebird.conf"), conf);
  }
  QString caminho() const { return dir_.path(); }

 private:
  QTemporaryDir dir_;
};

// Local mode on a file that a Firebird server on this machine has open, as
// the ERP's server usually has: the embedded engine is refused, and the tool
// reads the file through that server, on the port of the client's
// configuration.
TEST_F(ReportTest, ModoLocalComOArquivoAbertoPorUmServidorLocalPassaPeloServidor) {
  const test::FbServer servidor = test::FbServer::fromStateFile();
  ASSERT_TRUE(servidor.error.isEmpty()) << servidor.error.toStdString();
  const QString caminho = QStringLiteral("%1/relatorio_local_%2.fdb")
                              .arg(servidor.dataDir)
                              .arg(QCoreApplication::applicationPid());
  // The server holds the file open for as long as this attachment lasts.
  Database dono;
  sampledb::createDatabase(dono, servidor.servidor() + u':' + caminho, servidor.user,
                           servidor.password);
  dono.executeScript(test::kParametros + kPedidos);
  home_.writeIniText(QStringLiteral("[Configuracoes]\nLocRem=L\nCaminhoBanco=%1\nUsuario=%2\n"
                                    "Senha=%3\n[Trovesk]\nEmpresa=01\nPeriodo=2\nMostraPedidos=2\n")
                         .arg(caminho, servidor.user, servidor.password));
  {
    Database embutido;
    try {
      embutido.attach(caminho, servidor.user, servidor.password);
      ADD_FAILURE() << "the embedded engine opened a file the server holds";
    } catch (const DatabaseError& erro) {
      EXPECT_EQ(erro.kind(), DatabaseError::Kind::FileInUse) << erro.what();
    }
  }

  const RaizFirebird raiz(servidor.port);
  const Execucao e =
      roda({"--today", "2024-02-14", "--format", "json"}, "pt_BR.UTF-8", {}, raiz.caminho());
  EXPECT_EQ(e.status, 0) << e.erros.toStdString();
  const QJsonObject json = e.json();
  EXPECT_EQ(json["lblNomeFilial"].toString(), "LOJA CENTRO") << e.saida.toStdString();
  EXPECT_EQ(json["rows"].toInt(), 2) << e.saida.toStdString();
  dono.drop();
}

}  // namespace
}  // namespace margivo

namespace margivo {
namespace {

// Several refreshes in one process: one compact JSON object per line, a
// timing line each saying whether it read the whole period, and between two
// of them the database file is free for another process to write to; the
// refresh after the write shows what a run of its own shows.
TEST(ReportRefreshes, VariasAtualizacoesComEscritaEntreElas) {
  test::TestConfigHome home;
  QTemporaryDir pasta;
  const QString banco = pasta.path() + "/ano.fdb";
  {
    Database database;
    sampledb::createDatabase(database, banco);
    sampledb::DemoOptions opcoes;
    opcoes.items = 400;
    opcoes.today = QDate(2024, 6, 15);
    sampledb::generateDemoData(database, opcoes);
  }
  home.writeIniText(test::arquivoIni(banco, "Empresa=01\nPeriodo=3\nMostraPedidos=2\n"));
  const QStringList base{"--today", "2024-06-15", "--format", "json", "--items"};
  QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
  ambiente.insert("LC_ALL", "C");

  QProcess varias;
  varias.setProcessEnvironment(ambiente);
  varias.start(QStringLiteral(MARGIVO_REPORT_PATH),
               base + QStringList{"--refreshes", "3", "--interval", "3", "--timing"});
  // The first refresh's line, then a change written by this process while
  // the tool waits.
  QByteArray saida;
  while (!saida.contains('\n') && varias.waitForReadyRead(120000))
    saida += varias.readAllStandardOutput();
  ASSERT_TRUE(saida.contains('\n')) << varias.readAllStandardError().toStdString();
  bool escrito = false;
  for (int tentativa = 0; tentativa < 40 && !escrito; ++tentativa) {
    try {
      Database database;
      database.attach(banco, "SYSDBA", "masterkey");
      database.executeImmediate(
          "UPDATE PEDIDOI SET QUANTIDADE = QUANTIDADE + 2 WHERE ITEM = 1 AND CODEMPRESA = '01' AND"
          " CODPEDIDO = (SELECT MIN(CODPEDIDO) FROM PEDIDOC WHERE CODEMPRESA = '01' AND"
          " DATAPEDIDO >= '2024-02-01')");
      escrito = true;
    } catch (const DatabaseError&) {
      // Still held by the tool's first refresh.
      QThread::msleep(50);
    }
  }
  EXPECT_TRUE(escrito);
  ASSERT_TRUE(varias.waitForFinished(300000));
  EXPECT_EQ(varias.exitCode(), 0);
  saida += varias.readAllStandardOutput();
  const QString erros = QString::fromUtf8(varias.readAllStandardError());

  QList<QByteArray> linhas = saida.split('\n');
  ASSERT_EQ(linhas.size(), 4) << saida.toStdString();
  EXPECT_TRUE(linhas.last().isEmpty());
  std::vector<QJsonObject> objetos;
  for (int i = 0; i < 3; ++i) {
    objetos.push_back(QJsonDocument::fromJson(linhas[i]).object());
    // One compact object per line.
    EXPECT_EQ(linhas[i], QJsonDocument(objetos.back()).toJson(QJsonDocument::Compact));
    EXPECT_GT(objetos.back()["rows"].toInt(), 0);
  }
  EXPECT_NE(objetos[1], objetos[0]);
  EXPECT_EQ(objetos[2], objetos[1]);

  // Each refresh's time, statements and kind.
  const QStringList tempos = erros.trimmed().split('\n');
  ASSERT_EQ(tempos.size(), 3) << erros.toStdString();
  for (const QString& t : tempos) {
    EXPECT_TRUE(t.startsWith("Tempo: ")) << t.toStdString();
    EXPECT_TRUE(t.contains(QString::fromUtf8("instruções: "))) << t.toStdString();
  }
  EXPECT_TRUE(tempos[0].endsWith("; full)")) << tempos[0].toStdString();
  EXPECT_TRUE(tempos[1].endsWith("; incremental)")) << tempos[1].toStdString();
  EXPECT_TRUE(tempos[2].endsWith("; incremental)")) << tempos[2].toStdString();

  // A run of its own, now: the same figures as the refresh after the write.
  QProcess uma;
  uma.setProcessEnvironment(ambiente);
  uma.start(QStringLiteral(MARGIVO_REPORT_PATH), base);
  ASSERT_TRUE(uma.waitForFinished(300000));
  EXPECT_EQ(QJsonDocument::fromJson(uma.readAllStandardOutput()).object(), objetos[1]);

  // As text, the refreshes are set apart by an empty line.
  QProcess texto;
  texto.setProcessEnvironment(ambiente);
  texto.start(QStringLiteral(MARGIVO_REPORT_PATH),
              QStringList{"--today", "2024-06-15", "--refreshes", "2"});
  ASSERT_TRUE(texto.waitForFinished(300000));
  const QString blocos = QString::fromUtf8(texto.readAllStandardOutput());
  EXPECT_EQ(blocos.count("Filial: "), 2);
  EXPECT_TRUE(blocos.contains("\n\nFilial: ")) << blocos.toStdString();
}

}  // namespace
}  // namespace margivo
