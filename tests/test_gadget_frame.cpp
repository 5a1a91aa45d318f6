// The gadget frame: the caption strip's hover and fade rules, the element
// tree the face is drawn with (hits, opacity, the input region), the strip's
// layout, dragging and the saved position, the refresh timer, the close
// button, a refresh's background work (busy sign, ticks that wait, actions
// deferred to its end), and where a dialog opens over the panel.
#include <gtest/gtest.h>

#include <QAction>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QScreen>
#include <QSemaphore>
#include <QSet>
#include <QTimer>
#include <QToolTip>
#include <atomic>
#include <climits>
#include <memory>
#include <stdexcept>

#include "desktop/desktop.h"
#include "desktop/desktop_linux.h"
#include "framework/config.h"
#include "framework/gui/estadomenu.h"
#include "framework/gui/gadget.h"
#include "framework/gui/posicao.h"
#include "framework/shutdown.h"
#include "tests/test_gadget_apoio.h"

namespace margivo {
namespace {

using test::Aguarda;
using test::Centro;
using test::MoveMouse;
using test::PressionaMouse;
using test::SoltaMouse;
using Fase = TEstadoMenu::Fase;

// ---------------------------------------------------------------------------
// Placing a dialog over the panel and keeping it on screen.

struct PosFormCase {
  const char* nome;
  int larguraForm;
  QPoint painel;
  QRect comp;
  QPoint esperado;
};

TEST(VerificaPosForm, CentresOverTheComponentWithTheTopAtThePanel) {
  const PosFormCase casos[] = {
      // The about box (380) over the profitability face (355): 12.5 to the left.
      {"wider, half to even (87.5 -> 88)", 380, {100, 50}, {0, 0, 355, 221}, {88, 50}},
      {"wider, half to even (88.5 -> 88)", 380, {101, 50}, {0, 0, 355, 221}, {88, 50}},
      {"wider, whole", 381, {100, 50}, {10, 7, 355, 221}, {97, 50}},
      // The settings dialog (223) over the face: 66 to the right.
      {"narrower", 223, {100, 50}, {0, 0, 355, 221}, {166, 50}},
      {"narrower, half to even (0.5 -> 0)", 354, {0, 0}, {0, 5, 355, 221}, {0, 0}},
      {"narrower, half to even (1.5 -> 2)", 354, {1, 0}, {0, 5, 355, 221}, {2, 0}},
      {"same width: the component's own top", 355, {100, 50}, {4, 7, 355, 221}, {104, 57}},
      {"negative panel", 223, {-40, -5}, {0, 0, 355, 221}, {26, -5}},
  };
  for (const auto& c : casos) {
    EXPECT_EQ(VerificaPosForm(c.larguraForm, c.painel, c.comp), c.esperado) << c.nome;
  }
}

struct MargensCase {
  const char* nome;
  QRect form;
  QPoint esperado;
};

TEST(VerificaMargens, KeepsTheFormOnTheScreen) {
  const QRect tela(0, 0, 1920, 1080);
  const MargensCase casos[] = {
      {"inside", {100, 100, 380, 204}, {100, 100}},
      {"off the left", {-12, 40, 380, 204}, {0, 40}},
      {"off the right", {1700, 40, 380, 204}, {1540, 40}},
      {"off the top", {100, -30, 380, 204}, {100, 0}},
      {"off the bottom", {100, 1000, 223, 279}, {100, 801}},
      {"off two edges", {-5, 2000, 223, 279}, {0, 801}},
      {"wider than the screen ends with a negative left", {10, 0, 2000, 204}, {-80, 0}},
  };
  for (const auto& c : casos) {
    EXPECT_EQ(VerificaMargens(c.form, tela), c.esperado) << c.nome;
  }
  EXPECT_EQ(VerificaMargens({-50, -50, 100, 100}, {1920, 0, 1280, 1024}), QPoint(1920, 0))
      << "a second screen to the right";
}

struct DentroDasTelasCase {
  const char* nome;
  QRect painel;
  QList<QRect> telas;
  QPoint esperado;
};

TEST(PosicaoDentroDasTelas, MoreThanHalfOffEveryScreenComesBackToTheNearestEdge) {
  const QRect hd(0, 0, 1920, 1080);
  const QRect direita(1920, 0, 1280, 1024);   // a second monitor to the right, shorter
  const QRect gemea(1920, 0, 1920, 1080);     // or one as tall as the first
  const QRect esquerda(-1280, 0, 1280, 800);  // one to the left of the first
  const auto painel = [](int x, int y) { return QRect(QPoint(x, y), QSize(388, 231)); };
  const DentroDasTelasCase casos[] = {
      {"inside", painel(100, 80), {hd}, {100, 80}},
      {"exactly half off the left stays", painel(-194, 80), {hd}, {-194, 80}},
      {"less than half off stays", painel(-150, 20), {hd}, {-150, 20}},
      {"more than half off the left", painel(-195, 80), {hd}, {0, 80}},
      {"more than half off two edges", painel(-150, -100), {hd}, {0, 0}},
      {"wholly off the right", painel(2500, 300), {hd}, {1532, 300}},
      {"off the bottom right corner", painel(1800, 1000), {hd}, {1532, 849}},
      {"above the top", painel(700, -500), {hd}, {700, 0}},
      {"across two screens stays", painel(1726, 100), {hd, direita}, {1726, 100}},
      {"across two screens, most of it on them, stays",
       painel(1800, 900),
       {hd, direita},
       {1800, 900}},
      {"below the shorter screen: onto the nearer one",
       painel(2100, 1060),
       {hd, direita},
       {2100, 793}},
      {"below both: onto the nearer one", painel(1726, 1300), {hd, direita}, {1532, 849}},
      {"equally near two screens: the first listed", painel(1726, 1300), {hd, gemea}, {1532, 849}},
      {"equally near, the other order", painel(1726, 1300), {gemea, hd}, {1920, 849}},
      {"the monitor it was on is gone", painel(2400, 500), {hd}, {1532, 500}},
      {"a screen left of the origin", painel(-3000, 200), {esquerda, hd}, {-1280, 200}},
      {"larger than the screen keeps its top-left on it",
       {-300, -300, 800, 600},
       {{0, 0, 640, 480}},
       {0, 0}},
      {"no screens", painel(-5000, 0), {}, {-5000, 0}},
  };
  for (const auto& c : casos) {
    EXPECT_EQ(PosicaoDentroDasTelas(c.painel, c.telas), c.esperado) << c.nome;
  }
}

// ---------------------------------------------------------------------------
// The strip's rules, step by step.

TEST(EstadoMenu, EntrarSairEEntrarDeNovoDentroDoSegundoMantemOMenu) {
  TEstadoMenu e;
  EXPECT_FALSE(e.menuVisivel());
  e.Entrou();
  EXPECT_EQ(e.fase(), Fase::Visivel);
  e.Saiu(false);
  EXPECT_TRUE(e.esperaPendente());
  e.Entrou();  // the next control, within the second
  EXPECT_FALSE(e.esperaPendente());
  e.FimDaEspera();  // a tick that was already due does nothing now
  EXPECT_EQ(e.fase(), Fase::Visivel);
  EXPECT_DOUBLE_EQ(e.opacidadeMenu(), 1);
}

TEST(EstadoMenu, OSegundoSemEntradaEsmaeceEmSeisPassosEEsconde) {
  TEstadoMenu e;
  e.Entrou();
  e.Saiu(false);
  e.FimDaEspera();
  EXPECT_EQ(e.fase(), Fase::Esmaecendo);
  EXPECT_NEAR(e.opacidadeMenu(), 0.8, 1e-9);
  for (int passo = 2; passo < TEstadoMenu::kPassosFade; ++passo) {
    e.PassoFade();
    EXPECT_EQ(e.fase(), Fase::Esmaecendo) << "step " << passo;
  }
  e.PassoFade();
  EXPECT_EQ(e.fase(), Fase::Oculto);
  EXPECT_FALSE(e.esperaPendente());
  EXPECT_EQ(e.passosFeitos(), TEstadoMenu::kPassosFade);
}

TEST(EstadoMenu, SaidaDuranteArrastoNaoDeixaEsmaecimentoPendente) {
  TEstadoMenu e;
  e.Entrou();
  e.Saiu(true);
  EXPECT_FALSE(e.esperaPendente());
  e.FimDaEspera();
  EXPECT_EQ(e.fase(), Fase::Visivel);
}

TEST(EstadoMenu, EntradaDuranteOEsmaecimentoNaoOInterrompe) {
  TEstadoMenu e;
  e.Entrou();
  e.Saiu(false);
  e.FimDaEspera();
  e.PassoFade();
  e.Entrou();
  EXPECT_DOUBLE_EQ(e.opacidadeMenu(), 1);
  EXPECT_EQ(e.fase(), Fase::Esmaecendo);
  while (e.fase() == Fase::Esmaecendo) e.PassoFade();
  EXPECT_FALSE(e.menuVisivel());
  e.Entrou();  // the next enter shows it again
  EXPECT_TRUE(e.menuVisivel());
}

TEST(EstadoMenu, OpacidadeDaFaceForaDoMouse) {
  const struct {
    const char* transparencia;
    double opacidade;
  } casos[] = {{"60", 0.6}, {"100", 1}, {"20", 0.2}, {"", 1}, {"abc", 1}, {"150", 1}, {"-5", 0}};
  for (const auto& c : casos)
    EXPECT_DOUBLE_EQ(OpacidadeForaDoMouse(QString::fromLatin1(c.transparencia)), c.opacidade)
        << "Transparencia \"" << c.transparencia << "\"";
}

TEST(EstadoMenu, ValoresQueNaoSaoInteirosNaAtualizacaoSaoErrosQueNomeiamAChave) {
  EXPECT_DOUBLE_EQ(OpacidadeConfigurada("60", "cfg.ini"), 0.6);
  try {
    OpacidadeConfigurada("sessenta", "cfg.ini");
    ADD_FAILURE() << "no error";
  } catch (const ConversionError& e) {
    const QString texto = QString::fromUtf8(e.what());
    EXPECT_TRUE(texto.contains("Transparencia") && texto.contains("sessenta") &&
                texto.contains("cfg.ini"))
        << e.what();
  }
  EXPECT_EQ(IntervaloAtualizacaoMs("1", "cfg.ini"), 60000);
  EXPECT_EQ(IntervaloAtualizacaoMs("15", "cfg.ini"), 900000);
  EXPECT_EQ(IntervaloAtualizacaoMs("0", "cfg.ini"), 0);
  EXPECT_EQ(IntervaloAtualizacaoMs("-3", "cfg.ini"), 0);
  EXPECT_EQ(IntervaloAtualizacaoMs("100000", "cfg.ini"), INT_MAX);
  EXPECT_THROW(IntervaloAtualizacaoMs("1,5", "cfg.ini"), ConversionError);
}

// ---------------------------------------------------------------------------
// The element tree.

TEST(Gradiente, ParadasNaOrdemDosOffsetsComAsIguaisNaOrdemEmQueForamDefinidas) {
  const QColor a(Qt::red), b(Qt::green), c(Qt::blue), d(Qt::white);
  const auto pontos = PontosDoGradiente({{1, a}, {0, b}, {0.5, c}, {1, d}});
  ASSERT_EQ(pontos.size(), 4u);
  EXPECT_EQ(pontos[0], std::make_pair(0.0, b));
  EXPECT_EQ(pontos[1], std::make_pair(0.5, c));
  // Two stops at 1: the colour arriving is the first defined there, the
  // last one closes the gradient.
  EXPECT_LT(pontos[2].first, 1.0);
  EXPECT_GT(pontos[2].first, 0.99);
  EXPECT_EQ(pontos[2].second, a);
  EXPECT_EQ(pontos[3], std::make_pair(1.0, d));
}

class Elementos : public ::testing::Test {
 protected:
  void SetUp() override {
    test::Aplicacao();
    form_ = std::make_unique<TFormTransparente>();
    form_->resize(800, 600);
  }
  std::unique_ptr<TFormTransparente> form_;
};

TEST_F(Elementos, OMouseEstaSobreUmSoElementoORotuloDeixaPassar) {
  auto* pai = new TRectangle(form_.get());
  pai->setPosition({100, 100});
  pai->setSize(200, 100);
  auto* filho = new TRectangle(pai);
  filho->setPosition({10, 10});
  filho->setSize(50, 50);
  auto* rotulo = new TLabel(filho);
  rotulo->setText("x");
  QStringList eventos;
  for (TElemento* e : {static_cast<TElemento*>(pai), static_cast<TElemento*>(filho)}) {
    e->setObjectName(e == pai ? "pai" : "filho");
    e->OnMouseEnter = [&eventos](QObject* s) { eventos << "enter " + s->objectName(); };
    e->OnMouseLeave = [&eventos](QObject* s) { eventos << "leave " + s->objectName(); };
  }
  EXPECT_EQ(form_->elementoEm({115, 115}), filho);  // over the label too
  EXPECT_EQ(form_->elementoEm({250, 150}), pai);
  EXPECT_EQ(form_->elementoEm({50, 50}), nullptr);
  MoveMouse(*form_, {250, 150});
  MoveMouse(*form_, {115, 115});
  MoveMouse(*form_, {250, 150});
  MoveMouse(*form_, {50, 50});
  EXPECT_EQ(eventos, (QStringList{"enter pai", "leave pai", "enter filho", "leave filho",
                                  "enter pai", "leave pai"}));
}

TEST_F(Elementos, FilhoForaDoPaiNaoECortadoEOpacidadeMultiplica) {
  auto* pai = new TRectangle(form_.get());
  pai->setPosition({100, 100});
  pai->setSize(200, 100);
  pai->setOpacity(0.5);
  auto* sobra = new TImage(pai);
  QPixmap imagem(53, 17);
  imagem.fill(Qt::gray);
  sobra->setBitmap(imagem);
  sobra->setPosition({150, -12});
  sobra->setOpacity(0.5);
  EXPECT_EQ(sobra->size(), QSizeF(53, 17));  // the picture's own size
  EXPECT_EQ(form_->elementoEm({260, 92}), sobra);
  EXPECT_DOUBLE_EQ(sobra->opacidadeAbsoluta(), 0.25);
  EXPECT_TRUE(form_->regiaoVisivel().contains(QPoint(260, 92)));
}

TEST_F(Elementos, ARegiaoDeEntradaEOQueSeDesenha) {
  auto* transparente = new TRectangle(form_.get());
  transparente->setSize(400, 300);
  transparente->setFillColor(Qt::transparent);
  transparente->setStrokeColor(Qt::transparent);
  auto* face = new TRectangle(transparente);
  face->setPosition({50, 50});
  face->setSize(100, 80);
  face->setRadius(10, 10);
  face->setStrokeNone();
  const QRegion regiao = form_->regiaoVisivel();
  EXPECT_TRUE(regiao.contains(QPoint(100, 90)));
  EXPECT_FALSE(regiao.contains(QPoint(300, 250))) << "a transparent rectangle takes no clicks";
  EXPECT_FALSE(regiao.contains(QPoint(50, 50))) << "a rounded corner takes no clicks";
  face->setVisible(false);
  form_->aplicaAlteracoes();
  EXPECT_TRUE(form_->regiaoVisivel().isEmpty());
  // A form that draws nothing keeps a single pixel: an empty mask would be
  // no mask, the whole form taking the clicks.
  EXPECT_EQ(form_->mask(), QRegion(0, 0, 1, 1));
}

TEST_F(Elementos, DicaEDoElementoMaisAltoQueTemUmaRotulosInclusive) {
  auto* pai = new TRectangle(form_.get());
  pai->setPosition({100, 100});
  pai->setSize(200, 100);
  pai->setHint("o bloco");
  auto* rotulo = new TLabel(pai);
  rotulo->setPosition({10, 10});
  rotulo->setText("Mrg. Bruta (R$)");
  rotulo->setAutoSize(true);
  rotulo->setHint("a margem");
  auto* semDica = new TRectangle(pai);
  semDica->setPosition({10, 50});
  semDica->setSize(40, 40);
  form_->show();
  // Labels take no hits, but their hint shows.
  EXPECT_EQ(test::Dica(*form_, {115, 118}), "a margem");
  EXPECT_EQ(test::Dica(*form_, {250, 150}), "o bloco");
  // An element without a hint shows its ancestor's.
  EXPECT_EQ(test::Dica(*form_, {120, 160}), "o bloco");
  EXPECT_EQ(test::Dica(*form_, {50, 50}), "");
  rotulo->setVisible(false);
  EXPECT_EQ(test::Dica(*form_, {115, 118}), "o bloco");
}

TEST_F(Elementos, DuploCliqueEMenuDeContextoVaoAoAncestralQueOsTrata) {
  auto* pai = new TRectangle(form_.get());
  pai->setObjectName("pai");
  pai->setPosition({100, 100});
  pai->setSize(200, 100);
  auto* filho = new TRectangle(pai);
  filho->setPosition({10, 10});
  filho->setSize(50, 50);
  int pressoes = 0;
  QStringList eventos;
  QPoint pedidoEm;
  filho->OnMouseDown = [&](QObject*, const TEventoMouse&) { ++pressoes; };
  pai->OnDblClick = [&](QObject* s) { eventos << "duplo " + s->objectName(); };
  pai->OnContextPopup = [&](QObject* s, const QPoint& p) {
    eventos << "menu " + s->objectName();
    pedidoEm = p;
  };
  // A double click: press, release, double click, release.
  test::Clica(*form_, {120, 120});
  test::EnviaMouse(*form_, QEvent::MouseButtonDblClick, {120, 120}, Qt::LeftButton, Qt::LeftButton);
  test::SoltaMouse(*form_, {120, 120});
  EXPECT_EQ(pressoes, 2) << "the double click is the second press too";
  EXPECT_EQ(eventos, QStringList{"duplo pai"});

  // The right button asks for the menu; the menu takes the mouse, so the
  // release never comes and nothing may stay held.
  test::EnviaMouse(*form_, QEvent::MouseButtonPress, {120, 120}, Qt::RightButton, Qt::RightButton);
  QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(120, 120),
                         form_->mapToGlobal(QPoint(120, 120)));
  QCoreApplication::sendEvent(form_.get(), &menu);
  EXPECT_EQ(eventos, (QStringList{"duplo pai", "menu pai"}));
  EXPECT_EQ(pedidoEm, form_->mapToGlobal(QPoint(120, 120)));
  EXPECT_EQ(form_->elementoCapturado(), nullptr);
  // Where nothing handles it, nothing happens.
  QContextMenuEvent fora(QContextMenuEvent::Mouse, QPoint(50, 50),
                         form_->mapToGlobal(QPoint(50, 50)));
  QCoreApplication::sendEvent(form_.get(), &fora);
  EXPECT_EQ(eventos.size(), 2);
}

TEST_F(Elementos, RotuloQueEncolheCabeNaSuaAreaDeTexto) {
  auto* caixa = new TRectangle(form_.get());
  caixa->setSize(300, 100);
  auto* rotulo = new TLabel(caixa);
  rotulo->setFontSize(17);
  rotulo->setFontStyle(Negrito);
  rotulo->setWidth(100);
  rotulo->setText("-999.999.999,99");
  const auto largura = [&] {
    return QFontMetricsF(rotulo->fonteDesenhada()).horizontalAdvance(rotulo->text());
  };
  ASSERT_GT(largura(), 100) << "the text must be too wide for the case to show anything";
  EXPECT_EQ(rotulo->fonteDesenhada().pixelSize(), 17) << "only when asked to";
  rotulo->setShrinkToFit(true);
  EXPECT_LT(rotulo->fonteDesenhada().pixelSize(), 17);
  EXPECT_LE(largura(), 100);
  // The margins narrow the area the text has to fit.
  rotulo->setTextMargins(20, 0);
  EXPECT_EQ(rotulo->areaDoTexto(), QRectF(20, 0, 80, TLabel::kAlturaPadrao));
  EXPECT_LE(largura(), 80);
  EXPECT_EQ(rotulo->size(), QSizeF(100, TLabel::kAlturaPadrao)) << "the box keeps its size";
  // A text that fits keeps the font size.
  rotulo->setText("0,00");
  EXPECT_EQ(rotulo->fonteDesenhada().pixelSize(), 17);
}

TEST_F(Elementos, OpacidadeMinimaValeEnquantoOPaiApareca) {
  auto* face = new TRectangle(form_.get());
  auto* linha = new TLabel(face);
  auto* outro = new TLabel(face);
  linha->setMinimumOpacity(0.85);
  face->setOpacity(0.2);
  EXPECT_DOUBLE_EQ(linha->opacidadeDesenhada(), 0.85);
  EXPECT_DOUBLE_EQ(outro->opacidadeDesenhada(), 0.2);
  face->setOpacity(1);
  EXPECT_DOUBLE_EQ(linha->opacidadeDesenhada(), 1);
  // A face made invisible takes its lines along.
  face->setOpacity(0);
  EXPECT_DOUBLE_EQ(linha->opacidadeDesenhada(), 0);
}

TEST_F(Elementos, UmErroNumTratadorViraUmaCaixaEOProgramaSegue) {
  test::MensagensRegistradas mensagens;
  auto* r = new TRectangle(form_.get());
  r->setSize(50, 50);
  r->OnClick = [](QObject*) { throw std::runtime_error("falhou o clique"); };
  test::Clica(*form_, {10, 10});
  ASSERT_EQ(mensagens.lista.size(), 1u);
  EXPECT_EQ(mensagens.lista[0].tipo, TipoMensagem::Erro);
  EXPECT_EQ(mensagens.lista[0].texto, "falhou o clique");
  EXPECT_EQ(form_->elementoCapturado(), nullptr);
}

// ---------------------------------------------------------------------------
// A one-panel gadget on a form, with a settings file.

class GadgetDeTeste : public TGadgetSimples {
 public:
  using TGadget::AposTrabalho;
  using TGadget::IniciaTrabalho;
  using TGadgetSimples::TGadgetSimples;

  void IniciarGadget(QObject* Sender) override {
    ++atualizacoes;
    TGadgetSimples::IniciarGadget(Sender);
    if (aoAtualizar) aoAtualizar();
  }
  void RConfClick(QObject*) override { ++configuracoes; }
  void RAboutClick(QObject*) override { ++sobres; }

  int atualizacoes = 0;
  int configuracoes = 0;
  int sobres = 0;
  int mudancasDeEstado = 0;
  std::function<void()> aoAtualizar;

 protected:
  void estadoAtualizacaoMudou() override { ++mudancasDeEstado; }
};

class Gadget : public ::testing::Test {
 protected:
  void SetUp() override {
    test::Aplicacao();
    home_.writeIniText(
        "[Configuracoes]\nCaminhoBanco=/nenhum.fdb\nUsuario=SYSDBA\nSenha=x\n\n"
        "[Trovesk]\nTransparencia=60\nAtualizaDados=2\nSempreVisivel=0\n");
    config_ = std::make_unique<TConfig>("Trovesk");
    config_->CarregarIni();
    form_ = std::make_unique<TFormTransparente>();
    form_->resize(1000, 700);
    gadget_ = std::make_unique<GadgetDeTeste>(form_.get());
    gadget_->rtgPrincipal->setSize(355, 221);
    gadget_->rtgPrincipal->setFillColor(Qt::gray);
    gadget_->rtgPrincipal->setStrokeNone();
    rotulo_ = new TLabel(gadget_->rtgPrincipal);
    rotulo_->setText("Rentabilidade");
    gadget_->AjustaGadget(gadget_->rtgPrincipal, true);
    gadget_->AssociaEventosComuns(gadget_->rtgPrincipal);
    gadget_->setConfig(config_.get());
    gadget_->rtgGadget->setPosition({100, 50});
  }
  void TearDown() override {
    gadget_.reset();
    form_.reset();
  }

  QPointF face() const { return {200, 150}; }  // a point of the face
  QPointF fora() const { return {900, 650}; }  // a point where nothing is

  test::TestConfigHome home_;
  test::RuntimeDirTeste runtime_;
  std::unique_ptr<TConfig> config_;
  std::unique_ptr<TFormTransparente> form_;
  std::unique_ptr<GadgetDeTeste> gadget_;
  TLabel* rotulo_ = nullptr;
};

TEST_F(Gadget, AjustaGadgetComRetiraMaxMin) {
  const TGadget& g = *gadget_;
  EXPECT_EQ(g.rtgGadget->size(), QSizeF(23 + 355 + 10, 221 + 10));
  EXPECT_EQ(gadget_->rtgPrincipal->position(), QPointF(0, 0));
  EXPECT_EQ(g.rtgMenu->position(), QPointF(360, 0));
  EXPECT_FALSE(g.rtgMenu->isVisible());
  const struct {
    const TRectangle* botao;
    double y;
    bool visivel;
  } botoes[] = {{g.rtgFechar, 0, true}, {g.rtgConfig, 21, true}, {g.rtgAbout, 42, true},
                {g.rtgMover, 63, true}, {g.rtgMax, 21, false},   {g.rtgMin, 21, false}};
  for (const auto& b : botoes) {
    EXPECT_EQ(b.botao->position(), QPointF(0, b.y)) << b.botao->objectName().toStdString();
    EXPECT_EQ(b.botao->size(), QSizeF(23, 23)) << b.botao->objectName().toStdString();
    EXPECT_EQ(b.botao->isVisible(), b.visivel) << b.botao->objectName().toStdString();
  }
}

TEST_F(Gadget, SemRetiraMaxMinOsBotoesFicamNosSeusLugares) {
  TFormTransparente form;
  TGadgetSimples g(&form);
  g.rtgPrincipal->setSize(100, 50);
  g.AjustaGadget(g.rtgPrincipal, false);
  EXPECT_EQ(g.rtgGadget->size(), QSizeF(133, 60));
  EXPECT_EQ(g.rtgConfig->y(), 42);
  EXPECT_EQ(g.rtgAbout->y(), 63);
  EXPECT_EQ(g.rtgMover->y(), 84);
  EXPECT_TRUE(g.rtgMax->isVisible());
  EXPECT_FALSE(g.rtgMin->isVisible());
  g.RMaximizarClick(g.rtgMax);
  EXPECT_TRUE(g.rtgMin->isVisible());
  EXPECT_FALSE(g.rtgMax->isVisible());
  EXPECT_EQ(g.rtgGadget->size(), QSizeF(133, 60));  // nothing changes size
}

TEST_F(Gadget, PassarDaFaceParaOMenuEVoltarMantemOMenu) {
  MoveMouse(*form_, face());
  EXPECT_TRUE(gadget_->rtgMenu->isVisible());
  MoveMouse(*form_, {457, 60});  // the 5-pixel gap between face and strip
  EXPECT_TRUE(gadget_->tmrEscMenu->isActive());
  MoveMouse(*form_, Centro(*gadget_->rtgConfig));
  EXPECT_FALSE(gadget_->tmrEscMenu->isActive());
  EXPECT_TRUE(gadget_->rtgMenu->isVisible());
  MoveMouse(*form_, face());
  EXPECT_TRUE(gadget_->rtgMenu->isVisible());
  EXPECT_FALSE(gadget_->tmrEscMenu->isActive());
}

TEST_F(Gadget, SairEsperaOSegundoEEsmaeceAteEsconder) {
  MoveMouse(*form_, face());
  MoveMouse(*form_, fora());
  ASSERT_TRUE(gadget_->tmrEscMenu->isActive());
  EXPECT_EQ(gadget_->tmrEscMenu->interval(), 1000);
  gadget_->tmrEscMenuTimer();  // the second is over
  EXPECT_LT(gadget_->rtgMenu->opacity(), 1);
  ASSERT_TRUE(Aguarda([&] { return !gadget_->rtgMenu->isVisible(); }, 5000));
  EXPECT_EQ(gadget_->estadoMenu().passosFeitos(), TEstadoMenu::kPassosFade);
  MoveMouse(*form_, face());
  EXPECT_TRUE(gadget_->rtgMenu->isVisible());
  EXPECT_DOUBLE_EQ(gadget_->rtgMenu->opacity(), 1);
}

TEST_F(Gadget, OpacidadeDaFaceSegueOMouse) {
  gadget_->Atualiza(gadget_.get());
  EXPECT_DOUBLE_EQ(gadget_->rtgPrincipal->opacity(), 0.6);
  MoveMouse(*form_, face());
  EXPECT_DOUBLE_EQ(gadget_->rtgPrincipal->opacity(), 1);
  EXPECT_DOUBLE_EQ(gadget_->rtgMenu->opacity(), 1);  // the strip is not a face
  MoveMouse(*form_, fora());
  EXPECT_DOUBLE_EQ(gadget_->rtgPrincipal->opacity(), 0.6);
  // A value that is not a number counts as fully opaque while hovering.
  config_->Transparencia = "x";
  MoveMouse(*form_, face());
  MoveMouse(*form_, fora());
  EXPECT_DOUBLE_EQ(gadget_->rtgPrincipal->opacity(), 1);
}

TEST_F(Gadget, ArrastarParaForaDaTelaSalvaPosXNegativo) {
  gadget_->Atualiza(gadget_.get());
  ASSERT_TRUE(gadget_->tmrPrincipal->isActive());
  PressionaMouse(*form_, {150, 80});
  EXPECT_TRUE(gadget_->Capturar);
  EXPECT_FALSE(gadget_->tmrPrincipal->isActive()) << "a drag stops the refresh timer";
  MoveMouse(*form_, {100, 90}, Qt::LeftButton);
  MoveMouse(*form_, {40, 110}, Qt::LeftButton);
  EXPECT_EQ(gadget_->rtgGadget->position(), QPointF(-10, 80));
  SoltaMouse(*form_, {40, 110});
  EXPECT_FALSE(gadget_->Capturar);
  EXPECT_TRUE(gadget_->tmrPrincipal->isActive());
  EXPECT_EQ(config_->PosX, "-10");
  EXPECT_EQ(config_->PosY, "80");
  TConfig lido("Trovesk");
  lido.CarregarIni();
  EXPECT_EQ(lido.PosX, "-10");
  EXPECT_EQ(lido.PosY, "80");
}

TEST_F(Gadget, ArrastarParaForaDeMaisDaMetadeVoltaParaABordaESalva) {
  // The form covers 1000 x 700 of the screen; the panel is 388 x 231.
  const QRect tela = QGuiApplication::primaryScreen()->geometry().intersected(form_->geometry());
  PressionaMouse(*form_, {150, 80});
  MoveMouse(*form_, {-250, 80}, Qt::LeftButton);
  EXPECT_EQ(gadget_->rtgGadget->position(), QPointF(-300, 50)) << "the drag itself is free";
  SoltaMouse(*form_, {-250, 80});
  EXPECT_EQ(gadget_->rtgGadget->position(), QPointF(tela.left(), 50));
  TConfig lido("Trovesk");
  lido.CarregarIni();
  EXPECT_EQ(lido.PosX, QString::number(tela.left()));
  EXPECT_EQ(lido.PosY, "50");

  // Down past the bottom: its bottom edge on the screen's.
  PressionaMouse(*form_, {150, 80});
  MoveMouse(*form_, QPointF(150, 80 + tela.height()), Qt::LeftButton);
  SoltaMouse(*form_, QPointF(150, 80 + tela.height()));
  EXPECT_EQ(gadget_->rtgGadget->position(), QPointF(tela.left(), tela.top() + tela.height() - 231));
  lido.CarregarIni();
  EXPECT_EQ(lido.PosY, QString::number(tela.top() + tela.height() - 231));

  // A saved position off the screens comes back at the next start as well.
  config_->PosX = "5000";
  config_->PosY = "-4000";
  gadget_->PosicionaGadGet();
  EXPECT_EQ(gadget_->rtgGadget->position(), QPointF(tela.right() + 1 - 388, tela.top()));
  lido.CarregarIni();
  EXPECT_EQ(lido.PosX, QString::number(tela.right() + 1 - 388));
  EXPECT_EQ(lido.PosY, QString::number(tela.top()));
}

TEST_F(Gadget, ArrastarPeloBotaoMoverEUmCliqueSemMovimento) {
  MoveMouse(*form_, face());  // shows the strip
  const QPointF mover = Centro(*gadget_->rtgMover);
  PressionaMouse(*form_, mover);
  MoveMouse(*form_, mover + QPointF(30, 40), Qt::LeftButton);
  SoltaMouse(*form_, mover + QPointF(30, 40));
  EXPECT_EQ(gadget_->rtgGadget->position(), QPointF(130, 90));
  EXPECT_EQ(config_->PosX, "130");
  // A press and release without moving saves the same position.
  config_->PosX.clear();
  test::Clica(*form_, face());
  EXPECT_EQ(config_->PosX, "130");
  EXPECT_EQ(config_->PosY, "90");
}

// The position cannot be saved (a full disk): one box says so in words a
// user can act on, the system's reason in its details.
TEST_F(Gadget, PosicaoQueNaoPodeSerGravadaEUmaCaixaEmPortugues) {
  test::MensagensRegistradas mensagens;
  const QByteArray antes = home_.readIni();
  {
    test::FailingFileWrites discoCheio;
    test::Clica(*form_, face());
  }
  ASSERT_EQ(mensagens.lista.size(), 1u) << mensagens.textos();
  EXPECT_EQ(mensagens.lista[0].tipo, TipoMensagem::Erro);
  EXPECT_TRUE(mensagens.lista[0].texto.startsWith(
      QStringLiteral("Não foi possível gravar o arquivo de configurações %1; ele ficou como "
                     "estava.")
          .arg(home_.iniPath())))
      << mensagens.textos();
  EXPECT_FALSE(mensagens.lista[0].detalhes.isEmpty());
  EXPECT_EQ(home_.readIni(), antes);
}

TEST_F(Gadget, PosicionaGadGetComESemPosicaoSalva) {
  const int largura = QGuiApplication::primaryScreen()->geometry().width();
  gadget_->PosicionaGadGet();  // no PosX/PosY in the file
  EXPECT_EQ(gadget_->rtgGadget->position(), QPointF(largura - 388, 20));
  config_->PosX = "-10";
  config_->PosY = "300";
  gadget_->PosicionaGadGet();
  EXPECT_EQ(gadget_->rtgGadget->position(), QPointF(-10, 300));
  config_->PosY.clear();  // one of the two missing: the default place
  gadget_->PosicionaGadGet();
  EXPECT_EQ(gadget_->rtgGadget->position(), QPointF(largura - 388, 20));
  config_->PosY = "3O0";
  try {
    gadget_->PosicionaGadGet();
    ADD_FAILURE() << "no error";
  } catch (const ConversionError& e) {
    EXPECT_TRUE(QString::fromUtf8(e.what()).contains("\"PosY\"")) << e.what();
  }
  EXPECT_EQ(PosicaoInicialGadget(nullptr, 1920, 388), QPoint(1532, 20));
}

TEST_F(Gadget, OTemporizadorCorreDesdeAPrimeiraAtualizacao) {
  EXPECT_FALSE(gadget_->tmrPrincipal->isActive());
  gadget_->Atualiza(gadget_.get());
  EXPECT_TRUE(gadget_->tmrPrincipal->isActive());
  EXPECT_EQ(gadget_->tmrPrincipal->interval(), 2 * 60000);
  config_->AtualizaDados = "0";
  gadget_->Atualiza(gadget_.get());
  EXPECT_FALSE(gadget_->tmrPrincipal->isActive());
  test::Clica(*form_, face());  // the end of a drag does not start it either
  EXPECT_FALSE(gadget_->tmrPrincipal->isActive());
}

TEST_F(Gadget, AtualizacaoAplicaSempreVisivelSoQuandoMuda) {
  config_->SempreVisivel = "1";
  gadget_->Atualiza(gadget_.get());
  EXPECT_TRUE(form_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  config_->SempreVisivel = "0";
  gadget_->Atualiza(gadget_.get());
  EXPECT_FALSE(form_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(Gadget, ErroNaAtualizacaoEUmaCaixaSoEOsTicsEsperam) {
  test::MensagensRegistradas mensagens;
  config_->AtualizaDados = "um";
  int durante = 0;
  mensagens.aoMostrar = [&] {
    // Ticks while the box is open do nothing.
    gadget_->Atualiza(gadget_->tmrPrincipal);
    gadget_->Atualiza(gadget_->tmrPrincipal);
    durante = gadget_->atualizacoes;
  };
  gadget_->Atualiza(gadget_.get());
  ASSERT_EQ(mensagens.lista.size(), 1u) << mensagens.textos();
  EXPECT_TRUE(mensagens.lista[0].texto.contains("AtualizaDados")) << mensagens.textos();
  EXPECT_EQ(durante, 1);
  EXPECT_EQ(gadget_->atualizacoes, 1);
}

// A fault that stays (a bad order stays bad until someone mends it) shows
// its box once; the frame keeps saying that the last refresh failed.
TEST_F(Gadget, UmErroQueSeRepeteMostraUmaCaixaSo) {
  test::MensagensRegistradas mensagens;
  QString falha;
  gadget_->aoAtualizar = [&] {
    if (!falha.isEmpty()) throw std::runtime_error(falha.toStdString());
  };
  const struct {
    const char* nome;
    const char* falha;  // empty: the refresh works
    bool caixa;
  } passos[] = {
      {"first failure", "pedido 7 com erro", true},
      {"the same again", "pedido 7 com erro", false},
      {"and again", "pedido 7 com erro", false},
      {"another error", "sem conexão", true},
      {"the first one again: it differs from the last", "pedido 7 com erro", true},
      {"a refresh that works", "", false},
      {"the same failure after a success", "pedido 7 com erro", true},
  };
  size_t caixas = 0;
  for (const auto& p : passos) {
    SCOPED_TRACE(p.nome);
    falha = QString::fromUtf8(p.falha);
    const int mudancas = gadget_->mudancasDeEstado;
    gadget_->Atualiza(gadget_.get());
    if (p.caixa) ++caixas;
    ASSERT_EQ(mensagens.lista.size(), caixas) << mensagens.textos();
    if (p.caixa) {
      EXPECT_EQ(mensagens.lista.back().texto, falha);
    }
    const EstadoAtualizacao& estado = gadget_->estadoAtualizacao();
    EXPECT_EQ(estado.falhou, !falha.isEmpty());
    EXPECT_EQ(estado.erro.texto, falha);
    EXPECT_EQ(gadget_->mudancasDeEstado, mudancas + 1) << "the face hears of every end";
  }
  // The last success is kept through the failure after it.
  EXPECT_TRUE(gadget_->estadoAtualizacao().ultimoSucesso.isValid());
  EXPECT_TRUE(gadget_->estadoAtualizacao().ultimaFalha.isValid());
}

TEST_F(Gadget, OErroDoTrabalhoTambemSoUmaVez) {
  test::MensagensRegistradas mensagens;
  gadget_->aoAtualizar = [&] {
    gadget_->IniciaTrabalho([](const std::atomic<bool>&) { throw std::runtime_error("sem banco"); },
                            [](std::exception_ptr erro) {
                              if (erro) std::rethrow_exception(erro);
                            });
  };
  for (int i = 0; i < 3; ++i) {
    gadget_->Atualiza(gadget_.get());
    ASSERT_TRUE(Aguarda([&] { return !gadget_->atualizando(); }));
  }
  EXPECT_EQ(mensagens.lista.size(), 1u) << mensagens.textos();
  EXPECT_TRUE(gadget_->estadoAtualizacao().falhou);
}

// The face's context menu: its four entries, each doing what the strip's
// button or the refresh does.
TEST_F(Gadget, MenuDeContextoDaFace) {
  form_->show();
  QContextMenuEvent pedido(QContextMenuEvent::Mouse, face().toPoint(),
                           form_->mapToGlobal(face().toPoint()));
  QCoreApplication::sendEvent(form_.get(), &pedido);
  QMenu* menu = gadget_->menuContexto();
  ASSERT_TRUE(Aguarda([&] { return menu->isVisible(); }, 5000));
  QStringList entradas;
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) entradas << a->text();
  EXPECT_EQ(entradas, (QStringList{"Atualizar agora", "Configurações…", "Sobre…", "Fechar"}));
  const auto acao = [&](const char* texto) {
    for (QAction* a : menu->actions())
      if (a->text() == QString::fromUtf8(texto)) return a;
    ADD_FAILURE() << "no entry " << texto;
    return static_cast<QAction*>(nullptr);
  };
  ASSERT_TRUE(acao("Atualizar agora")->isEnabled());
  acao("Atualizar agora")->trigger();
  EXPECT_EQ(gadget_->atualizacoes, 1);
  acao("Configurações…")->trigger();
  EXPECT_EQ(gadget_->configuracoes, 1);
  acao("Sobre…")->trigger();
  EXPECT_EQ(gadget_->sobres, 1);
  menu->hide();
  // Nothing stays held after the menu: a move is a hover, not a drag.
  EXPECT_EQ(form_->elementoCapturado(), nullptr);
  acao("Fechar")->trigger();
  EXPECT_FALSE(form_->isVisible());
}

TEST_F(Gadget, DuranteUmaAtualizacaoOMenuEODuploCliqueDizemQueElaEstaEmAndamento) {
  QSemaphore liberar;
  gadget_->aoAtualizar = [&] {
    gadget_->IniciaTrabalho(
        [&](const std::atomic<bool>& cancelar) {
          while (!liberar.tryAcquire(1, 10) && !cancelar) {
          }
        },
        [](std::exception_ptr) {});
  };
  form_->show();
  gadget_->Atualiza(gadget_.get());
  ASSERT_TRUE(gadget_->atualizando());
  gadget_->abreMenuContexto(form_->mapToGlobal(face().toPoint()));
  QAction* atualizar = gadget_->menuContexto()->actions().front();
  EXPECT_FALSE(atualizar->isEnabled());
  EXPECT_EQ(atualizar->text(), "Atualizar agora (já em andamento)");
  gadget_->menuContexto()->hide();
  // A double click meanwhile starts nothing and says why.
  test::EnviaMouse(*form_, QEvent::MouseButtonDblClick, face(), Qt::LeftButton, Qt::LeftButton);
  test::SoltaMouse(*form_, face());
  EXPECT_EQ(gadget_->atualizacoes, 1);
  EXPECT_EQ(QToolTip::text(), "Uma atualização já está em andamento.");
  liberar.release();
  ASSERT_TRUE(Aguarda([&] { return !gadget_->atualizando(); }));
  EXPECT_EQ(gadget_->atualizacoes, 1) << "nothing was queued";

  // Idle again: the entry is back, and a double click on the face refreshes.
  gadget_->aoAtualizar = nullptr;
  gadget_->abreMenuContexto(form_->mapToGlobal(face().toPoint()));
  EXPECT_TRUE(atualizar->isEnabled());
  EXPECT_EQ(atualizar->text(), "Atualizar agora");
  gadget_->menuContexto()->hide();
  test::Clica(*form_, face());
  test::EnviaMouse(*form_, QEvent::MouseButtonDblClick, face(), Qt::LeftButton, Qt::LeftButton);
  test::SoltaMouse(*form_, face());
  EXPECT_EQ(gadget_->atualizacoes, 2);
  // Not so on the strip's buttons.
  MoveMouse(*form_, face());
  const QPointF config = Centro(*gadget_->rtgConfig);
  test::Clica(*form_, config);
  test::EnviaMouse(*form_, QEvent::MouseButtonDblClick, config, Qt::LeftButton, Qt::LeftButton);
  test::SoltaMouse(*form_, config);
  EXPECT_EQ(gadget_->atualizacoes, 2);
}

TEST_F(Gadget, CadaBotaoDaFaixaTemUmaDica) {
  form_->show();
  MoveMouse(*form_, face());  // shows the strip
  QStringList dicas;
  for (const TRectangle* botao :
       {gadget_->rtgFechar, gadget_->rtgConfig, gadget_->rtgAbout, gadget_->rtgMover}) {
    SCOPED_TRACE(botao->objectName().toStdString());
    const QString dica = test::Dica(*form_, Centro(*botao));
    EXPECT_EQ(dica, botao->hint());
    EXPECT_TRUE(dica.endsWith('.')) << dica.toStdString();
    dicas << dica;
  }
  EXPECT_EQ(QSet<QString>(dicas.begin(), dicas.end()).size(), 4) << "each says its own";
}

TEST_F(Gadget, FecharRemoveOInicioAutomaticoGravaIniWindowsEFechaOForm) {
  desktop().IniciarComWindows("Rentabilidade", true);
  const QString entrada = linux_desktop::autostartFile("Rentabilidade");
  ASSERT_TRUE(QFile::exists(entrada));
  gadget_->setInformacoes("Rentabilidade", "21.08ba", "", "");
  config_->IniWindows = "1";
  form_->show();
  MoveMouse(*form_, face());
  test::Clica(*form_, Centro(*gadget_->rtgFechar));
  EXPECT_FALSE(QFile::exists(entrada));
  EXPECT_FALSE(form_->isVisible());
  EXPECT_TRUE(home_.readIni().contains("IniWindows=0")) << home_.readIni().toStdString();
}

// The close goes on when its steps fail: an autostart entry that cannot be
// removed and a settings file that cannot be written are reported, and the
// form closes all the same (a close button that does not close would leave
// a gadget nobody can end).
TEST_F(Gadget, FecharQueNaoRemoveAEntradaNemGravaFechaAssimMesmo) {
  test::MensagensRegistradas mensagens;
  // A folder with something in it where the entry is: it cannot be removed.
  const QString entrada = linux_desktop::autostartFile("Rentabilidade");
  ASSERT_TRUE(QDir().mkpath(entrada + "/x"));
  gadget_->setInformacoes("Rentabilidade", "21.08ba", "", "");
  const QByteArray antes = home_.readIni();
  form_->show();
  MoveMouse(*form_, face());
  {
    test::FailingFileWrites falha;
    test::Clica(*form_, Centro(*gadget_->rtgFechar));
  }
  EXPECT_FALSE(form_->isVisible());
  ASSERT_EQ(mensagens.lista.size(), 2u) << mensagens.textos();
  EXPECT_TRUE(mensagens.lista[0].texto.contains(entrada)) << mensagens.textos();
  // The system's reason, apart from the sentence.
  EXPECT_FALSE(mensagens.lista[0].detalhes.isEmpty());
  EXPECT_FALSE(mensagens.lista[0].texto.contains(mensagens.lista[0].detalhes));
  EXPECT_TRUE(mensagens.lista[1].texto.contains("ConfigGadGet.Ini")) << mensagens.textos();
  EXPECT_EQ(home_.readIni(), antes);
}

// ---------------------------------------------------------------------------
// A refresh's background work.

TEST_F(Gadget, TrabalhoEmSegundoPlanoMostraOcupadoESoAplicaNoFim) {
  QSemaphore liberar;
  std::atomic<bool> comecou{false};
  QString figura = "antes";
  bool cancelado = false;
  gadget_->aoAtualizar = [&] {
    gadget_->IniciaTrabalho(
        [&](const std::atomic<bool>& cancelar) {
          comecou = true;
          while (!liberar.tryAcquire(1, 10))
            if (cancelar) {
              cancelado = true;
              throw std::runtime_error("cancelado");
            }
        },
        [&](std::exception_ptr erro) {
          if (erro) std::rethrow_exception(erro);
          figura = "depois";
        });
  };
  int concluidas = 0;
  QObject::connect(gadget_.get(), &TGadget::atualizacaoConcluida, [&] { ++concluidas; });
  bool abriuConfig = false;

  gadget_->Atualiza(gadget_.get());
  ASSERT_TRUE(gadget_->atualizando());
  ASSERT_TRUE(Aguarda([&] { return comecou.load(); }));
  // A tick meanwhile does nothing; a dialog asked for waits for the end.
  gadget_->Atualiza(gadget_->tmrPrincipal);
  EXPECT_EQ(gadget_->atualizacoes, 1);
  gadget_->AposTrabalho([&] { abriuConfig = true; });
  EXPECT_FALSE(abriuConfig);
  ASSERT_TRUE(Aguarda([&] { return gadget_->imgOcupado->isVisible(); }))
      << "the busy sign shows once the work takes longer than a moment";
  EXPECT_EQ(figura, "antes");
  EXPECT_EQ(concluidas, 0);

  liberar.release();
  ASSERT_TRUE(Aguarda([&] { return !gadget_->atualizando(); }));
  EXPECT_EQ(figura, "depois");
  EXPECT_EQ(concluidas, 1);
  EXPECT_TRUE(abriuConfig);
  EXPECT_FALSE(gadget_->imgOcupado->isVisible());
  EXPECT_FALSE(cancelado);
}

TEST_F(Gadget, ErroDoTrabalhoEReportadoNoFimEUmGadgetQueSaiCancelaOTrabalho) {
  test::MensagensRegistradas mensagens;
  gadget_->aoAtualizar = [&] {
    gadget_->IniciaTrabalho([](const std::atomic<bool>&) { throw std::runtime_error("sem banco"); },
                            [](std::exception_ptr erro) {
                              if (erro) std::rethrow_exception(erro);
                            });
  };
  gadget_->Atualiza(gadget_.get());
  ASSERT_TRUE(Aguarda([&] { return !gadget_->atualizando(); }));
  ASSERT_EQ(mensagens.lista.size(), 1u);
  EXPECT_EQ(mensagens.lista[0].texto, "sem banco");

  // Work that only ends when told to: the gadget's end tells it and waits.
  std::atomic<bool> terminou{false};
  gadget_->aoAtualizar = [&] {
    gadget_->IniciaTrabalho(
        [&](const std::atomic<bool>& cancelar) {
          while (!cancelar) QThread::msleep(5);
          terminou = true;
        },
        [](std::exception_ptr) {});
  };
  gadget_->Atualiza(gadget_.get());
  ASSERT_TRUE(gadget_->atualizando());
  gadget_.reset();
  EXPECT_TRUE(terminou);
}

// Work that only a stop from outside ends (a database statement): the
// gadget's end calls its interrupt until it has ended, since an interruption
// that falls between two statements stops nothing.
TEST_F(Gadget, UmGadgetQueSaiInterrompeOTrabalhoAteEleTerminar) {
  std::atomic<int> interrupcoes{0};
  std::atomic<bool> terminou{false};
  gadget_->aoAtualizar = [&] {
    gadget_->IniciaTrabalho(
        [&](const std::atomic<bool>&) {
          // Deaf to `cancelar`; the first interruption is missed. Five
          // seconds without a second one and it gives up, unstopped.
          QElapsedTimer tempo;
          tempo.start();
          while (interrupcoes < 2 && tempo.elapsed() < 5000) QThread::msleep(1);
          terminou = interrupcoes >= 2;
        },
        [](std::exception_ptr) {}, [&] { ++interrupcoes; });
  };
  gadget_->Atualiza(gadget_.get());
  ASSERT_TRUE(gadget_->atualizando());
  gadget_.reset();
  EXPECT_TRUE(terminou);
  EXPECT_GE(interrupcoes, 2);
}

// Once the end of the program is asked for, the work under way finishes
// without anything after it: no error box, no action that waited for it, no
// refresh asked for meanwhile.
TEST_F(Gadget, DepoisDoPedidoDeEncerramentoNadaMaisComeca) {
  test::MensagensRegistradas mensagens;
  QSemaphore liberar;
  gadget_->aoAtualizar = [&] {
    gadget_->IniciaTrabalho(
        [&](const std::atomic<bool>&) {
          liberar.acquire();
          throw std::runtime_error("conexão perdida");
        },
        [](std::exception_ptr erro) {
          if (erro) std::rethrow_exception(erro);
        });
  };
  gadget_->Atualiza(gadget_.get());
  ASSERT_TRUE(gadget_->atualizando());
  bool acaoRodou = false;
  gadget_->AposTrabalho([&] { acaoRodou = true; });
  gadget_->Atualiza(gadget_.get());  // once more at the end, were it not ending
  requestShutdown();
  liberar.release();
  const bool terminou = Aguarda([&] { return !gadget_->atualizando(); });
  gadget_->Atualiza(gadget_->tmrPrincipal);
  gadget_->Atualiza(gadget_.get());
  const bool outraAtualizacao = gadget_->atualizando();
  const int atualizacoes = gadget_->atualizacoes;
  clearShutdownRequest();
  ASSERT_TRUE(terminou);
  EXPECT_FALSE(outraAtualizacao);
  EXPECT_EQ(atualizacoes, 1);
  EXPECT_FALSE(acaoRodou);
  EXPECT_TRUE(mensagens.lista.empty()) << mensagens.textos();
}

}  // namespace
}  // namespace margivo
