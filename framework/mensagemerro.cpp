#include "framework/mensagemerro.h"

#include <QRegularExpression>
#include <QStringList>
#include <optional>

#include "framework/config.h"
#include "framework/db/database.h"
#include "framework/inifile.h"
#include "framework/regional.h"

namespace margivo {
namespace {

QString arquivoDe(const TConfig* config) {
  return config != nullptr && !config->arquivo().isEmpty() ? config->arquivo()
                                                           : CaminhoArquivoConfig();
}

// The database without its article, so that callers can write "ao", "do" or
// "no" before it.
QString bancoSemArtigo(const TConfig& config) {
  QString texto = QStringLiteral("banco de dados \"%1\"").arg(config.CaminhoBanco);
  if (config.LocRem != QLatin1String("R")) return texto;
  QString servidor = config.Servidor;
  if (config.Protocolo != QLatin1String("0"))
    return texto + QStringLiteral(" no servidor \"%1\"").arg(servidor);
  // Firebird reads a port written after the host name as "host/port".
  QString porta = QStringLiteral("3050");
  const qsizetype barra = servidor.lastIndexOf(u'/');
  if (barra >= 0) {
    porta = servidor.mid(barra + 1);
    servidor.truncate(barra);
  }
  return texto + QStringLiteral(" no servidor \"%1\", porta %2").arg(servidor, porta);
}

// Why a database operation failed and what to do, from the engine's text.
struct Motivo {
  QString porque;
  QString oQueFazer;
};

bool contem(const QString& texto, const char* trecho) {
  return texto.contains(QLatin1String(trecho), Qt::CaseInsensitive);
}

// The line after `marca` in a Firebird status text ("-Table unknown\n-PARATLM").
QString linhaApos(const QString& texto, const char* marca) {
  const QStringList linhas = texto.split(u'\n');
  for (qsizetype i = 0; i + 1 < linhas.size(); ++i) {
    if (linhas[i].contains(QLatin1String(marca), Qt::CaseInsensitive)) {
      QString seguinte = linhas[i + 1].trimmed();
      if (seguinte.startsWith(u'-')) seguinte.remove(0, 1);
      return seguinte.trimmed();
    }
  }
  return QString();
}

Motivo motivoDoBanco(const QString& texto, const TConfig* config) {
  const QString arquivo = arquivoDe(config);
  if (contem(texto, "user name and password are not defined")) {
    return {QStringLiteral("o usuário ou a senha não foram aceitos"),
            QStringLiteral("Confira Usuario e Senha na seção [Configuracoes] de %1.").arg(arquivo)};
  }
  if (contem(texto, "already opened") || contem(texto, "lock file")) {
    return {QStringLiteral("o arquivo está em uso, de forma exclusiva, por outro programa (um "
                           "servidor Firebird, por exemplo)"),
            QStringLiteral("Feche o outro programa ou configure o acesso pelo servidor (LocRem=R "
                           "na seção [Configuracoes] de %1).")
                .arg(arquivo)};
  }
  if (contem(texto, "I/O error") || contem(texto, "No such file") ||
      contem(texto, "not a valid database")) {
    return {QStringLiteral("o arquivo do banco não foi encontrado ou não pôde ser aberto"),
            QStringLiteral("Confira o caminho (CaminhoBanco) na seção [Configuracoes] de %1 e se o "
                           "arquivo existe.")
                .arg(arquivo)};
  }
  if (contem(texto, "Unable to complete network request") ||
      contem(texto, "Failed to establish a connection") || contem(texto, "Connection refused")) {
    return {QStringLiteral("o servidor não respondeu"),
            QStringLiteral("Confira se o servidor do banco de dados está ligado e acessível pela "
                           "rede, e o servidor (Servidor) na seção [Configuracoes] de %1.")
                .arg(arquivo)};
  }
  if (contem(texto, "connection shutdown") || contem(texto, "connection lost") ||
      contem(texto, "from the connection") || contem(texto, "to the connection") ||
      contem(texto, "no attached database") || contem(texto, "not attached")) {
    return {QStringLiteral("a conexão com o banco de dados foi perdida"),
            QStringLiteral("Tente de novo em alguns instantes; se o erro continuar, confira se o "
                           "servidor do banco de dados está ligado e a rede.")};
  }
  if (contem(texto, "shutdown")) {
    return {QStringLiteral("o banco de dados está fechado para manutenção"),
            QStringLiteral("Tente de novo quando a manutenção terminar.")};
  }
  if (contem(texto, "no permission for")) {
    // "no permission for SELECT access to TABLE FILIAIS"
    static const QRegularExpression objeto(
        QStringLiteral("no permission for \\S+ access to (?:TABLE|VIEW) (\\S+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = objeto.match(texto);
    const QString usuario = config != nullptr && !config->Usuario.isEmpty()
                                ? QStringLiteral(" %1").arg(config->Usuario)
                                : QString();
    const QString onde =
        m.hasMatch() ? QStringLiteral(" na tabela %1").arg(m.captured(1)) : QString();
    return {QStringLiteral("o usuário%1 não tem permissão de leitura%2").arg(usuario, onde),
            QStringLiteral("Peça ao responsável pelo banco de dados permissão de leitura "
                           "para o usuário%1.")
                .arg(usuario)};
  }
  if (contem(texto, "Table unknown") || contem(texto, "Column unknown") ||
      contem(texto, "Procedure unknown")) {
    QString nome = linhaApos(texto, "Table unknown");
    QString oQue = QStringLiteral("a tabela");
    if (nome.isEmpty()) {
      nome = linhaApos(texto, "Column unknown");
      oQue = QStringLiteral("a coluna");
    }
    const QString falta = nome.isEmpty() ? QStringLiteral("uma tabela ou coluna")
                                         : QStringLiteral("%1 %2").arg(oQue, nome);
    return {QStringLiteral("o banco não tem %1, que o programa lê").arg(falta),
            QStringLiteral("Confira se o caminho (CaminhoBanco) em %1 aponta para o banco do ERP.")
                .arg(arquivo)};
  }
  if (contem(texto, "lock conflict") || contem(texto, "deadlock") ||
      contem(texto, "update conflicts")) {
    return {QStringLiteral("o banco de dados estava ocupado"),
            QStringLiteral("Tente de novo em alguns instantes.")};
  }
  return {QStringLiteral("o banco de dados informou um erro"),
          QStringLiteral("Se o erro continuar, informe o suporte com os detalhes desta mensagem.")};
}

// The database as this error names it, when the settings are not at hand.
QString bancoDoTexto(const QString& texto) {
  // "cannot attach to database NAME: why" (a remote NAME holds a colon, but
  // no colon and blank), or our own "... banco de dados "NAME"".
  static const QRegularExpression nome(QStringLiteral(
      "(?:attach to database|connect to database) (.+?)(?:: |\\n|$)|banco de dados \"([^\"]*)\""));
  const QRegularExpressionMatch m = nome.match(texto);
  if (!m.hasMatch()) return QStringLiteral("banco de dados");
  const QString achado = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
  return QStringLiteral("banco de dados \"%1\"").arg(achado.trimmed());
}

}  // namespace

QString descreveBanco(const TConfig& config) {
  return QStringLiteral("o ") + bancoSemArtigo(config);
}

MensagemErro descreveErroDoBanco(const QString& textoDoErro, const TConfig* config) {
  const QString banco = config != nullptr ? bancoSemArtigo(*config) : bancoDoTexto(textoDoErro);
  const QString arquivo = arquivoDe(config);

  // The branch name's look-up connects on its own and says so first.
  static const QRegularExpression filial(
      QStringLiteral("^cannot read the name of branch (.*?): (.*)$"),
      QRegularExpression::DotMatchesEverythingOption);
  QString causa = textoDoErro;
  QString inicio;
  bool conectando = false;
  if (const QRegularExpressionMatch m = filial.match(textoDoErro); m.hasMatch()) {
    causa = m.captured(2);
    if (causa.contains(QLatin1String("no database path (CaminhoBanco)"))) {
      return {QStringLiteral("Não foi possível ler o nome da filial %1: o caminho do banco de "
                             "dados (CaminhoBanco) não está na seção [Configuracoes] de %2. "
                             "Informe-o em \"Kelvara\".")
                  .arg(m.captured(1), arquivo),
              textoDoErro};
    }
    if (causa.contains(QLatin1String("(Protocolo)"))) {
      return {QStringLiteral("Não foi possível ler o nome da filial %1: o protocolo (Protocolo) "
                             "\"%2\" da seção [Configuracoes] de %3 não é 0, 1 nem 2.")
                  .arg(m.captured(1), config != nullptr ? config->Protocolo : QString(), arquivo),
              textoDoErro};
    }
    inicio =
        QStringLiteral("Não foi possível ler o nome da filial %1 no %2").arg(m.captured(1), banco);
    conectando = causa.startsWith(QLatin1String("cannot connect")) ||
                 causa.startsWith(QLatin1String("cannot attach"));
  } else if (causa.startsWith(QLatin1String("cannot attach")) ||
             causa.startsWith(QStringLiteral("Sem conexão"))) {
    inicio = QStringLiteral("Não foi possível conectar ao %1").arg(banco);
    conectando = true;
  } else {
    inicio = QStringLiteral("Não foi possível ler os dados do %1").arg(banco);
  }

  Motivo motivo = motivoDoBanco(causa, config);
  if (conectando && motivo.porque == QLatin1String("o banco de dados informou um erro")) {
    // The attempt gave no reason of its own.
    motivo = {QStringLiteral("a conexão não pôde ser feita"),
              QStringLiteral("Confira se o servidor do banco de dados está ligado e acessível, e o "
                             "caminho (CaminhoBanco), o usuário e a senha na seção "
                             "[Configuracoes] de %1.")
                  .arg(arquivo)};
  }
  return {QStringLiteral("%1: %2. %3").arg(inicio, motivo.porque, motivo.oQueFazer), textoDoErro};
}

MensagemErro descreveFalhaDeConexao(const TConfig& config, const QString& motivo) {
  MensagemErro m = descreveErroDoBanco(
      QStringLiteral("cannot attach to database %1: %2").arg(config.CaminhoBanco, motivo), &config);
  m.detalhes = motivo;
  return m;
}

MensagemErro descreveErro(std::exception_ptr erro, const TConfig* config) {
  try {
    if (erro) std::rethrow_exception(erro);
  } catch (const DatabaseError& e) {
    return descreveErroDoBanco(e.message(), config);
  } catch (const IniFileError& e) {
    const QString texto = QString::fromUtf8(e.what());
    static const QRegularExpression padrao(
        QStringLiteral("^cannot (read|write) settings file (.*?): (.*)$"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = padrao.match(texto);
    if (!m.hasMatch()) {
      return {QStringLiteral("Erro no arquivo de configurações %1.").arg(arquivoDe(config)), texto};
    }
    if (m.captured(1) == QLatin1String("read")) {
      return {QStringLiteral("Não foi possível ler o arquivo de configurações %1. Confira se ele "
                             "existe e se este usuário pode lê-lo.")
                  .arg(m.captured(2)),
              m.captured(3)};
    }
    return {QStringLiteral("Não foi possível gravar o arquivo de configurações %1; ele ficou como "
                           "estava. Confira se há espaço em disco e se este usuário pode "
                           "gravá-lo.")
                .arg(m.captured(2)),
            m.captured(3)};
  } catch (const ConversionError& e) {
    const QString texto = QString::fromUtf8(e.what());
    // The settings' own conversions name the key and the file in Portuguese.
    if (texto.startsWith(QStringLiteral("Valor inválido")) ||
        texto.startsWith(QStringLiteral("Data inválida")))
      return {texto, QString()};
    return {QStringLiteral("Um valor não pôde ser lido como número ou data."), texto};
  } catch (const std::exception& e) {
    return {QString::fromUtf8(e.what()), QString()};
  } catch (...) {
  }
  return {QStringLiteral("Erro desconhecido."), QString()};
}

}  // namespace margivo
