// The desktop layer on a freedesktop.org desktop (X11, or Wayland through
// XWayland).
#include "desktop/desktop_linux.h"

#include <unistd.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "desktop/desktop.h"
#include "desktop/trayicon.h"

namespace margivo {

namespace linux_desktop {

QString userConfigDir() {
  const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
  // Relative paths are invalid there and are ignored, as the base directory
  // rules say.
  if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return QDir::cleanPath(xdg);
  return QDir::homePath() + QStringLiteral("/.config");
}

QString autostartFile(const QString& Gadget) {
  return userConfigDir() + QStringLiteral("/autostart/") + Gadget + QStringLiteral(".desktop");
}

namespace {

// Escapes of a string value of a desktop entry file.
QString escapeValue(const QString& valor) {
  QString r;
  for (const QChar c : valor) {
    if (c == u'\\')
      r += QStringLiteral("\\\\");
    else if (c == u'\n')
      r += QStringLiteral("\\n");
    else if (c == u'\t')
      r += QStringLiteral("\\t");
    else if (c == u'\r')
      r += QStringLiteral("\\r");
    else
      r += c;
  }
  return r;
}

}  // namespace

QString execCommand(const QString& programa) {
  static const QString reservados = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
  const bool precisaAspas =
      std::any_of(programa.begin(), programa.end(), [](QChar c) { return reservados.contains(c); });
  QString argumento;
  if (precisaAspas) {
    argumento += u'"';
    for (const QChar c : programa) {
      if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') argumento += u'\\';
      argumento += c;
    }
    argumento += u'"';
  } else {
    argumento = programa;
  }
  argumento.replace(u'%', QStringLiteral("%%"));
  return escapeValue(argumento);
}

QString autostartEntry(const QString& Gadget, const QString& programa) {
  return QStringLiteral(
             "[Desktop Entry]\n"
             "Type=Application\n"
             "Name=%1\n"
             "Exec=%2\n"
             "Terminal=false\n"
             "X-GNOME-Autostart-enabled=true\n")
      .arg(escapeValue(Gadget), execCommand(programa));
}

QString lockFilePath(const QString& nome) {
  QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (dir.isEmpty()) dir = QDir::tempPath();
  return dir + u'/' + nome + QStringLiteral(".lock");
}

}  // namespace linux_desktop

namespace {

// X11 window-manager requests (EWMH). Under another platform (the offscreen
// one of the tests) they do nothing.
xcb_connection_t* x11Connection() {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* nome) {
  const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(nome)), nome);
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> r(
      xcb_intern_atom_reply(c, cookie, nullptr), &std::free);
  return r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// Adds or removes `estados` (_NET_WM_STATE_* names) on the window of `form`:
// in the window's property, which is what counts before the window is mapped
// or when no window manager runs, and by the request the window manager
// expects for a mapped window.
void changeWindowState(QWidget* form, bool adicionar, std::initializer_list<const char*> estados) {
  xcb_connection_t* c = x11Connection();
  if (c == nullptr || form == nullptr) return;
  const auto janela = static_cast<xcb_window_t>(form->winId());
  const xcb_atom_t netWmState = atom(c, "_NET_WM_STATE");
  std::vector<xcb_atom_t> atomos;
  for (const char* nome : estados) atomos.push_back(atom(c, nome));

  std::vector<xcb_atom_t> atuais;
  const auto cookie = xcb_get_property(c, 0, janela, netWmState, XCB_ATOM_ATOM, 0, 1024);
  std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> r(
      xcb_get_property_reply(c, cookie, nullptr), &std::free);
  if (r && r->format == 32 && r->type == XCB_ATOM_ATOM) {
    const auto* dados = static_cast<const xcb_atom_t*>(xcb_get_property_value(r.get()));
    atuais.assign(dados, dados + xcb_get_property_value_length(r.get()) / 4);
  }
  for (xcb_atom_t a : atomos) {
    const auto it = std::find(atuais.begin(), atuais.end(), a);
    if (adicionar && it == atuais.end()) atuais.push_back(a);
    if (!adicionar && it != atuais.end()) atuais.erase(it);
  }
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, janela, netWmState, XCB_ATOM_ATOM, 32,
                      static_cast<uint32_t>(atuais.size()), atuais.data());

  if (form->isVisible()) {
    const auto arvore = xcb_query_tree(c, janela);
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> t(
        xcb_query_tree_reply(c, arvore, nullptr), &std::free);
    if (t) {
      for (size_t i = 0; i < atomos.size(); i += 2) {
        xcb_client_message_event_t ev;
        std::memset(&ev, 0, sizeof ev);
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = janela;
        ev.type = netWmState;
        ev.data.data32[0] = adicionar ? 1 : 0;  // _NET_WM_STATE_ADD / _REMOVE
        ev.data.data32[1] = atomos[i];
        ev.data.data32[2] = i + 1 < atomos.size() ? atomos[i + 1] : 0;
        ev.data.data32[3] = 1;  // from an ordinary application
        xcb_send_event(c, 0, t->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&ev));
      }
    }
  }
  xcb_flush(c);
}

class FileInstanceLock final : public InstanceLock {
 public:
  explicit FileInstanceLock(std::unique_ptr<QLockFile> arquivo) : arquivo_(std::move(arquivo)) {}

 private:
  std::unique_ptr<QLockFile> arquivo_;  // unlocks (removes the file) when destroyed
};

// Replaces the autostart entry `arquivo` with `bytes` as a whole, or leaves
// the entry there was untouched. QSaveFile writes beside it and renames only
// at the end; unbuffered, so that every failed write shows here (a failed
// flush of its buffer would otherwise pass as a successful commit and rename
// an empty file over the entry), and synced before the rename, so that a
// disk that fills up late fails here too.
void writeEntry(const QString& arquivo, const QByteArray& bytes) {
  QSaveFile f(arquivo);
  QString reason;
  if (f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
    qint64 written = 0;
    while (written < bytes.size()) {
      const qint64 n = f.write(bytes.constData() + written, bytes.size() - written);
      if (n <= 0) break;
      written += n;
    }
    if (written < bytes.size()) {
      reason = f.errorString();
    } else if (::fsync(f.handle()) != 0) {
      reason = QString::fromLocal8Bit(std::strerror(errno));
    } else if (f.commit()) {
      return;
    } else {
      reason = f.errorString();
    }
    f.cancelWriting();
  } else {
    reason = f.errorString();
  }
  throw DesktopError(
      QStringLiteral("Não foi possível gravar a entrada de início automático \"%1\"; o arquivo "
                     "não foi alterado. Verifique o espaço livre em disco e a permissão de "
                     "gravação na pasta \"%2\"; a entrada é gravada de novo a cada início do "
                     "programa.")
          .arg(arquivo, QFileInfo(arquivo).absolutePath()),
      reason);
}

// Marks a window whose taskbar button is already gone.
constexpr const char* kOffTaskbarProperty = "margivoForaDaBarraDeTarefas";

class LinuxDesktop final : public detail::DesktopWithTrayIcon {
 public:
  std::unique_ptr<InstanceLock> VerificaExeAberto(const QString& NomeForm) override {
    auto trava = std::make_unique<QLockFile>(linux_desktop::lockFilePath(NomeForm));
    // Held for the whole run: only a holder that is no longer running makes
    // the lock stale, never its age.
    trava->setStaleLockTime(0);
    if (trava->tryLock(0)) return std::make_unique<FileInstanceLock>(std::move(trava));
    if (trava->error() == QLockFile::LockFailedError) return nullptr;
    // No place for the lock at all: this copy goes on alone.
    return std::make_unique<InstanceLock>();
  }

  void IniciarComWindows(const QString& Gadget, bool Adicionar) override {
    const QString arquivo = linux_desktop::autostartFile(Gadget);
    const QString folder = QFileInfo(arquivo).absolutePath();
    if (!Adicionar) {
      QFile entry(arquivo);
      if (entry.exists() && !entry.remove())
        throw DesktopError(
            QStringLiteral("Não foi possível remover a entrada de início automático \"%1\": o "
                           "programa continuará a iniciar sozinho no logon. Verifique a "
                           "permissão de gravação na pasta \"%2\" ou remova o arquivo.")
                .arg(arquivo, folder),
            entry.errorString());
      return;
    }
    if (!QDir().mkpath(folder))
      throw DesktopError(
          QStringLiteral("Não foi possível criar a pasta \"%1\" da entrada de início automático "
                         "\"%2\": o programa não iniciará sozinho no próximo logon. Verifique "
                         "se a pasta pode ser criada ali (permissões, espaço em disco); a entrada "
                         "é gravada de novo a cada início do programa.")
              .arg(folder, arquivo));
    writeEntry(
        arquivo,
        linux_desktop::autostartEntry(Gadget, QCoreApplication::applicationFilePath()).toUtf8());
  }

  void EscondeBarraTarefa(QWidget* Form) override {
    if (Form == nullptr || Form->property(kOffTaskbarProperty).toBool()) return;
    changeWindowState(Form, true, {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"});
    Form->setProperty(kOffTaskbarProperty, true);
  }

  void setAlwaysOnTop(QWidget* Form, bool onTop) override {
    if (Form == nullptr) return;
    const Qt::WindowFlags atuais = Form->windowFlags();
    if (atuais.testFlag(Qt::WindowStaysOnTopHint) == onTop) return;
    // Qt's own flag follows without re-creating the window (which would make
    // it blink); the window manager is asked directly.
    Qt::WindowFlags novas = atuais;
    novas.setFlag(Qt::WindowStaysOnTopHint, onTop);
    Form->overrideWindowFlags(novas);
    changeWindowState(Form, onTop, {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_STAYS_ON_TOP"});
  }
};

}  // namespace

Desktop& desktop() {
  // Never destroyed: its notification icon must not outlive the application
  // object in a destructor that runs after main().
  static LinuxDesktop* instancia = new LinuxDesktop;
  return *instancia;
}

}  // namespace margivo
