// The desktop services the gadget needs from the platform, behind one small
// interface with one implementation per platform:
//
//   single instance    Windows: a named mutex
//                      Linux: a lock file in the user's runtime directory ($XDG_RUNTIME_DIR)
//   autostart          Windows: a value under HKLM\...\Run
//                      Linux: $XDG_CONFIG_HOME/autostart/<name>.desktop
//   notification icon  the notification area (system tray), when the desktop has one
//   no taskbar button  Windows: the tool-window extended style
//                      Linux: _NET_WM_STATE_SKIP_TASKBAR and _SKIP_PAGER
//   always on top      Windows: a topmost window; Linux: _NET_WM_STATE_ABOVE
//
// Every operation acts only when something changes, so that a refresh that
// asks for the same state again makes nothing blink.
//
// Errors: IniciarComWindows throws DesktopError: its message, in Portuguese,
// names the entry (file or registry value), says that the entry there was is
// kept and what to do; the system's own reason is in its details. The other
// operations report nothing (the desktop may lack a notification area or a
// window manager, and the gadget works without).
#pragma once

#include <QString>
#include <memory>
#include <stdexcept>

class QWidget;

namespace margivo {

class DesktopError : public std::runtime_error {
 public:
  explicit DesktopError(const QString& message, const QString& details = QString());
  // The system's reason for the failure (for a details section), or empty.
  QString details() const { return details_; }

 private:
  QString details_;
};

// A single-instance lock held by this process; released when destroyed (the
// end of the process releases it too).
class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
};

class Desktop {
 public:
  virtual ~Desktop() = default;

  // Takes the per-user single-instance lock named `NomeForm`. nullptr when
  // another running copy holds it. When the lock cannot be made at all (no
  // place to keep it) the program goes on as the only copy: an empty lock.
  virtual std::unique_ptr<InstanceLock> VerificaExeAberto(const QString& NomeForm) = 0;
  // Registers (Adicionar) or removes the program's start at logon under the
  // name `Gadget`, with the program's full path as its command. Removing an
  // entry that does not exist is no error.
  virtual void IniciarComWindows(const QString& Gadget, bool Adicionar) = 0;
  // Shows the program's notification-area icon with the tip `Nome` and the
  // window icon of `Form` (the host window, which carries the program's
  // picture); an icon already shown only has its tip brought up to date.
  virtual void CriaIcone(QWidget* Form, const QString& Nome) = 0;
  // Removes the notification-area icon, if shown.
  virtual void DestroiIcone() = 0;
  // Whether the icon is shown (false without a notification area).
  virtual bool iconVisible() const = 0;
  // Takes `Form` (a top-level window) off the taskbar and the task switcher.
  virtual void EscondeBarraTarefa(QWidget* Form) = 0;
  // Keeps `Form` above other windows, or not.
  virtual void setAlwaysOnTop(QWidget* Form, bool onTop) = 0;
};

// The implementation for the platform the program runs on.
Desktop& desktop();

}  // namespace margivo
