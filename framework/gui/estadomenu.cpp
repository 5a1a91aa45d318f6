#include "framework/gui/estadomenu.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "framework/regional.h"

namespace margivo {

void TEstadoMenu::Entrou() {
  espera_ = false;
  opacidade_ = 1;
  // A fade under way goes on; otherwise the strip is simply shown.
  if (fase_ != Fase::Esmaecendo) fase_ = Fase::Visivel;
}

void TEstadoMenu::Saiu(bool arrastando) {
  if (!arrastando) espera_ = true;
}

void TEstadoMenu::FimDaEspera() {
  if (!espera_ || fase_ == Fase::Esmaecendo) return;
  espera_ = false;
  fase_ = Fase::Esmaecendo;
  passos_ = 0;
  PassoFade();
}

void TEstadoMenu::PassoFade() {
  if (fase_ != Fase::Esmaecendo) return;
  opacidade_ = std::max(0.0, opacidade_ - kPassoOpacidade);
  if (++passos_ < kPassosFade) return;
  // The end of the fade hides the strip and drops a fade that a leave during
  // it asked for: the strip is already going away.
  fase_ = Fase::Oculto;
  espera_ = false;
}

namespace {

std::optional<int> Inteiro(const QString& texto) {
  bool ok = false;
  const int valor = texto.toInt(&ok, 10);
  return ok ? std::optional<int>(valor) : std::nullopt;
}

[[noreturn]] void ValorInvalido(const char* chave, const QString& valor, const QString& arquivo) {
  throw ConversionError(
      QStringLiteral("Valor inválido da chave \"%1\" em %2: \"%3\" não é um número inteiro.")
          .arg(QLatin1String(chave), arquivo, valor)
          .toStdString());
}

}  // namespace

double OpacidadeForaDoMouse(const QString& Transparencia) {
  return std::clamp(Inteiro(Transparencia).value_or(100) / 100.0, 0.0, 1.0);
}

double OpacidadeConfigurada(const QString& Transparencia, const QString& arquivo) {
  const auto valor = Inteiro(Transparencia);
  if (!valor) ValorInvalido("Transparencia", Transparencia, arquivo);
  return std::clamp(*valor / 100.0, 0.0, 1.0);
}

int IntervaloAtualizacaoMs(const QString& AtualizaDados, const QString& arquivo) {
  const auto minutos = Inteiro(AtualizaDados);
  if (!minutos) ValorInvalido("AtualizaDados", AtualizaDados, arquivo);
  if (*minutos <= 0) return 0;
  // A timer holds at most INT_MAX ms (about 24 days).
  return static_cast<int>(std::min<long long>(static_cast<long long>(*minutos) * 60000, INT_MAX));
}

}  // namespace margivo
