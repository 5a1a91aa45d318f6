#include "framework/funcoes.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <optional>
#include <string>

#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/db/database.h"
#include "framework/db/query.h"
#include "framework/decimal_p.h"

namespace margivo {
namespace detail {

namespace {

// Beyond this many decimals every one of the 18 significant digits of any
// double (the smallest subnormal is about 4.9e-324) is kept, so more change
// nothing; the cap keeps the digit arithmetic clear of overflow.
constexpr int kMaxDecimals = 360;
constexpr int kSignificantDigits = 18;

// Adds one unit in the last place of a string of decimal digits; returns
// true when the carry runs out of the top ("999" becomes "000").
bool incrementDigits(std::string& digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return false;
    }
    *it = '0';
  }
  return true;
}

}  // namespace

RoundedDecimal roundDecimal(double value, int decimals) {
  decimals = std::clamp(decimals, 0, kMaxDecimals);

  // 18 significant digits, correctly rounded from the exact binary value
  // with ties to even: "d.ddddddddddddddddde±x". std::to_chars does not
  // depend on the C library's locale, which Qt sets from the environment.
  char buffer[64];
  const auto converted = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                       std::chars_format::scientific, kSignificantDigits - 1);
  const std::string text(buffer, converted.ptr);
  const auto ePos = text.find('e');
  const std::string significant = text.substr(0, 1) + text.substr(2, ePos - 2);
  const int exponent = std::stoi(text.substr(ePos + 1));

  // The value is 0.<significant> x 10^(exponent + 1). Keep the digits up to
  // the last decimal asked for; `kept` digits form an integer N and the
  // rounded value is N x 10^-decimals.
  const int keep = exponent + 1 + decimals;
  std::string digits;
  char firstCut = '0';
  if (keep >= 0) {
    const int fromSignificant = std::min(keep, kSignificantDigits);
    digits = significant.substr(0, fromSignificant);
    digits.append(keep - fromSignificant, '0');
    if (keep < kSignificantDigits) firstCut = significant[keep];
  }
  // The cut rounds half away from zero: the sign is applied afterwards.
  if (firstCut >= '5' && incrementDigits(digits)) digits.insert(digits.begin(), '1');

  if (digits.size() < static_cast<std::size_t>(decimals) + 1) {
    digits.insert(0, decimals + 1 - digits.size(), '0');
  }
  RoundedDecimal result;
  result.fractionDigits = digits.substr(digits.size() - decimals);
  result.integerDigits = digits.substr(0, digits.size() - decimals);
  const auto firstNonZero = result.integerDigits.find_first_not_of('0');
  result.integerDigits.erase(0, std::min(firstNonZero, result.integerDigits.size() - 1));
  const bool zero = result.integerDigits == "0" &&
                    result.fractionDigits.find_first_not_of('0') == std::string::npos;
  result.negative = std::signbit(value) && !zero;
  return result;
}

}  // namespace detail

namespace {

constexpr double kPotencias10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};

// The common case without writing digits: |value| x 10^decimals in binary
// is within 1.2e-16 of it relative of the 18-digit decimal scaled, so unless
// its fraction lies that close to one half, the decimal rounds half away
// from zero to the same whole number N. N / 10^decimals, one correctly
// rounded division of exact operands, is the double nearest the decimal
// text "N with `decimals` places" that the digit path would read back.
// Returns nullopt when only the digits can decide.
std::optional<double> FRoundRapido(int decimals, double value) {
  if (decimals < 0) decimals = 0;
  if (decimals >= int(std::size(kPotencias10))) return std::nullopt;
  const double escala = kPotencias10[decimals];
  const double p = std::fabs(value) * escala;
  if (!(p < 4.0e15)) return std::nullopt;
  const double inteiro = std::floor(p);
  const double fracao = p - inteiro;  // exact below 2^52
  if (std::fabs(fracao - 0.5) <= p * 1e-15 + 1e-300) return std::nullopt;
  const double n = fracao > 0.5 ? inteiro + 1 : inteiro;
  if (n == 0) return 0.0;
  const double resultado = n / escala;
  return std::signbit(value) ? -resultado : resultado;
}

}  // namespace

double FRound(int VFCasasDecimais, double VFNumero) {
  // Infinities and NaN have no decimal text; they pass unchanged so that the
  // error that produced them stays visible.
  if (!std::isfinite(VFNumero)) return VFNumero;
  if (const std::optional<double> rapido = FRoundRapido(VFCasasDecimais, VFNumero)) return *rapido;
  const detail::RoundedDecimal rounded = detail::roundDecimal(VFNumero, VFCasasDecimais);
  std::string text = rounded.integerDigits;
  if (!rounded.fractionDigits.empty()) text += '.' + rounded.fractionDigits;
  double result = 0;
  std::from_chars(text.data(), text.data() + text.size(), result);
  // A value that rounds to zero gives +0, never -0.
  return rounded.negative ? -result : result;
}

QString Space(int VFTamanho) {
  return VFTamanho > 0 ? QString(VFTamanho, QLatin1Char(' ')) : QString();
}

QString PadL(const QString& VFString, int VFTamanho) {
  if (VFTamanho <= 0) return VFString;
  const qsizetype taken = std::min<qsizetype>(VFString.size(), VFTamanho);
  return Space(VFTamanho - static_cast<int>(taken)) + VFString.right(taken);
}

QString StrZero(const QString& VFString, int VFTamanho) {
  QString result = VFString.trimmed();
  if (result.size() > VFTamanho) result = PadL(result, VFTamanho);
  while (result.size() < VFTamanho) result.prepend(QLatin1Char('0'));
  return result;
}

QString NomeFilial(const QString& CodFilial) {
  return NomeFilial(CodFilial, CaminhoArquivoConfig());
}

QString NomeFilial(const QString& CodFilial, const QString& arquivoConfig) {
  QString result;
  // Declared in this order so that, after an error as well, the query is
  // closed and released first, then the connection (which detaches), then
  // the configuration.
  TConfig Config(QString(), arquivoConfig);
  Config.CarregarIni();
  TConexao Conexao;
  Conexao.setConfiguracao(Config.LocRem, Config.Protocolo, Config.Servidor, Config.CaminhoBanco,
                          Config.Usuario, Config.Senha);
  // One look-up: the database is attached for it alone. The connection's
  // error says what failed; this says why the database was wanted.
  std::optional<ScopedAttachment> emUso;
  try {
    emUso.emplace(Conexao);
  } catch (const DatabaseError& erro) {
    throw DatabaseError(
        QStringLiteral("cannot read the name of branch %1: %2").arg(CodFilial, erro.message()),
        erro.kind());
  }

  Query qryFilial(&emUso->database());
  qryFilial.setTransaction(Conexao.getTransaction());
  qryFilial.sql() << QStringLiteral("SELECT NOMEEMPRESA FROM FILIAIS      ")
                  << QStringLiteral("WHERE FILIAIS.CODEMPRESA = :CodFilial");
  qryFilial.setString(QStringLiteral("CodFilial"), CodFilial);
  qryFilial.open();
  // No row reads as an empty column: the result stays empty.
  const QString nome = qryFilial.fieldByName(QStringLiteral("NOMEEMPRESA")).asString();
  if (!nome.isEmpty()) result = nome;
  qryFilial.close();
  return result;
}

}  // namespace margivo
