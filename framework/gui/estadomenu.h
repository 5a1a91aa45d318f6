// The caption strip's life as the mouse comes and goes, apart from any
// widget or timer, so that its rules can be followed step by step:
//
//   hidden --enter--> shown --leave--> shown, fade pending (1 s)
//     fade pending --enter--> shown (the pending fade is cancelled)
//     fade pending --the second ends--> fading: six steps 25 ms apart, each
//       lowering the strip's opacity by 0.2, then hidden.
//
// A leave while a drag is in progress leaves nothing pending: the strip stays
// until the mouse leaves again after the drag. An enter during the fade shows
// the strip at full opacity again but does not stop the fade, which still
// ends with the strip hidden; the next enter shows it again.
//
// The face's opacity follows the mouse too: full while the mouse is over the
// gadget, the `Transparencia` setting once it leaves.
#pragma once

#include <QString>

namespace margivo {

class TEstadoMenu {
 public:
  static constexpr int kEsperaMs = 1000;        // from the leave to the start of the fade
  static constexpr int kPassosFade = 6;         // steps of the fade
  static constexpr int kIntervaloPassoMs = 25;  // pause after each step
  static constexpr double kPassoOpacidade = 0.2;

  enum class Fase { Oculto, Visivel, Esmaecendo };

  // The mouse entered a strip button or a wired control.
  void Entrou();
  // The mouse left one; `arrastando`: a drag is in progress.
  void Saiu(bool arrastando);
  // The pending second is over: the fade begins with its first step.
  // Nothing happens when no fade is pending.
  void FimDaEspera();
  // One more step of the fade; the last one hides the strip. Nothing happens
  // when the strip is not fading.
  void PassoFade();

  Fase fase() const noexcept { return fase_; }
  bool menuVisivel() const noexcept { return fase_ != Fase::Oculto; }
  double opacidadeMenu() const noexcept { return opacidade_; }
  // A fade waits for the second after a leave to end.
  bool esperaPendente() const noexcept { return espera_; }
  // Steps of the fade already made.
  int passosFeitos() const noexcept { return passos_; }

 private:
  Fase fase_ = Fase::Oculto;
  double opacidade_ = 1;
  bool espera_ = false;
  int passos_ = 0;
};

// The face's opacity when the mouse is not over the gadget: `Transparencia`
// per cent, where a value that is not a whole number counts as 100; the
// result is kept between 0 and 1.
double OpacidadeForaDoMouse(const QString& Transparencia);

// The face's opacity a refresh applies: like OpacidadeForaDoMouse, but a
// value that is not a whole number is an error. Throws ConversionError
// naming the key "Transparencia", the value and the settings file.
double OpacidadeConfigurada(const QString& Transparencia, const QString& arquivo);

// The refresh interval in milliseconds from `AtualizaDados` (whole minutes);
// 0 when the value is 0 or negative (no periodic refresh). Throws
// ConversionError naming the key, the value and the settings file when the
// value is not a whole number.
int IntervaloAtualizacaoMs(const QString& AtualizaDados, const QString& arquivo);

}  // namespace margivo
