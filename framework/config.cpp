#include "framework/config.h"

#include <QDir>
#include <utility>
#include <vector>

#include "framework/inifile.h"

namespace margivo {
namespace {

using Setting = std::pair<const char*, QString TConfig::*>;

// Keys of the database section, in the order they are read.
const std::vector<Setting>& databaseKeys() {
  static const std::vector<Setting> keys = {
      {"LocRem", &TConfig::LocRem},       {"Servidor", &TConfig::Servidor},
      {"Protocolo", &TConfig::Protocolo}, {"CaminhoBanco", &TConfig::CaminhoBanco},
      {"Usuario", &TConfig::Usuario},     {"Senha", &TConfig::Senha},
      {"Filial", &TConfig::Filial},
  };
  return keys;
}

// Keys of the gadget section, in the order they are read.
const std::vector<Setting>& gadgetKeys() {
  static const std::vector<Setting> keys = {
      {"SempreVisivel", &TConfig::SempreVisivel},
      {"Transparencia", &TConfig::Transparencia},
      {"Empresa", &TConfig::Empresa},
      {"AtualizaDados", &TConfig::AtualizaDados},
      {"PosX", &TConfig::PosX},
      {"PosY", &TConfig::PosY},
      {"TipoDeLucro", &TConfig::TipoDeLucro},
      {"Listar", &TConfig::Listar},
      {"Faturados", &TConfig::Faturados},
      {"Margem", &TConfig::Margem},
      {"Meta", &TConfig::Meta},
      {"HoraIniExp", &TConfig::HoraIniExp},
      {"HoraFimExp", &TConfig::HoraFimExp},
      {"Devolucoes", &TConfig::Devolucoes},
      {"Trocas", &TConfig::Trocas},
      {"Pedidos", &TConfig::Pedidos},
      {"TiposPedido", &TConfig::TiposPedido},
      {"Modo", &TConfig::Modo},
      {"FiltroData", &TConfig::FiltroData},
      {"TipoVenda", &TConfig::TipoVenda},
      {"DataInicial", &TConfig::DataInicial},
      {"DataFinal", &TConfig::DataFinal},
      {"Periodo", &TConfig::Periodo},
      {"MostraPedidos", &TConfig::MostraPedidos},
      {"PedidosImportados", &TConfig::PedidosImportados},
  };
  return keys;
}

// Keys written on every save, even when empty: the settings this program
// itself owns and restores at the next start.
const std::vector<Setting>& alwaysSavedKeys() {
  static const std::vector<Setting> keys = {
      {"SempreVisivel", &TConfig::SempreVisivel},
      {"Transparencia", &TConfig::Transparencia},
      {"Empresa", &TConfig::Empresa},
      {"AtualizaDados", &TConfig::AtualizaDados},
      {"PosX", &TConfig::PosX},
      {"PosY", &TConfig::PosY},
      {"IniWindows", &TConfig::IniWindows},
  };
  return keys;
}

// Keys written only when they hold a value, so that a setting unknown to the
// gadget that saves keeps the value another program put in the file.
const std::vector<Setting>& savedWhenSetKeys() {
  static const std::vector<Setting> keys = {
      {"TipoDeLucro", &TConfig::TipoDeLucro},
      {"Listar", &TConfig::Listar},
      {"Faturados", &TConfig::Faturados},
      {"ContasCaixa", &TConfig::Contas},
      {"Margem", &TConfig::Margem},
      {"Meta", &TConfig::Meta},
      {"HoraIniExp", &TConfig::HoraIniExp},
      {"HoraFimExp", &TConfig::HoraFimExp},
      {"Devolucoes", &TConfig::Devolucoes},
      {"Trocas", &TConfig::Trocas},
      {"Pedidos", &TConfig::Pedidos},
      {"TiposPedido", &TConfig::TiposPedido},
      {"TipoVenda", &TConfig::TipoVenda},
      {"FiltroData", &TConfig::FiltroData},
      {"DataInicial", &TConfig::DataInicial},
      {"DataFinal", &TConfig::DataFinal},
      {"Periodo", &TConfig::Periodo},
      {"MostraPedidos", &TConfig::MostraPedidos},
      {"PedidosImportados", &TConfig::PedidosImportados},
  };
  return keys;
}

void load(TConfig& config, const IniFile& file, const QString& section,
          const std::vector<Setting>& keys) {
  QStringList names;
  for (const auto& [name, member] : keys) names << QString::fromLatin1(name);
  const QStringList values = file.readStrings(section, names);
  for (size_t i = 0; i < keys.size(); ++i) config.*(keys[i].second) = values[qsizetype(i)];
}

void setIfEmpty(QString& value, const char* fallback) {
  if (value.isEmpty()) value = QString::fromLatin1(fallback);
}

}  // namespace

QString CaminhoArquivoConfig() {
#ifdef Q_OS_WIN
  return QStringLiteral("C:\\TempKZW\\ConfigGadGet.Ini");
#else
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG base
  // directory rules require: it would move with the working directory.
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty() || !QDir::isAbsolutePath(base))
    base = QDir::homePath() + QStringLiteral("/.config");
  return QDir::cleanPath(base + QStringLiteral("/TempKZW/ConfigGadGet.Ini"));
#endif
}

TConfig::TConfig(const QString& Secao) : TConfig(Secao, CaminhoArquivoConfig()) {}

TConfig::TConfig(const QString& Secao, const QString& path) : FSecao(Secao), arquivo_(path) {}

void TConfig::CarregarIni() {
  const IniFile file(arquivo_);
  load(*this, file, QString::fromLatin1(SECAO_CONFIG_ARQINI), databaseKeys());
  if (FSecao.isEmpty()) return;
  load(*this, file, FSecao, gadgetKeys());
}

void TConfig::SalvarIni() {
  if (FSecao.isEmpty()) {
    throw IniFileError("cannot write settings file " + arquivo_.toStdString() +
                       ": no gadget section to write the settings into");
  }
  std::vector<std::pair<QString, QString>> values;
  for (const auto& [name, member] : alwaysSavedKeys()) {
    values.emplace_back(QString::fromLatin1(name), this->*member);
  }
  for (const auto& [name, member] : savedWhenSetKeys()) {
    if (!(this->*member).isEmpty()) values.emplace_back(QString::fromLatin1(name), this->*member);
  }
  values.emplace_back(QStringLiteral("Modo"), Modo);
  // The family's tools record which program saved the section; this program
  // has no application title, so the key is written with an empty value.
  values.emplace_back(QStringLiteral("GadGet"), QString());
  // One write for the whole section: the file is never left half updated.
  IniFile(arquivo_).writeStrings(FSecao, values);
}

void TConfig::InstanciaVariaveis(const QString& SiglaGadget) {
  IniWindows = QStringLiteral("1");
  setIfEmpty(Transparencia, "100");
  setIfEmpty(AtualizaDados, "1");
  setIfEmpty(SempreVisivel, "0");
  // Blanks here would select no kind of orders at all; they get the default
  // like an empty value.
  if (MostraPedidos.trimmed().isEmpty()) MostraPedidos = QStringLiteral("0");
  setIfEmpty(PedidosImportados, "0");
  if (SiglaGadget == u"VQM") setIfEmpty(Empresa, "00");
}

QString TConfig::RetornaContasCaixa() {
  static const QString marker = QStringLiteral("ContasCaixa=");
  for (const QString& line : IniFile(arquivo_).lines()) {
    const qsizetype at = line.indexOf(marker);
    if (at >= 0) return line.mid(at + marker.size()).trimmed();
  }
  return QString();
}

}  // namespace margivo
