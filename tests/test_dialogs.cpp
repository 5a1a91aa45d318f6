// The settings dialog and the about box: placement over the panel, the
// mappings between controls and settings, and the real dialogs on a real
// sample database (offscreen platform).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "dialogs/about.h"
#include "dialogs/confgadget.h"
#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/db/query.h"
#include "framework/gui/posicao.h"
#include "framework/regional.h"
#include "tests/support/testdb.h"
#include "tests/support/testenv.h"

namespace margivo {
namespace {

// Never destroyed: destroyed at exit, after Qt's own registries, it would
// crash on the keyboard device the key events of a test bring into being.
QApplication& app() {
  static int argc = 1;
  static char nome[] = "test_dialogs";
  static char* argv[] = {nome, nullptr};
  static QApplication* instancia = new QApplication(argc, argv);
  return *instancia;
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
  config.AtualizaDados = "5";
  GravaEstado({.Empresa = -1,
               .Periodo = -1,
               .MostraPedidos = -1,
               .Opacidade = -1,
               .AtualizaDados = 0,
               .SempreVisivel = false},
              {}, config);
  EXPECT_EQ(config.Empresa, "");
  EXPECT_EQ(config.Periodo, "9");
  EXPECT_EQ(config.Transparencia, "50");
  EXPECT_EQ(config.SempreVisivel, "0");
  EXPECT_EQ(config.MostraPedidos, "0");
  EXPECT_EQ(config.AtualizaDados, "0");

  GravaEstado({.Empresa = 1,
               .Periodo = 3,
               .MostraPedidos = 1,
               .Opacidade = 4,
               .AtualizaDados = 15,
               .SempreVisivel = true},
              {{"01", "A"}, {"02", "B"}}, config);
  EXPECT_EQ(config.Empresa, "02");
  EXPECT_EQ(config.Periodo, "3");
  EXPECT_EQ(config.Transparencia, "20");
  EXPECT_EQ(config.SempreVisivel, "1");
  EXPECT_EQ(config.MostraPedidos, "1");
  EXPECT_EQ(config.AtualizaDados, "15");
}

TEST(Mapeamento, TheRefreshIntervalIsWholeMinutesWithinADay) {
  const struct {
    const char* valor;
    std::optional<int> minutos;
  } casos[] = {
      {"1", 1},       {"15", 15},      {" 30 ", 30}, {"0", 0},           {"1440", 1440},
      {"1441", 1440}, {"99999", 1440}, {"-3", 0},    {"", std::nullopt},
  };
  for (const auto& c : casos)
    EXPECT_EQ(MinutosAtualizacao(c.valor), c.minutos) << "AtualizaDados \"" << c.valor << "\"";
  for (int m : {0, 1, 59, 1440}) EXPECT_EQ(MinutosAtualizacao(AtualizaDadosDosMinutos(m)), m) << m;
  EXPECT_EQ(AtualizaDadosDosMinutos(5000), "1440");
  EXPECT_EQ(AtualizaDadosDosMinutos(-1), "0");
  for (const char* ruim : {"1,5", "cinco", "5min"}) {
    try {
      MinutosAtualizacao(ruim);
      ADD_FAILURE() << ruim << ": no error";
    } catch (const ConversionError& e) {
      EXPECT_NE(std::string(e.what()).find("AtualizaDados"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(ruim), std::string::npos) << e.what();
    }
  }
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
  // `emUso`: the connection stays in use for the test, so that one
  // attachment (and its id, see Anexo) lasts from look-up to look-up, as in
  // remote mode; otherwise local mode attaches for each look-up alone.
  void Prepara(const QString& filiais, const QString& trovesk, bool emUso = true) {
    db_ = std::make_unique<test::TestDatabase>(filiais);
    home_.writeIniText("[Configuracoes]\nLocRem=L\nCaminhoBanco=" + db_->path() +
                       "\nUsuario=SYSDBA\nSenha=masterkey\n[Trovesk]\n" + trovesk);
    config_.CarregarIni();
    conexao_.setConfiguracao(config_.LocRem, config_.Protocolo, config_.Servidor,
                             config_.CaminhoBanco, config_.Usuario, config_.Senha);
    ASSERT_NO_THROW(conexao_.conectarBanco()) << db_->path().toStdString();
    if (emUso) emUso_.emplace(conexao_);
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
  std::optional<ScopedAttachment> emUso_;
  QWidget host_;
  int atualizacoes_ = 0;
};

// In local mode the branch list is one look-up: once it is read the file is
// let go, and another process opens it while the dialog is open.
TEST_F(DialogoConfiguracao, TheBranchListLetsTheFileGo) {
  Prepara(kFiliais, "", false);
  db_->database().detach();  // the test's own attachment
  auto d = Cria();
  EXPECT_EQ(filho<QComboBox>(d.get(), "ppbEmpresas")->count(), 3);
  EXPECT_FALSE(conexao_.conectado());
  const test::OtherProcessRun outro =
      test::runInAnotherProcess(db_->path(), "SELECT NOMEEMPRESA FROM FILIAIS;\n");
  EXPECT_TRUE(outro.succeeded()) << outro.output.toStdString();
  EXPECT_TRUE(outro.output.contains("Filial Norte")) << outro.output.toStdString();
}

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
      {"lblOpacidade", "RConfig", {15, 160, 95, 15}},
      {"ppbOpacidade", "RConfig", {14, 176, 95, 21}},
      {"lblAtualizaDados", "RConfig", {119, 160, 94, 15}},
      {"spbAtualizaDados", "RConfig", {118, 176, 95, 21}},
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
  EXPECT_EQ(filho<QLabel>(d.get(), "lblAtualizaDados")->text(), "Atualização");
  auto* intervalo = filho<QSpinBox>(d.get(), "spbAtualizaDados");
  EXPECT_EQ(intervalo->minimum(), 0);
  EXPECT_EQ(intervalo->maximum(), 1440);
  EXPECT_EQ(intervalo->text(), "1 min");
  intervalo->setValue(0);
  EXPECT_EQ(intervalo->text(), "Desligada");
  // Every caption fits its label, every value its control.
  for (const char* nome :
       {"Label2", "lblPerido", "lblPedidos", "lblOpacidade", "lblAtualizaDados"}) {
    const QLabel* l = filho<QLabel>(d.get(), nome);
    EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width()) << nome;
  }
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

// The contrast ratio of two colours as the accessibility guidelines define
// it, from 1 (the same luminance) to 21 (black on white).
double Contraste(QColor a, QColor b) {
  const auto luminancia = [](QColor c) {
    const auto canal = [](double v) {
      return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * canal(c.redF()) + 0.7152 * canal(c.greenF()) + 0.0722 * canal(c.blueF());
  };
  const double la = luminancia(a), lb = luminancia(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// An unchecked box must stand out from the dialog behind it, and the checked
// one from the unchecked one: the pixels of the indicator as drawn, against
// the dialog's own pixels just beside it.
TEST_F(DialogoConfiguracao, TheCheckBoxIsVisibleCheckedAndUnchecked) {
  Prepara(kFiliais, "SempreVisivel=0\n");
  auto d = Cria();
  auto* caixa = filho<QCheckBox>(d.get(), "ckbSempreVisivel");
  QStyleOptionButton opcao;
  opcao.initFrom(caixa);
  const QRect indicador = caixa->style()
                              ->subElementRect(QStyle::SE_CheckBoxIndicator, &opcao, caixa)
                              .translated(caixa->mapTo(d.get(), QPoint(0, 0)));
  ASSERT_FALSE(indicador.isEmpty());
  const auto desenho = [&](bool marcado) {
    caixa->setChecked(marcado);
    return d->grab().toImage().convertToFormat(QImage::Format_ARGB32);
  };
  // The dialog's background: left of the box, where nothing else is drawn.
  const QImage desmarcado = desenho(false);
  const QColor fundo = desmarcado.pixelColor(indicador.left() - 3, indicador.center().y());
  double maior = 0;
  for (int y = indicador.top(); y <= indicador.bottom(); ++y)
    for (int x = indicador.left(); x <= indicador.right(); ++x)
      maior = std::max(maior, Contraste(desmarcado.pixelColor(x, y), fundo));
  EXPECT_GE(maior, 3.0) << "the unchecked box against the background "
                        << fundo.name().toStdString();

  const QImage marcado = desenho(true);
  int diferentes = 0;
  for (int y = indicador.top(); y <= indicador.bottom(); ++y)
    for (int x = indicador.left(); x <= indicador.right(); ++x)
      if (Contraste(marcado.pixelColor(x, y), desmarcado.pixelColor(x, y)) >= 3.0) ++diferentes;
  EXPECT_GE(diferentes, indicador.width() * indicador.height() / 5)
      << "checking must change a good part of the box clearly";
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
  Prepara(kFiliais,
          "Empresa=02\nPeriodo=mensal\nTransparencia=60\nSempreVisivel=1\nAtualizaDados=dez\n");
  QString mensagem;
  int periodo = -2;
  QString opacidade;
  bool sempreVisivel = false;
  QString intervalo;
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
          intervalo = filho<QSpinBox>(dlg, "spbAtualizaDados")->text();
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
  EXPECT_TRUE(mensagem.contains("AtualizaDados") && mensagem.contains("dez"))
      << mensagem.toStdString();
  EXPECT_EQ(intervalo, "1 min") << "the program's default";
  EXPECT_EQ(Relido().AtualizaDados, "1") << "a save repairs the interval";
  EXPECT_EQ(atualizacoes_, 1);
}

// A key pressed and released where the keyboard focus is in `janela`.
void Tecla(QWidget* janela, Qt::Key tecla, const QString& texto = {}) {
  QWidget* alvo = janela->focusWidget() != nullptr ? janela->focusWidget() : janela;
  QKeyEvent aperta(QEvent::KeyPress, tecla, Qt::NoModifier, texto);
  QKeyEvent solta(QEvent::KeyRelease, tecla, Qt::NoModifier, texto);
  QApplication::sendEvent(alvo, &aperta);
  QApplication::sendEvent(alvo, &solta);
}

// Fails the test and closes `dlg` when it is still open: a step that
// should have closed it must not leave the test waiting for ever.
void DeveTerFechado(QDialog* dlg, const char* motivo) {
  if (!dlg->isVisible()) return;
  ADD_FAILURE() << motivo;
  dlg->reject();
}

TEST_F(DialogoConfiguracao, EnterSavesAndEscapeCancels) {
  Prepara(kFiliais, "Periodo=0\nAtualizaDados=5\n");
  const GeometriaGadget geometria{{0, 0}, {0, 0, 355, 221}};
  const auto abre = [&](std::function<void(TFrmConfiguracao*)> acao) {
    ModalDriver driver;
    driver.then<TFrmConfiguracao>([acao](TFrmConfiguracao* dlg) {
      acao(dlg);
      DeveTerFechado(dlg, "the key left the dialog open");
    });
    AbreConfiguracao(config_, conexao_, &host_, geometria, [this] { ++atualizacoes_; });
  };

  abre([](TFrmConfiguracao* dlg) {
    filho<QComboBox>(dlg, "ppbPeriodo")->setCurrentIndex(2);
    Tecla(dlg, Qt::Key_Escape);
  });
  EXPECT_FALSE(FrmConfiguracao()->isVisible());
  EXPECT_EQ(Relido().Periodo, "0") << "Esc saves nothing";
  EXPECT_EQ(atualizacoes_, 0);

  abre([](TFrmConfiguracao* dlg) {
    filho<QPushButton>(dlg, "BtnCancelarConf")->setFocus();
    Tecla(dlg, Qt::Key_Return);
  });
  EXPECT_EQ(Relido().Periodo, "0") << "Enter on \"Cancelar\" cancels";
  EXPECT_EQ(atualizacoes_, 0);

  abre([](TFrmConfiguracao* dlg) {
    auto* periodo = filho<QComboBox>(dlg, "ppbPeriodo");
    periodo->setFocus();
    periodo->setCurrentIndex(3);
    Tecla(dlg, Qt::Key_Return);
  });
  EXPECT_EQ(Relido().Periodo, "3") << "Enter in a list saves";
  EXPECT_EQ(atualizacoes_, 1);

  // Minutes typed into the interval and Enter at once: what was typed.
  abre([](TFrmConfiguracao* dlg) {
    auto* intervalo = filho<QSpinBox>(dlg, "spbAtualizaDados");
    EXPECT_EQ(intervalo->value(), 5);
    intervalo->setFocus();
    intervalo->selectAll();
    Tecla(dlg, Qt::Key_4, "4");
    Tecla(dlg, Qt::Key_5, "5");
    Tecla(dlg, Qt::Key_Enter);
  });
  EXPECT_EQ(Relido().AtualizaDados, "45");
  EXPECT_EQ(config_.AtualizaDados, "45");
  EXPECT_EQ(atualizacoes_, 2);
}

TEST_F(DialogoConfiguracao, AnIntervalOffTheRangeOpensAtItsNearestEnd) {
  const struct {
    const char* arquivo;
    const char* mostrado;
    const char* salvo;
  } casos[] = {{"-5", "Desligada", "0"}, {"0", "Desligada", "0"}, {"5000", "1440 min", "1440"}};
  for (const auto& c : casos) {
    Prepara(kFiliais, QStringLiteral("AtualizaDados=%1\n").arg(c.arquivo));
    auto d = Cria();
    EXPECT_EQ(filho<QSpinBox>(d.get(), "spbAtualizaDados")->text(), c.mostrado) << c.arquivo;
    filho<QPushButton>(d.get(), "btnSalvarConf")->click();
    EXPECT_EQ(Relido().AtualizaDados, c.salvo) << c.arquivo;
  }
}

// A refresh at work, as the gadget's AposTrabalho: actions wait for its end.
struct AtualizacaoEmCurso {
  bool trabalhando = true;
  std::vector<std::function<void()>> pendentes;

  TFrmConfiguracao::AposAtualizacao gancho() {
    return [this](std::function<void()> acao) {
      if (trabalhando)
        pendentes.push_back(std::move(acao));
      else
        acao();
    };
  }
  void termina() {
    trabalhando = false;
    auto acoes = std::move(pendentes);
    pendentes.clear();
    for (auto& acao : acoes) acao();
  }
};

TEST_F(DialogoConfiguracao, OpensAtOnceDuringARefreshAndSavesAtItsEnd) {
  Prepara(kFiliais, "Empresa=04\nPeriodo=0\nAtualizaDados=5\n");
  const qint64 anexoAntes = Anexo();
  AtualizacaoEmCurso atualizacao;
  struct {
    QString filial;
    bool listaAtiva = true, periodoLido = false, esperou = false, cursorOcupado = false;
    bool desabilitado = false, nadaSalvo = false, semReconexao = false;
  } durante;
  {
    ModalDriver driver;
    driver.then<TFrmConfiguracao>([&](TFrmConfiguracao* dlg) {
      auto* empresas = filho<QComboBox>(dlg, "ppbEmpresas");
      durante.filial = empresas->currentText();
      durante.listaAtiva = empresas->isEnabled();
      durante.periodoLido = filho<QSpinBox>(dlg, "spbAtualizaDados")->value() == 5;
      filho<QComboBox>(dlg, "ppbPeriodo")->setCurrentIndex(2);
      filho<QPushButton>(dlg, "btnSalvarConf")->click();
      durante.esperou = dlg->isVisible() && dlg->salvamentoPendente();
      durante.desabilitado = !dlg->isEnabled();
      durante.cursorOcupado = QApplication::overrideCursor() != nullptr &&
                              QApplication::overrideCursor()->shape() == Qt::WaitCursor;
      durante.nadaSalvo = Relido().Periodo == "0" && atualizacoes_ == 0;
      durante.semReconexao = Anexo() == anexoAntes;
      atualizacao.termina();
      DeveTerFechado(dlg, "the save at the refresh's end did not close the dialog");
    });
    AbreConfiguracao(
        config_, conexao_, &host_, {{0, 0}, {0, 0, 355, 221}}, [this] { ++atualizacoes_; },
        atualizacao.gancho());
  }
  EXPECT_EQ(durante.filial, "Carregando filiais…");
  EXPECT_FALSE(durante.listaAtiva);
  EXPECT_TRUE(durante.periodoLido) << "the other settings show at once";
  EXPECT_TRUE(durante.esperou);
  EXPECT_TRUE(durante.desabilitado);
  EXPECT_TRUE(durante.cursorOcupado);
  EXPECT_TRUE(durante.nadaSalvo);
  EXPECT_TRUE(durante.semReconexao);

  // At the refresh's end: the branches listed, the file's branch selected,
  // the save done, the dialog closed and kept.
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  ASSERT_NE(FrmConfiguracao(), nullptr);
  EXPECT_FALSE(FrmConfiguracao()->isVisible());
  EXPECT_TRUE(FrmConfiguracao()->isEnabled());
  EXPECT_EQ(filho<QComboBox>(FrmConfiguracao(), "ppbEmpresas")->count(), 3);
  EXPECT_EQ(Relido().Empresa, "04");
  EXPECT_EQ(Relido().Periodo, "2");
  EXPECT_EQ(atualizacoes_, 1);
  EXPECT_NE(Anexo(), anexoAntes);

  // Later openings during a refresh show the list at once; a save still waits.
  atualizacao.trabalhando = true;
  {
    ModalDriver driver;
    driver.then<TFrmConfiguracao>([&](TFrmConfiguracao* dlg) {
      EXPECT_EQ(filho<QComboBox>(dlg, "ppbEmpresas")->currentText(), "Filial Leste");
      filho<QPushButton>(dlg, "btnSalvarConf")->click();
      EXPECT_EQ(atualizacoes_, 1);
      atualizacao.termina();
      DeveTerFechado(dlg, "the save at the refresh's end did not close the dialog");
    });
    AbreConfiguracao(
        config_, conexao_, &host_, {{0, 0}, {0, 0, 355, 221}}, [this] { ++atualizacoes_; },
        atualizacao.gancho());
  }
  EXPECT_EQ(atualizacoes_, 2);
}

TEST_F(DialogoConfiguracao, ClosedOrFailingBeforeTheBranchesAreListedItIsNotKept) {
  Prepara(kFiliais, "Periodo=0\n");
  AtualizacaoEmCurso atualizacao;
  {
    ModalDriver driver;
    driver.then<TFrmConfiguracao>([&](TFrmConfiguracao* dlg) {
      Tecla(dlg, Qt::Key_Escape);
      DeveTerFechado(dlg, "Esc left the dialog open");
    });
    AbreConfiguracao(
        config_, conexao_, &host_, {{0, 0}, {0, 0, 355, 221}}, [] {}, atualizacao.gancho());
  }
  EXPECT_EQ(FrmConfiguracao(), nullptr) << "closed before the list: made anew next time";
  atualizacao.termina();  // the listing it had asked for finds no dialog

  // The list fails at the refresh's end: the error, and the dialog closes.
  db_->exec("DROP TABLE FILIAIS");
  atualizacao.trabalhando = true;
  QString mensagem;
  {
    ModalDriver driver;
    driver
        .then<TFrmConfiguracao>([&](TFrmConfiguracao* dlg) {
          filho<QPushButton>(dlg, "btnSalvarConf")->click();
          atualizacao.termina();
        })
        .then<QMessageBox>([&](QMessageBox* box) {
          mensagem = box->text();
          box->accept();
        });
    AbreConfiguracao(
        config_, conexao_, &host_, {{0, 0}, {0, 0, 355, 221}}, [this] { ++atualizacoes_; },
        atualizacao.gancho());
  }
  EXPECT_TRUE(mensagem.contains("FILIAIS")) << mensagem.toStdString();
  EXPECT_EQ(FrmConfiguracao(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(atualizacoes_, 0) << "nothing saved";
  EXPECT_EQ(Relido().Periodo, "0");
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
