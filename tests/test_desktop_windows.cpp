// The desktop layer on Windows, through the Win32 calls themselves (under
// Wine on the build machine): the single-instance lock is a named mutex the
// whole session sees, the autostart entry is a value under the machine-wide
// Run key holding the program's full path with ".exe", the host window leaves
// the taskbar through the tool-window style once and stays visible, always on
// top is the topmost style, and the notification icon comes and goes.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <QAbstractNativeEventFilter>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>
#include <optional>

#include "desktop/desktop.h"
#include "tests/test_gadget_apoio.h"

namespace margivo {
namespace {

constexpr wchar_t kRun[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The data of value `nome` under HKLM's Run key; nothing when there is no
// such value. Fails the test when the value is not a plain string.
std::optional<QString> ValorRun(const QString& nome) {
  HKEY chave = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRun, 0, KEY_QUERY_VALUE, &chave) != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot open the Run key";
    return std::nullopt;
  }
  const std::wstring valor = nome.toStdWString();
  DWORD tipo = 0;
  DWORD tamanho = 0;
  LONG r = RegQueryValueExW(chave, valor.c_str(), nullptr, &tipo, nullptr, &tamanho);
  std::optional<QString> dados;
  if (r == ERROR_SUCCESS) {
    std::wstring texto(tamanho / sizeof(wchar_t), L'\0');
    r = RegQueryValueExW(chave, valor.c_str(), nullptr, &tipo,
                         reinterpret_cast<BYTE*>(texto.data()), &tamanho);
    EXPECT_EQ(r, ERROR_SUCCESS);
    EXPECT_EQ(tipo, DWORD(REG_SZ));
    while (!texto.empty() && texto.back() == L'\0') texto.pop_back();
    dados = QString::fromStdWString(texto);
  }
  RegCloseKey(chave);
  return dados;
}

// The full path of the running program, as Windows knows it.
QString ProgramaEmExecucao() {
  wchar_t caminho[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, caminho, MAX_PATH);
  return QString::fromWCharArray(caminho, int(n));
}

bool MutexExiste(const wchar_t* nome) {
  HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, nome);
  if (h == nullptr) return false;
  CloseHandle(h);
  return true;
}

TEST(InstanciaUnicaWindows, MutexNomeadoAteSerLiberado) {
  test::Aplicacao();
  ASSERT_FALSE(MutexExiste(L"frmRentabilidade")) << "a copy of the program is running";
  auto primeira = desktop().VerificaExeAberto("frmRentabilidade");
  ASSERT_NE(primeira, nullptr);
  // A named object of the session, which every other process opens by its
  // name without a namespace prefix.
  EXPECT_TRUE(MutexExiste(L"frmRentabilidade"));
  EXPECT_EQ(desktop().VerificaExeAberto("frmRentabilidade"), nullptr);
  EXPECT_NE(desktop().VerificaExeAberto("outroGadget"), nullptr) << "one lock per name";
  primeira.reset();
  EXPECT_FALSE(MutexExiste(L"frmRentabilidade"));
  EXPECT_NE(desktop().VerificaExeAberto("frmRentabilidade"), nullptr);
}

TEST(AutostartWindows, ValorNaChaveRunComOCaminhoDoPrograma) {
  test::Aplicacao();
  ASSERT_EQ(ValorRun("Rentabilidade"), std::nullopt) << "a value is already there";
  desktop().IniciarComWindows("Rentabilidade", true);
  EXPECT_EQ(ValorRun("Rentabilidade"), ProgramaEmExecucao());
  EXPECT_TRUE(ProgramaEmExecucao().endsWith(".exe")) << ProgramaEmExecucao().toStdString();
  // Every start writes it again.
  EXPECT_NO_THROW(desktop().IniciarComWindows("Rentabilidade", true));
  EXPECT_EQ(ValorRun("Rentabilidade"), ProgramaEmExecucao());
  desktop().IniciarComWindows("Rentabilidade", false);
  EXPECT_EQ(ValorRun("Rentabilidade"), std::nullopt);
  // Removing a value that is not there is no error.
  EXPECT_NO_THROW(desktop().IniciarComWindows("Rentabilidade", false));
}

// Run as a child by the test below, from a copy of this program under
// another extension: registers that copy.
TEST(AutostartWindows, RegistraEstaCopia) {
  if (!qEnvironmentVariableIsSet("MARGIVO_TESTE_REGISTRA")) GTEST_SKIP() << "child only";
  test::Aplicacao();
  desktop().IniciarComWindows(qEnvironmentVariable("MARGIVO_TESTE_REGISTRA"), true);
}

TEST(AutostartWindows, ProgramaSemExtensaoExeRegistradoComExe) {
  test::Aplicacao();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString copia = dir.filePath("margivo-copia.bin");
  ASSERT_TRUE(QFile::copy(QCoreApplication::applicationFilePath(), copia));
  QProcess filho;
  QProcessEnvironment ambiente = QProcessEnvironment::systemEnvironment();
  ambiente.insert("MARGIVO_TESTE_REGISTRA", "RentabilidadeCopia");
  filho.setProcessEnvironment(ambiente);
  filho.start(copia, {"--gtest_filter=AutostartWindows.RegistraEstaCopia"});
  ASSERT_TRUE(filho.waitForFinished(60000)) << filho.errorString().toStdString();
  ASSERT_EQ(filho.exitCode(), 0) << filho.readAll().toStdString();
  const std::optional<QString> valor = ValorRun("RentabilidadeCopia");
  desktop().IniciarComWindows("RentabilidadeCopia", false);
  ASSERT_TRUE(valor.has_value());
  EXPECT_EQ(valor->toLower(),
            QDir::toNativeSeparators(dir.filePath("margivo-copia.exe")).toLower());
}

// Counts the times a window is hidden (WM_SHOWWINDOW with FALSE).
class ContaOcultacoes : public QAbstractNativeEventFilter {
 public:
  explicit ContaOcultacoes(HWND janela) : janela_(janela) {
    QCoreApplication::instance()->installNativeEventFilter(this);
  }
  ~ContaOcultacoes() override { QCoreApplication::instance()->removeNativeEventFilter(this); }
  bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override {
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->hwnd == janela_ && msg->message == WM_SHOWWINDOW && msg->wParam == FALSE) ++vezes;
    return false;
  }
  int vezes = 0;

 private:
  HWND janela_;
};

LONG_PTR EstiloEstendido(HWND janela) { return GetWindowLongPtrW(janela, GWL_EXSTYLE); }

TEST(JanelaWindows, ForaDaBarraDeTarefasUmaVezSoESempreVisivel) {
  test::Aplicacao();
  QWidget janela;
  janela.setWindowTitle("Form1");
  janela.resize(300, 200);
  janela.show();
  ASSERT_TRUE(test::Aguarda([&] { return janela.windowHandle()->isExposed(); }));
  const HWND hwnd = reinterpret_cast<HWND>(janela.winId());
  ASSERT_EQ(EstiloEstendido(hwnd) & WS_EX_TOOLWINDOW, 0);

  // The window procedure's messages, sent ones included, pass Qt's native
  // event filters.
  ContaOcultacoes ocultacoes(hwnd);
  desktop().EscondeBarraTarefa(&janela);
  EXPECT_NE(EstiloEstendido(hwnd) & WS_EX_TOOLWINDOW, 0);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  const int depoisDaPrimeira = ocultacoes.vezes;
  EXPECT_EQ(depoisDaPrimeira, 1) << "hidden once while the style changes";
  // Every refresh asks again; a window already off the taskbar does not blink.
  desktop().EscondeBarraTarefa(&janela);
  QCoreApplication::processEvents();
  EXPECT_EQ(ocultacoes.vezes, depoisDaPrimeira);
  EXPECT_TRUE(IsWindowVisible(hwnd));

  desktop().setAlwaysOnTop(&janela, true);
  EXPECT_NE(EstiloEstendido(hwnd) & WS_EX_TOPMOST, 0);
  EXPECT_NE(EstiloEstendido(hwnd) & WS_EX_TOOLWINDOW, 0) << "always on top kept the style";
  desktop().setAlwaysOnTop(&janela, false);
  EXPECT_EQ(EstiloEstendido(hwnd) & WS_EX_TOPMOST, 0);
  EXPECT_NE(EstiloEstendido(hwnd) & WS_EX_TOOLWINDOW, 0);
  EXPECT_TRUE(IsWindowVisible(hwnd));
}

TEST(BandejaWindows, IconeCriadoERemovido) {
  test::Aplicacao();
  QWidget janela;
  desktop().CriaIcone(&janela, "Rentabilidade");
  EXPECT_TRUE(desktop().iconVisible());
  // Every refresh removes and adds it again: one icon at a time.
  desktop().DestroiIcone();
  EXPECT_FALSE(desktop().iconVisible());
  desktop().CriaIcone(&janela, "Rentabilidade");
  EXPECT_TRUE(desktop().iconVisible());
  desktop().DestroiIcone();
  EXPECT_FALSE(desktop().iconVisible());
}

}  // namespace
}  // namespace margivo
