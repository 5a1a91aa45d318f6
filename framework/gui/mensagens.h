// The program's message boxes: modal, one OK button, the program waits for
// them. Every box of the start-up, the gadget frame and the refresh goes
// through MostraMensagem, so tests replace the box with a hook that records
// what would have been shown instead of blocking.
#pragma once

#include <QString>
#include <exception>
#include <functional>

#include "framework/mensagemerro.h"

namespace margivo {

enum class TipoMensagem {
  Simples,  // a plain message, no icon
  Aviso,    // a warning
  Erro,     // an error that ended an operation; its text is the error's message
};

// Shows `texto` and returns when the user closed the box (or at once, when a
// hook is set). `detalhes`, when not empty, is what the system or the
// database said, kept out of the main text behind the box's details button.
// Once the end of the program is asked for (shutdown.h) it shows nothing; a
// box open then is closed by the end of its event loop.
void MostraMensagem(TipoMensagem tipo, const QString& texto, const QString& detalhes = QString());

// Shows the error box of `erro` as descreveErro words it (no settings at
// hand): a sentence for the user, the database's or the system's own text
// as details. A DesktopError's message is its sentence, its details() the
// details.
void MostraErro(std::exception_ptr erro);
// Shows an error box with the message's text and its details.
void mostraErro(const MensagemErro& mensagem);

using GanchoMensagem =
    std::function<void(TipoMensagem tipo, const QString& texto, const QString& detalhes)>;
// Replaces the box with `gancho` (an empty hook restores the box); returns
// the hook that was set before.
GanchoMensagem setGanchoMensagem(GanchoMensagem gancho);

}  // namespace margivo
