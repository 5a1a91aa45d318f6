#include "gadget/errosatualizacao.h"

#include <QRegularExpression>
#include <optional>

#include "engine/dmrent.h"

namespace margivo {
namespace {

// The document and product of a CalculationError, as the engine writes them:
// "... no cálculo do pedido CODEMPRESA=01 TIPOPEDIDO=V CODPEDIDO=123, produto
// CODPROD=456 (etapa)" or "... do orçamento CODEMPRESA=01 CODORC=77, ...",
// then ": " and the underlying message for a database or conversion error.
struct Calculo {
  QString documento;  // "pedido 123 (filial 01, tipo V)"
  QString produto;
  QString etapa;
  QString causa;
};

std::optional<Calculo> lerCalculo(const QString& texto) {
  static const QRegularExpression padrao(
      QStringLiteral("no cálculo do (?:pedido CODEMPRESA=(.*?) TIPOPEDIDO=(.*?) CODPEDIDO=(.*?)|"
                     "orçamento CODEMPRESA=(.*?) CODORC=(.*?)), produto CODPROD=(.*?) "
                     "\\(([^)]*)\\)(?:: (.*))?$"),
      QRegularExpression::DotMatchesEverythingOption);
  const QRegularExpressionMatch m = padrao.match(texto);
  if (!m.hasMatch()) return std::nullopt;
  Calculo c;
  if (m.capturedStart(3) >= 0) {
    c.documento =
        QStringLiteral("o pedido %1 (filial %2, tipo %3)")
            .arg(m.captured(3).trimmed(), m.captured(1).trimmed(), m.captured(2).trimmed());
  } else {
    c.documento = QStringLiteral("o orçamento %1 (filial %2)")
                      .arg(m.captured(5).trimmed(), m.captured(4).trimmed());
  }
  c.produto = m.captured(6).trimmed();
  c.etapa = m.captured(7);
  c.causa = m.captured(8);
  return c;
}

MensagemErro descreveCalculo(const CalculationError& e, const TConfig* config) {
  const QString texto = e.message();
  const std::optional<Calculo> c = lerCalculo(texto);
  if (!c) return {texto, QString()};
  const QString inicio = QStringLiteral("Não foi possível calcular a rentabilidade d%1, produto %2")
                             .arg(c->documento, c->produto);
  switch (e.kind()) {
    case CalculationError::Kind::Arithmetic:
      return {QStringLiteral("%1: divisão por zero em \"%2\" (um valor, quantidade ou total "
                             "zerado). Confira esse pedido no ERP.")
                  .arg(inicio, c->etapa),
              texto};
    case CalculationError::Kind::Database: {
      const MensagemErro banco = descreveErroDoBanco(c->causa, config);
      // "Não foi possível ler os dados do banco ...: why. What to do." -
      // keep why and what to do after the database's own opening.
      const qsizetype doisPontos = banco.texto.indexOf(QLatin1String(": "));
      const QString resto = doisPontos >= 0 ? banco.texto.mid(doisPontos + 2) : banco.texto;
      return {QStringLiteral("%1, ao ler \"%2\": %3").arg(inicio, c->etapa, resto), c->causa};
    }
    case CalculationError::Kind::Conversion:
      return {QStringLiteral("%1: um valor do documento não é um número ou uma data válida "
                             "(\"%2\"). Confira esse documento no ERP.")
                  .arg(inicio, c->etapa),
              c->causa};
    case CalculationError::Kind::NotImplemented:
      break;
  }
  return {QStringLiteral("%1 (\"%2\").").arg(inicio, c->etapa), texto};
}

}  // namespace

MensagemErro descreveErroDaAtualizacao(std::exception_ptr erro, const TConfig* config) {
  try {
    if (erro) std::rethrow_exception(erro);
  } catch (const CalculationError& e) {
    return descreveCalculo(e, config);
  } catch (const ArithmeticError& e) {
    if (e.message().contains(QLatin1String("MTotValorDaVenda"))) {
      return {QStringLiteral("Não foi possível calcular \"Aquisição (%)\" e \"Venda (%)\": os "
                             "pedidos do período somam venda zero. Confira no ERP os valores dos "
                             "pedidos do período."),
              e.message()};
    }
    return {QStringLiteral("Não foi possível calcular a rentabilidade: divisão por zero."),
            e.message()};
  } catch (...) {
  }
  return descreveErro(erro, config);
}

}  // namespace margivo
