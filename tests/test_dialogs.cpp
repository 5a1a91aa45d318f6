// The settings dialog and the about box: placement over the panel, the
// mappings between controls and settings, and the real dialogs on a real
// sample database (offscreen platform).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <deque>
#include <functional>

#include "dialogs/about.h"
#include "dialogs/confgadget.h"
#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/gui/posicao.h"
#include "framework/query.h"
#include "framework/regional.h"
#include "tests/support/testdb.h"
#include "tests/support/testenv.h"

namespace margivo {
namespace {

QApplication& app() {
  static int argc = 1;
  static char nome[] = "test_dialogs";
  static char* argv[] = {nome, nullptr};
  static QApplication instancia(argc, argv);
  return instancia;
}

// ---------------------------------------------------------------------------
// Mappings between controls and settings

TEST(Mapeamento, SettingsToPositions) {
  struct Caso {
    const char* chave;
    std::function<std::optional<int>(const QString&)> posicao;
    QString valor;
    std::optional<int> esperado;
  };
  const Caso casos[] = {
      {"Periodo", PosicaoPeriodo, "0", 0},
      {"Periodo", PosicaoPeriodo, "3", 3},
      {"Periodo", PosicaoPeriodo, " 2 ", 2},
      {"Periodo", PosicaoPeriodo, "4", -1},
      {"Periodo", PosicaoPeriodo, "-1", -1},
      {"Periodo", PosicaoPeriodo, "", std::nullopt},
      {"MostraPedidos", PosicaoMostraPedidos, "0", 0},
      {"MostraPedidos", PosicaoMostraPedidos, "1", 1},
      {"MostraPedidos", PosicaoMostraPedidos, "2", 2},
      {"MostraPedidos", PosicaoMostraPedidos, "7", 2},
      {"MostraPedidos", PosicaoMostraPedidos, "-3", 2},
      {"MostraPedidos", PosicaoMostraPedidos, "   ", std::nullopt},
      {"Transparencia", PosicaoOpacidade, "100", 0},
      {"Transparencia", PosicaoOpacidade, "80", 1},
      {"Transparencia", PosicaoOpacidade, "60", 2},
      {"Transparencia", PosicaoOpacidade, "40", 3},
      {"Transparencia", PosicaoOpacidade, "20", 4},
      {"Transparencia", PosicaoOpacidade, "050", std::nullopt},
      {"Transparencia", PosicaoOpacidade, "50", std::nullopt},
      {"Transparencia", PosicaoOpacidade, "0", std::nullopt},
      {"Transparencia", PosicaoOpacidade, "", std::nullopt},
  };
  for (const auto& c : casos) {
    EXPECT_EQ(c.posicao(c.valor), c.esperado) << c.chave << " \"" << c.valor.toStdString() << "\"";
  }
  EXPECT_TRUE(SempreVisivelMarcado("1"));
  EXPECT_TRUE(SempreVisivelMarcado("01"));
  EXPECT_FALSE(SempreVisivelMarcado("0"));
  EXPECT_FALSE(SempreVisivelMarcado("2"));
  EXPECT_FALSE(SempreVisivelMarcado(""));
}

TEST(Mapeamento, ANonNumberNamesTheKeyAndTheValue) {
  struct Caso {
    const char* chave;
    std::function<void(const QString&)> converte;
  };
  const Caso casos[] = {
      {"Periodo", [](const QString& v) { PosicaoPeriodo(v); }},
      {"MostraPedidos", [](const QString& v) { PosicaoMostraPedidos(v); }},
      {"Transparencia", [](const QString& v) { PosicaoOpacidade(v); }},
      {"SempreVisivel", [](const QString& v) { SempreVisivelMarcado(v); }},
  };
  for (const auto& c : casos) {
    try {
      c.converte("1,5x");
      ADD_FAILURE() << c.chave << ": no error";
    } catch (const ConversionError& e) {
      const std::string texto = e.what();
      EXPECT_NE(texto.find(c.chave), std::string::npos) << texto;
      EXPECT_NE(texto.find("1,5x"), std::string::npos) << texto;
    }
  }
}

TEST(Mapeamento, EveryPositionRoundTripsThroughItsSetting) {
  for (int p = 0; p < 4; ++p) EXPECT_EQ(PosicaoPeriodo(*PeriodoDaPosicao(p)), p) << p;
  for (int p = 0; p < 3; ++p) EXPECT_EQ(PosicaoMostraPedidos(MostraPedidosDaPosicao(p)), p) << p;
  for (int p = 0; p < 5; ++p) EXPECT_EQ(PosicaoOpacidade(*TransparenciaDaPosicao(p)), p) << p;
  EXPECT_EQ(TransparenciaDaPosicao(1), "80");
  EXPECT_EQ(PeriodoDaPosicao(2), "2");
  EXPECT_EQ(SempreVisivelDoEstado(true), "1");
  EXPECT_EQ(SempreVisivelDoEstado(false), "0");
  // Nothing selected.
  EXPECT_EQ(PeriodoDaPosicao(-1), std::nullopt);
  EXPECT_EQ(TransparenciaDaPosicao(-1), std::nullopt);
  EXPECT_EQ(MostraPedidosDaPosicao(-1), "0");
}

TEST(Mapeamento, BranchesByPositionKeepSameNamedBranchesApart) {
  const QList<TFilial> filiais = {{"01", "Matriz"}, {"07", "Loja"}, {"09", "Loja"}, {"1", "loja"}};
  EXPECT_EQ(PosicaoEmpresa(filiais, "09"), 2);
  EXPECT_EQ(PosicaoEmpresa(filiais, "1"), 3);
  EXPECT_EQ(PosicaoEmpresa(filiais, "01 "), std::nullopt) << "codes compare exactly";
  EXPECT_EQ(PosicaoEmpresa(filiais, "05"), std::nullopt);
  EXPECT_EQ(PosicaoEmpresa(filiais, ""), std::nullopt);
  EXPECT_EQ(EmpresaDaPosicao(filiais, 2), "09");
  EXPECT_EQ(EmpresaDaPosicao(filiais, 1), "07");
  EXPECT_EQ(EmpresaDaPosicao(filiais, -1), "");
  EXPECT_EQ(EmpresaDaPosicao({}, 0), "");
}

TEST(Mapeamento, CarregaEstadoReadsEverySettingDespiteABadOne) {
  const QList<TFilial> filiais = {{"01", "Matriz"}, {"02", "Norte"}};
  TConfig config("Trovesk");
  config.Empresa = "02";
  config.Periodo = "semana";
  config.Transparencia = "40";
  config.SempreVisivel = "1";
  config.MostraPedidos = "x";

  EstadoConfiguracao estado;
  const QStringList erros = CarregaEstado(config, true, filiais, estado);
  ASSERT_EQ(erros.size(), 2) << erros.join('\n').toStdString();
  EXPECT_TRUE(erros[0].contains("Periodo") && erros[0].contains("semana"))
      << erros[0].toStdString();
  EXPECT_TRUE(erros[1].contains("MostraPedidos")) << erros[1].toStdString();
  EXPECT_EQ(estado.Empresa, 1);
  EXPECT_EQ(estado.Periodo, 0) << "a bad period leaves the first item, so a save repairs it";
  EXPECT_EQ(estado.Opacidade, 3);
  EXPECT_TRUE(estado.SempreVisivel);
  EXPECT_EQ(estado.MostraPedidos, 2) << "the order query counts every order for such a value";
}

TEST(Mapeamento, WithoutTheFileOnlyMostraPedidosIsTaken) {
  TConfig config("Trovesk");
  config.Empresa = "02";
  config.Periodo = "3";
  config.Transparencia = "20";
  config.SempreVisivel = "1";
  config.MostraPedidos = "1";
  EstadoConfiguracao estado;
  EXPECT_TRUE(CarregaEstado(config, false, {{"01", "A"}, {"02", "B"}}, estado).isEmpty());
  EXPECT_EQ(estado.Empresa, 0);
  EXPECT_EQ(estado.Periodo, 0);
  EXPECT_EQ(estado.Opacidade, 0);
  EXPECT_FALSE(estado.SempreVisivel);
  EXPECT_EQ(estado.MostraPedidos, 1);
}

TEST(Mapeamento, GravaEstadoLeavesWhatNothingSelectedCannotSay) {
  TConfig config("Trovesk");
  config.Empresa = "02";
  config.Periodo = "9";
  config.Transparencia = "50";
  config.SempreVisivel = "1";
  config.MostraPedidos = "2";
  GravaEstado({-1, -1, -1, -1, false}, {}, config);
  EXPECT_EQ(config.Empresa, "");
  EXPECT_EQ(config.Periodo, "9");
  EXPECT_EQ(config.Transparencia, "50");
  EXPECT_EQ(config.SempreVisivel, "0");
  EXPECT_EQ(config.MostraPedidos, "0");

  GravaEstado({1, 3, 1, 4, true}, {{"01", "A"}, {"02", "B"}}, config);
  EXPECT_EQ(config.Empresa, "02");
  EXPECT_EQ(config.Periodo, "3");
  EXPECT_EQ(config.Transparencia, "20");
  EXPECT_EQ(config.SempreVisivel, "1");
  EXPECT_EQ(config.MostraPedidos, "1");
}

// ---------------------------------------------------------------------------
// The real dialogs

// Drives modal windows without blocking: each step waits until the active
// modal window is of its kind, then runs (and must close it, or open the
// next one). Polling goes through fresh single-shot timers, so a step that
// opens a nested modal window (a message box over the dialog) is served too.
class ModalDriver : public QObject {
 public:
  template <class W>
  ModalDriver& then(std::function<void(W*)> acao) {
    passos_.push_back({[](QWidget* w) { return qobject_cast<W*>(w) != nullptr; },
                       [acao](QWidget* w) { acao(qobject_cast<W*>(w)); }});
    if (passos_.size() == 1) agenda();
    return *this;
  }
  ~ModalDriver() override {
    EXPECT_TRUE(passos_.empty()) << passos_.size() << " modal window(s) never appeared";
  }

 private:
  struct Passo {
    std::function<bool(QWidget*)> aceita;
    std::function<void(QWidget*)> executa;
  };
  void agenda() {
    QTimer::singleShot(5, this, [this] { verifica(); });
  }
  void verifica() {
    if (passos_.empty()) return;
    QWidget* w = QApplication::activeModalWidget();
    if (w != nullptr && w->isVisible() && passos_.front().aceita(w)) {
      Passo passo = std::move(passos_.front());
      passos_.pop_front();
      agenda();
      passo.executa(w);
      return;
    }
    // A watchdog, not a timing: gives up after about ten seconds instead of
    // hanging the test run.
    if (++tentativas_ > 2000) {
      ADD_FAILURE() << "the expected modal window did not appear";
      passos_.clear();
      if (w != nullptr) w->close();
      return;
    }
    agenda();
  }
  std::deque<Passo> passos_;
  int tentativas_ = 0;
};

template <class T>
T* filho(QWidget* w, const char* nome) {
  T* c = w->findChild<T*>(QLatin1String(nome));
  EXPECT_NE(c, nullptr) << nome;
  return c;
}

QStringList itens(QComboBox* lista) {
  QStringList r;
  for (int i = 0; i < lista->count(); ++i) r << lista->itemText(i);
  return r;
}

const char* const kFiliais =
    "INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA, FILIALATIVA) VALUES ('01', 'Matriz', 'S');"
    "INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA, FILIALATIVA) VALUES ('02', 'Filial Norte', 'S');"
    "INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA, FILIALATIVA) VALUES ('03', 'Filial Sul', 'N');"
    "INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA, FILIALATIVA) VALUES ('04', 'Filial Leste', 'S')";

// A settings file pointing at a fresh sample database, the settings loaded
// and the connection made, as start-up leaves them; a host window.
class DialogoConfiguracao : public ::testing::Test {
 protected:
  void Prepara(const QString& filiais, const QString& trovesk) {
    db_ = std::make_unique<test::TestDatabase>(filiais);
    home_.writeIniText("[Configuracoes]\nLocRem=L\nCaminhoBanco=" + db_->path() +
                       "\nUsuario=SYSDBA\nSenha=masterkey\n[Trovesk]\n" + trovesk);
    config_.CarregarIni();
    conexao_.setConfiguracao(config_.LocRem, config_.Protocolo, config_.Servidor,
                             config_.CaminhoBanco, config_.Usuario, config_.Senha);
    ASSERT_TRUE(conexao_.conectarBanco()) << db_->path().toStdString();
  }

  // The settings file as the program would read it anew.
  TConfig Relido() {
    TConfig c("Trovesk");
    c.CarregarIni();
    return c;
  }

  // The attachment's id: it changes when the connection is made again.
  qint64 Anexo() {
    Query q(conexao_.getBancoDados());
    q.setTransaction(conexao_.getTransaction());
    q.sql() << "SELECT CURRENT_CONNECTION AS ANEXO FROM RDB$DATABASE";
    q.open();
    return q.fieldByName("ANEXO").asInteger();
  }

  std::unique_ptr<TFrmConfiguracao> Cria() {
    auto dialogo = std::make_unique<TFrmConfiguracao>(config_, conexao_, &host_);
    dialogo->AdicionaGadget([this] { ++atualizacoes_; });
    dialogo->show();
    return dialogo;
  }

  QApplication& app_ = app();  // before any widget
  test::TestConfigHome home_;
  std::unique_ptr<test::TestDatabase> db_;
  TConfig config_{"Trovesk"};
  TConexao conexao_;
  QWidget host_;
  int atualizacoes_ = 0;
};

TEST_F(DialogoConfiguracao, ControlsAreLaidOutWithTheirTexts) {
  Prepara(kFiliais, "");
  auto d = Cria();
  EXPECT_EQ(d->size(), QSize(223, 279));
  EXPECT_EQ(d->windowTitle(), "Configurações");
  struct Controle {
    const char* nome;
    const char* pai;
    QRect geometria;
  };
  const Controle controles[] = {
      {"RConfig", "FrmConfiguracao", {-3, -4, 229, 277}},
      {"Label1", "RConfig", {8, 3, 217, 31}},
      {"Label2", "RConfig", {15, 38, 120, 15}},
      {"ppbEmpresas", "RConfig", {14, 53, 199, 21}},
      {"ppbPeriodo", "RConfig", {14, 92, 199, 21}},
      {"lblPedidos", "FrmConfiguracao", {11, 112, 120, 15}},
      {"ppbMostraPedidos", "FrmConfiguracao", {11, 126, 198, 21}},
      {"Line1", "RConfig", {14, 158, 199, 6}},
      {"lblOpacidade", "RConfig", {15, 160, 120, 15}},
      {"ppbOpacidade", "RConfig", {14, 176, 199, 21}},
      {"ckbSempreVisivel", "RConfig", {13, 198, 120, 19}},
      {"btnSalvarConf", "RConfig", {31, 224, 80, 22}},
      {"BtnCancelarConf", "RConfig", {118, 224, 80, 22}},
  };
  for (const auto& c : controles) {
    QWidget* w = filho<QWidget>(d.get(), c.nome);
    if (w == nullptr) continue;
    EXPECT_EQ(w->geometry(), c.geometria) << c.nome;
    EXPECT_EQ(w->parentWidget()->objectName(), c.pai) << c.nome;
  }
  EXPECT_EQ(filho<QWidget>(d.get(), "lblPerido")->pos(), QPoint(15, 76));
  EXPECT_EQ(filho<QLabel>(d.get(), "lblPerido")->text(), "Período");
  EXPECT_EQ(filho<QLabel>(d.get(), "Label1")->text(), "Rentabilidade");
  EXPECT_EQ(filho<QLabel>(d.get(), "Label2")->text(), "Filial");
  EXPECT_EQ(filho<QLabel>(d.get(), "lblPedidos")->text(), "Considerar Pedidos");
  EXPECT_EQ(filho<QLabel>(d.get(), "lblOpacidade")->text(), "Opacidade");
  EXPECT_EQ(filho<QCheckBox>(d.get(), "ckbSempreVisivel")->text(), "Sempre Visível");
  EXPECT_EQ(filho<QPushButton>(d.get(), "btnSalvarConf")->text(), "Salvar");
  EXPECT_EQ(filho<QPushButton>(d.get(), "BtnCancelarConf")->text(), "Cancelar");
  EXPECT_EQ(itens(filho<QComboBox>(d.get(), "ppbPeriodo")),
            QStringList({"Diário", "Semanal", "Mensal", "Anual"}));
  EXPECT_EQ(itens(filho<QComboBox>(d.get(), "ppbMostraPedidos")),
            QStringList({"Apenas Faturados", "Apenas Gravados", "Todos os Pedidos"}));
  EXPECT_EQ(itens(filho<QComboBox>(d.get(), "ppbOpacidade")),
            QStringList({"100%", "  80%", "  60%", "  40%", "  20%"}));
}

TEST_F(DialogoConfiguracao, OpensWithTheSettingsOfTheFile) {
  Prepara(kFiliais, "Empresa=04\nPeriodo=2\nMostraPedidos=1\nTransparencia=60\nSempreVisivel=1\n");
  auto d = Cria();
  auto* empresas = filho<QComboBox>(d.get(), "ppbEmpresas");
  EXPECT_EQ(itens(empresas), QStringList({"Matriz", "Filial Norte", "Filial Leste"}))
      << "active branches only, in the database's order";
  EXPECT_EQ(empresas->currentText(), "Filial Leste");
  EXPECT_EQ(filho<QComboBox>(d.get(), "ppbPeriodo")->currentText(), "Mensal");
  EXPECT_EQ(filho<QComboBox>(d.get(), "ppbMostraPedidos")->currentText(), "Apenas Gravados");
  EXPECT_EQ(filho<QComboBox>(d.get(), "ppbOpacidade")->currentText(), "  60%");
  EXPECT_TRUE(filho<QCheckBox>(d.get(), "ckbSempreVisivel")->isChecked());
}

TEST_F(DialogoConfiguracao, SaveWritesTheFileReconnectsAndRefreshesInThatOrder) {
  Prepara(kFiliais,
          "Empresa=01\nPeriodo=0\nMostraPedidos=0\nTransparencia=100\n"
          "SempreVisivel=0\nAtualizaDados=5\nMeta=123\n");
  auto d = Cria();
  const qint64 anexoAntes = Anexo();
  QString periodoNoArquivo;
  qint64 anexoNaAtualizacao = 0;
  d->AdicionaGadget([&] {
    ++atualizacoes_;
    periodoNoArquivo = Relido().Periodo;
    anexoNaAtualizacao = Anexo();
  });

  filho<QComboBox>(d.get(), "ppbEmpresas")->setCurrentIndex(1);
  filho<QComboBox>(d.get(), "ppbPeriodo")->setCurrentIndex(3);
  filho<QComboBox>(d.get(), "ppbMostraPedidos")->setCurrentIndex(2);
  filho<QComboBox>(d.get(), "ppbOpacidade")->setCurrentIndex(1);
  filho<QCheckBox>(d.get(), "ckbSempreVisivel")->setChecked(true);
  filho<QPushButton>(d.get(), "btnSalvarConf")->click();

  EXPECT_EQ(atualizacoes_, 1);
  EXPECT_FALSE(d->isVisible()) << "a save closes the dialog";
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(periodoNoArquivo, "3") << "the file is written before the refresh";
  EXPECT_NE(anexoNaAtualizacao, anexoAntes) << "the refresh runs on a new attachment";
  EXPECT_TRUE(conexao_.conectado());

  const TConfig salvo = Relido();
  EXPECT_EQ(salvo.Empresa, "02");
  EXPECT_EQ(salvo.Periodo, "3");
  EXPECT_EQ(salvo.MostraPedidos, "2");
  EXPECT_EQ(salvo.Transparencia, "80");
  EXPECT_EQ(salvo.SempreVisivel, "1");
  EXPECT_EQ(salvo.AtualizaDados, "5") << "other settings survive";
  EXPECT_EQ(salvo.Meta, "123");
  EXPECT_EQ(config_.Empresa, "02") << "the gadget's settings in memory";
  EXPECT_EQ(config_.Transparencia, "80");
}

TEST_F(DialogoConfiguracao, AnOpacityOffTheListOpensAtFullAndSavesIt) {
  Prepara(kFiliais, "Transparencia=50\n");
  auto d = Cria();
  EXPECT_EQ(filho<QComboBox>(d.get(), "ppbOpacidade")->currentText(), "100%");
  filho<QPushButton>(d.get(), "btnSalvarConf")->click();
  EXPECT_EQ(Relido().Transparencia, "100");
}

TEST_F(DialogoConfiguracao, AnInactiveBranchOpensAtTheFirstOneAndSavesItsCode) {
  Prepara(kFiliais, "Empresa=03\n");
  auto d = Cria();
  EXPECT_EQ(filho<QComboBox>(d.get(), "ppbEmpresas")->currentText(), "Matriz");
  filho<QPushButton>(d.get(), "btnSalvarConf")->click();
  EXPECT_EQ(Relido().Empresa, "01");
}

TEST_F(DialogoConfiguracao, NoActiveBranchListsNothingAndSavesAnEmptyBranch) {
  Prepara("INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA, FILIALATIVA) VALUES ('01', 'Velha', 'N')",
          "Empresa=01\n");
  auto d = Cria();
  auto* empresas = filho<QComboBox>(d.get(), "ppbEmpresas");
  EXPECT_EQ(empresas->count(), 0);
  EXPECT_EQ(empresas->currentIndex(), -1);
  filho<QPushButton>(d.get(), "btnSalvarConf")->click();
  EXPECT_EQ(Relido().Empresa, "");
  EXPECT_TRUE(home_.readIni().contains("Empresa=\r\n") || home_.readIni().contains("Empresa=\n"))
      << home_.readIni().toStdString();
  EXPECT_EQ(atualizacoes_, 1);
}

TEST_F(DialogoConfiguracao, TwoBranchesOfTheSameNameStayApart) {
  Prepara(
      "INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA, FILIALATIVA) VALUES ('10', 'Loja', 'S');"
      "INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA, FILIALATIVA) VALUES ('20', 'Loja', 'S')",
      "Empresa=20\n");
  auto d = Cria();
  auto* empresas = filho<QComboBox>(d.get(), "ppbEmpresas");
  EXPECT_EQ(empresas->currentIndex(), 1);
  // Saving without touching the list keeps the second branch.
  filho<QPushButton>(d.get(), "btnSalvarConf")->click();
  EXPECT_EQ(Relido().Empresa, "20");
  d->show();
  empresas->setCurrentIndex(0);
  filho<QPushButton>(d.get(), "btnSalvarConf")->click();
  EXPECT_EQ(Relido().Empresa, "10");
}

TEST_F(DialogoConfiguracao, AnUnwritableFileIsReportedAndNothingIsLost) {
  Prepara(kFiliais, "Empresa=01\nPeriodo=0\n");
  auto d = Cria();
  const qint64 anexoAntes = Anexo();
  const QByteArray arquivoAntes = home_.readIni();
  filho<QComboBox>(d.get(), "ppbPeriodo")->setCurrentIndex(2);
  filho<QComboBox>(d.get(), "ppbEmpresas")->setCurrentIndex(1);

  QString mensagem;
  {
    ModalDriver driver;
    driver.then<QMessageBox>([&](QMessageBox* box) {
      mensagem = box->text();
      EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
      box->accept();
    });
    test::FailingFileWrites falha;
    filho<QPushButton>(d.get(), "btnSalvarConf")->click();
  }
  EXPECT_TRUE(mensagem.contains("ConfigGadGet.Ini")) << mensagem.toStdString();
  EXPECT_TRUE(d->isVisible()) << "the dialog stays open";
  EXPECT_EQ(filho<QComboBox>(d.get(), "ppbPeriodo")->currentIndex(), 2) << "the choices stay";
  EXPECT_EQ(atualizacoes_, 0);
  EXPECT_EQ(Anexo(), anexoAntes) << "no reconnection";
  EXPECT_EQ(home_.readIni(), arquivoAntes);
  EXPECT_EQ(config_.Periodo, "0") << "memory keeps what the file holds";
  EXPECT_EQ(config_.Empresa, "01");

  // Once the file can be written again the same choices are saved.
  filho<QPushButton>(d.get(), "btnSalvarConf")->click();
  EXPECT_EQ(Relido().Periodo, "2");
  EXPECT_EQ(Relido().Empresa, "02");
  EXPECT_EQ(atualizacoes_, 1);
}

TEST_F(DialogoConfiguracao, ARefreshErrorIsShownAfterTheSave) {
  Prepara(kFiliais, "Periodo=0\n");
  auto d = Cria();
  d->AdicionaGadget([] { throw DatabaseError("conexão perdida com o banco"); });
  filho<QComboBox>(d.get(), "ppbPeriodo")->setCurrentIndex(1);
  QString mensagem, detalhes;
  {
    ModalDriver driver;
    driver.then<QMessageBox>([&](QMessageBox* box) {
      mensagem = box->text();
      detalhes = box->detailedText();
      box->accept();
    });
    filho<QPushButton>(d.get(), "btnSalvarConf")->click();
  }
  EXPECT_TRUE(mensagem.startsWith("Não foi possível ler os dados do banco de dados"))
      << mensagem.toStdString();
  EXPECT_EQ(detalhes, "conexão perdida com o banco");
  EXPECT_EQ(Relido().Periodo, "1") << "the settings were saved before the refresh";
}

TEST_F(DialogoConfiguracao, BadNumbersAreReportedAndTheDialogStillOpens) {
  Prepara(kFiliais, "Empresa=02\nPeriodo=mensal\nTransparencia=60\nSempreVisivel=1\n");
  QString mensagem;
  int periodo = -2;
  QString opacidade;
  bool sempreVisivel = false;
  {
    ModalDriver driver;
    driver
        .then<QMessageBox>([&](QMessageBox* box) {
          mensagem = box->text();
          box->accept();
        })
        .then<TFrmConfiguracao>([&](TFrmConfiguracao* dlg) {
          periodo = filho<QComboBox>(dlg, "ppbPeriodo")->currentIndex();
          opacidade = filho<QComboBox>(dlg, "ppbOpacidade")->currentText();
          sempreVisivel = filho<QCheckBox>(dlg, "ckbSempreVisivel")->isChecked();
          filho<QPushButton>(dlg, "btnSalvarConf")->click();
        });
    AbreConfiguracao(config_, conexao_, &host_, {{0, 0}, {0, 0, 355, 221}},
                     [this] { ++atualizacoes_; });
  }
  EXPECT_TRUE(mensagem.contains("Periodo") && mensagem.contains("mensal"))
      << mensagem.toStdString();
  EXPECT_EQ(periodo, 0);
  EXPECT_EQ(opacidade, "  60%") << "the settings after the bad one are still read";
  EXPECT_TRUE(sempreVisivel);
  EXPECT_EQ(Relido().Periodo, "0") << "a save repairs the period";
  EXPECT_EQ(Relido().SempreVisivel, "1");
  EXPECT_EQ(atualizacoes_, 1);
}

TEST_F(DialogoConfiguracao, APeriodOffTheListIsShownAsNoneAndKept) {
  Prepara(kFiliais, "Periodo=4\nDataInicial=01/01/2024\nDataFinal=31/03/2024\n");
  auto d = Cria();
  EXPECT_EQ(filho<QComboBox>(d.get(), "ppbPeriodo")->currentIndex(), -1);
  filho<QPushButton>(d.get(), "btnSalvarConf")->click();
  EXPECT_EQ(Relido().Periodo, "4");
}

TEST_F(DialogoConfiguracao, ReopeningShowsTheDialogAsLeftAndListsBranchesOnce) {
  Prepara(kFiliais, "Periodo=0\n");
  const GeometriaGadget geometria{{300, 40}, {0, 0, 355, 221}};
  TFrmConfiguracao* primeiro = nullptr;
  {
    ModalDriver driver;
    driver.then<TFrmConfiguracao>([&](TFrmConfiguracao* dlg) {
      primeiro = dlg;
      EXPECT_EQ(dlg->pos(), QPoint(366, 40)) << "centred over the face, top at the panel";
      filho<QComboBox>(dlg, "ppbPeriodo")->setCurrentIndex(2);
      filho<QPushButton>(dlg, "BtnCancelarConf")->click();
    });
    AbreConfiguracao(config_, conexao_, &host_, geometria, [this] { ++atualizacoes_; });
  }
  EXPECT_EQ(config_.Periodo, "0") << "cancel saves nothing";
  EXPECT_EQ(Relido().Periodo, "0");
  EXPECT_EQ(atualizacoes_, 0);

  db_->exec(
      "INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA, FILIALATIVA) VALUES ('05', 'Nova', 'S')");
  int periodo = -2;
  int empresas = 0;
  {
    ModalDriver driver;
    driver.then<TFrmConfiguracao>([&](TFrmConfiguracao* dlg) {
      EXPECT_EQ(dlg, primeiro);
      periodo = filho<QComboBox>(dlg, "ppbPeriodo")->currentIndex();
      empresas = filho<QComboBox>(dlg, "ppbEmpresas")->count();
      filho<QPushButton>(dlg, "BtnCancelarConf")->click();
    });
    AbreConfiguracao(config_, conexao_, &host_, geometria, [this] { ++atualizacoes_; });
  }
  EXPECT_EQ(periodo, 2) << "the unsaved edit is still there";
  EXPECT_EQ(empresas, 3) << "the branch list is read once";
  EXPECT_EQ(FrmConfiguracao(), primeiro);
}

TEST_F(DialogoConfiguracao, ABranchListThatCannotBeReadIsReportedAndRetried) {
  Prepara("DROP TABLE FILIAIS", "");
  QString mensagem, detalhes;
  {
    ModalDriver driver;
    driver.then<QMessageBox>([&](QMessageBox* box) {
      mensagem = box->text();
      detalhes = box->detailedText();
      box->accept();
    });
    AbreConfiguracao(config_, conexao_, &host_, {{0, 0}, {0, 0, 355, 221}}, [] {});
  }
  // The table in the text, the statement in the details.
  EXPECT_TRUE(mensagem.contains("o banco não tem a tabela FILIAIS")) << mensagem.toStdString();
  EXPECT_TRUE(detalhes.contains("SELECT CODEMPRESA, NOMEEMPRESA FROM FILIAIS"))
      << detalhes.toStdString();
  EXPECT_EQ(FrmConfiguracao(), nullptr) << "no half-made dialog is kept";

  db_->exec(
      "CREATE TABLE FILIAIS (CODEMPRESA VARCHAR(6) NOT NULL, NOMEEMPRESA VARCHAR(60),"
      " FILIALATIVA CHAR(1));" +
      QString(kFiliais));
  int empresas = 0;
  {
    ModalDriver driver;
    driver.then<TFrmConfiguracao>([&](TFrmConfiguracao* dlg) {
      empresas = filho<QComboBox>(dlg, "ppbEmpresas")->count();
      dlg->reject();
    });
    AbreConfiguracao(config_, conexao_, &host_, {{0, 0}, {0, 0, 355, 221}}, [] {});
  }
  EXPECT_EQ(empresas, 3) << "the next opening tries again";
}

TEST_F(DialogoConfiguracao, WithoutAConnectionTheErrorIsShown) {
  Prepara(kFiliais, "");
  TConexao semBanco;  // never connected
  QString mensagem;
  {
    ModalDriver driver;
    driver.then<QMessageBox>([&](QMessageBox* box) {
      mensagem = box->text();
      box->accept();
    });
    AbreConfiguracao(config_, semBanco, &host_, {{0, 0}, {0, 0, 355, 221}}, [] {});
  }
  EXPECT_FALSE(mensagem.isEmpty());
  EXPECT_EQ(FrmConfiguracao(), nullptr);
}

// ---------------------------------------------------------------------------

// A function, not a global: a QPixmap, even a null one, needs the application.
InformacoesGadget Rentabilidade() {
  return {
      "Rentabilidade",
      "21.08ba",
      "Kontavix - Rotina PDV: Consulta da Rentabilidade de Pedidos",
      "Este gadget exibe o valor (R$) que está em inadimplência bem como a porcentagem que este "
      "valor representa perante o montante esperado.",
      {}};
}

class DialogoAbout : public ::testing::Test {
 protected:
  QApplication& app_ = app();  // before any widget
  QWidget host_;
};

TEST_F(DialogoAbout, ShowsTheGadgetsTextsInItsLayout) {
  const InformacoesGadget kRentabilidade = Rentabilidade();
  TfrmAbout about(&host_);
  about.CarregaInformacoes(&kRentabilidade);
  EXPECT_EQ(about.size(), QSize(380, 204));
  struct Rotulo {
    const char* nome;
    QRect geometria;
    QString texto;
  };
  const Rotulo rotulos[] = {
      {"lblTitulo", {75, 15, 288, 32}, kRentabilidade.Titulo},
      {"lblVer", {5, 61, 76, 15}, "Versão:"},
      {"lblVersao", {85, 61, 290, 15}, kRentabilidade.Versao},
      {"lblRC", {5, 82, 76, 15}, "Equivalência:"},
      {"lblRelCons", {85, 82, 290, 15}, kRentabilidade.RelCons},
      {"lblDesc", {5, 103, 76, 15}, "Descrição:"},
      {"txtDescricao", {87, 103, 286, 62}, kRentabilidade.Descricao},
  };
  for (const auto& r : rotulos) {
    auto* label = filho<QLabel>(&about, r.nome);
    if (label == nullptr) continue;
    EXPECT_EQ(label->geometry(), r.geometria) << r.nome;
    EXPECT_EQ(label->text(), r.texto) << r.nome;
  }
  for (const char* nome : {"lblTitulo", "lblVer", "lblVersao", "lblRC", "lblRelCons", "lblDesc"}) {
    const QLabel* label = filho<QLabel>(&about, nome);
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
        << nome << ": the one-line text must not be cut";
  }
  EXPECT_TRUE(filho<QLabel>(&about, "txtDescricao")->wordWrap());
  EXPECT_EQ(filho<QWidget>(&about, "imgIcone")->geometry(), QRect(17, 4, 55, 55));
  EXPECT_EQ(filho<QWidget>(&about, "imgLogo")->geometry(), QRect(320, 176, 53, 17));
  auto* ok = filho<QPushButton>(&about, "btnOk");
  EXPECT_EQ(ok->geometry(), QRect(150, 173, 80, 22));
  EXPECT_EQ(ok->text(), "OK");

  // An absent gadget changes nothing; empty texts show as empty.
  about.CarregaInformacoes(nullptr);
  EXPECT_EQ(filho<QLabel>(&about, "lblTitulo")->text(), "Rentabilidade");
  InformacoesGadget vazio{"Velmoor Gadgets", "17.04bb", "", "", {}};
  about.CarregaInformacoes(&vazio);
  EXPECT_EQ(filho<QLabel>(&about, "lblRelCons")->text(), "");
  EXPECT_EQ(filho<QLabel>(&about, "txtDescricao")->text(), "");
}

TEST_F(DialogoAbout, OpensTwiceAlikeAndStaysOnScreenAtTheLeftEdge) {
  const QRect tela = QGuiApplication::primaryScreen()->geometry();
  struct Abertura {
    QPoint pos;
    QString titulo;
    bool focoNoOk = false;
    TfrmAbout* dialogo = nullptr;
  };
  auto abre = [&](const GeometriaGadget& geometria) {
    Abertura a;
    ModalDriver driver;
    driver.then<TfrmAbout>([&](TfrmAbout* dlg) {
      a.pos = dlg->pos();
      a.titulo = filho<QLabel>(dlg, "lblTitulo")->text();
      a.focoNoOk = dlg->focusWidget() == filho<QPushButton>(dlg, "btnOk");
      a.dialogo = dlg;
      filho<QPushButton>(dlg, "btnOk")->click();
    });
    AbreAbout(&host_, Rentabilidade(), geometria);
    return a;
  };
  // The panel at the screen's left edge: 380 over a 355 face would overhang.
  const GeometriaGadget naBorda{{tela.x(), tela.y() + 30}, {0, 0, 355, 221}};
  const Abertura primeira = abre(naBorda);
  const Abertura segunda = abre(naBorda);
  EXPECT_EQ(primeira.pos, QPoint(tela.x(), tela.y() + 30));
  EXPECT_EQ(segunda.pos, primeira.pos);
  EXPECT_EQ(primeira.titulo, "Rentabilidade");
  EXPECT_EQ(segunda.titulo, "Rentabilidade");
  EXPECT_TRUE(primeira.focoNoOk);
  EXPECT_EQ(segunda.dialogo, primeira.dialogo) << "one box, reused";
  EXPECT_EQ(frmAbout(), primeira.dialogo);

  const Abertura meio = abre({{tela.x() + 200, tela.y() + 30}, {0, 0, 355, 221}});
  EXPECT_EQ(meio.pos, QPoint(tela.x() + 188, tela.y() + 30)) << "12.5 to the left, to even";
}

}  // namespace
}  // namespace margivo
