// The desktop layer on Windows: a named mutex, the machine-wide Run key, the
// notification area and the tool-window style. Built on Windows only.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QWidget>
#include <QWindow>
#include <memory>
#include <string>

#include "desktop/desktop.h"
#include "desktop/trayicon.h"

namespace margivo {
namespace {

constexpr wchar_t kRunKey[] = L"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN";

std::wstring wide(const QString& texto) { return texto.toStdWString(); }

QString systemMessage(LONG codigo) {
  wchar_t* texto = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(codigo), 0, reinterpret_cast<wchar_t*>(&texto), 0, nullptr);
  QString r = n > 0 ? QString::fromWCharArray(texto, static_cast<int>(n)).trimmed()
                    : QStringLiteral("erro %1").arg(codigo);
  if (texto != nullptr) LocalFree(texto);
  return r;
}

// The mutex stays owned by this process until it ends or the lock is
// released.
class MutexInstanceLock final : public InstanceLock {
 public:
  explicit MutexInstanceLock(HANDLE mutex) : mutex_(mutex) {}
  ~MutexInstanceLock() override {
    if (mutex_ != nullptr) CloseHandle(mutex_);
  }
  MutexInstanceLock(const MutexInstanceLock&) = delete;
  MutexInstanceLock& operator=(const MutexInstanceLock&) = delete;

 private:
  HANDLE mutex_;
};

class WindowsDesktop final : public detail::DesktopWithTrayIcon {
 public:
  std::unique_ptr<InstanceLock> VerificaExeAberto(const QString& NomeForm) override {
    const std::wstring nome = wide(NomeForm);
    HANDLE mutex = CreateMutexW(nullptr, TRUE, nome.c_str());
    if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
      CloseHandle(mutex);
      return nullptr;
    }
    // No handle at all: the program goes on as the only copy.
    return std::make_unique<MutexInstanceLock>(mutex);
  }

  void IniciarComWindows(const QString& Gadget, bool Adicionar) override {
    const QString runKeyName =
        QStringLiteral("HKEY_LOCAL_MACHINE\\") + QString::fromWCharArray(kRunKey);
    // The key is machine-wide: a user without administrator rights may not
    // change it.
    const QString whatToDo = QStringLiteral(
        "Verifique se o usuário tem permissão de administrador para alterar essa chave (ou "
        "peça ao responsável pelo computador)");
    HKEY chave = nullptr;
    LONG r = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_SET_VALUE, &chave);
    if (r != ERROR_SUCCESS)
      throw DesktopError(QStringLiteral("Não foi possível abrir a chave de início automático "
                                        "\"%1\"; nada foi alterado. %2.")
                             .arg(runKeyName, whatToDo),
                         systemMessage(r));
    const std::wstring nome = wide(Gadget);
    if (Adicionar) {
      // The program's folder, its name without extension and ".exe". A
      // registry value is written whole or not at all.
      const QFileInfo programa(QCoreApplication::applicationFilePath());
      const QString caminho = QDir::toNativeSeparators(programa.absolutePath()) + u'\\' +
                              programa.completeBaseName() + QStringLiteral(".exe");
      const std::wstring dados = wide(caminho);
      r = RegSetValueExW(chave, nome.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(dados.c_str()),
                         static_cast<DWORD>((dados.size() + 1) * sizeof(wchar_t)));
    } else {
      r = RegDeleteValueW(chave, nome.c_str());
      if (r == ERROR_FILE_NOT_FOUND) r = ERROR_SUCCESS;
    }
    RegCloseKey(chave);
    if (r == ERROR_SUCCESS) return;
    if (Adicionar)
      throw DesktopError(QStringLiteral("Não foi possível gravar o valor \"%1\" da chave de "
                                        "início automático \"%2\"; o valor anterior foi "
                                        "mantido. %3; o valor é gravado de novo a cada início "
                                        "do programa.")
                             .arg(Gadget, runKeyName, whatToDo),
                         systemMessage(r));
    throw DesktopError(QStringLiteral("Não foi possível remover o valor \"%1\" da chave de "
                                      "início automático \"%2\": o programa continuará a "
                                      "iniciar sozinho no logon. %3.")
                           .arg(Gadget, runKeyName, whatToDo),
                       systemMessage(r));
  }

  void EscondeBarraTarefa(QWidget* Form) override {
    if (Form == nullptr) return;
    const HWND janela = reinterpret_cast<HWND>(Form->winId());
    const LONG_PTR estilo = GetWindowLongPtrW(janela, GWL_EXSTYLE);
    if ((estilo & WS_EX_TOOLWINDOW) != 0) return;  // already off the taskbar: nothing blinks
    // The shell notices the new style only when the window is shown again.
    ShowWindow(janela, SW_HIDE);
    Sleep(125);
    SetWindowLongPtrW(janela, GWL_EXSTYLE, estilo | WS_EX_TOOLWINDOW);
    ShowWindow(janela, SW_SHOW);
  }

  void setAlwaysOnTop(QWidget* Form, bool onTop) override {
    if (Form == nullptr) return;
    const Qt::WindowFlags atuais = Form->windowFlags();
    if (atuais.testFlag(Qt::WindowStaysOnTopHint) == onTop) return;
    Qt::WindowFlags novas = atuais;
    novas.setFlag(Qt::WindowStaysOnTopHint, onTop);
    Form->overrideWindowFlags(novas);
    SetWindowPos(reinterpret_cast<HWND>(Form->winId()), onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0,
                 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
};

}  // namespace

Desktop& desktop() {
  // Never destroyed: its notification icon must not outlive the application
  // object in a destructor that runs after main().
  static WindowsDesktop* instancia = new WindowsDesktop;
  return *instancia;
}

}  // namespace margivo
