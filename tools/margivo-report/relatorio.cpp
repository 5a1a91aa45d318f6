#include "tools/margivo-report/relatorio.h"

#include <unistd.h>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>

#include "framework/conexao.h"
#include "framework/config.h"
#include "framework/db/database.h"
#include "framework/db/fbclient.h"
#include "framework/db/query.h"
#include "framework/inifile.h"
#include "framework/regional.h"
#include "gadget/atualizacao.h"
#include "gadget/identidade.h"
#include "gadget/itenspedidos.h"
#include "gadget/periodo.h"
#include "tools/margivo-report/saida.h"

namespace margivo::relatorio {

namespace {

// A failure with the exit status it ends the tool with.
struct Falha {
  int status;
  QString mensagem;
};

struct Pedido {
  QString arquivoConfig;
  QDate hoje;
  std::optional<QString> empresa, periodo, mostraPedidos;
  bool json = false;
  bool itens = false;
  bool caminhoRapido = true;        // --path fast (else per-item)
  bool soBusca = false;             // --fetch-only
  bool tempo = false;               // --timing
  int atualizacoes = 1;             // --refreshes
  bool variasAtualizacoes = false;  // --refreshes given: one compact JSON line each
  double intervalo = 0;             // --interval, in seconds
  bool incremental = true;          // not --no-incremental
};

// A stream that did not take what was written to it, and why (errno).
struct FalhaEscrita {
  std::FILE* arquivo;
  int erro;
};

// The cause of a failed write, as the user can act on it.
QString causaEscrita(int erro) {
  QString causa;
  switch (erro) {
    case ENOSPC:
      causa = QStringLiteral("não há espaço no disco; libere espaço ou escreva em outro lugar");
      break;
#ifdef EDQUOT
    case EDQUOT:
      causa = QStringLiteral(
          "a cota de disco do usuário acabou; libere espaço ou escreva em "
          "outro lugar");
      break;
#endif
    case EFBIG:
      causa = QStringLiteral("o arquivo passou do tamanho máximo permitido");
      break;
    case EPIPE:
      causa = QStringLiteral("o programa que lia a saída a fechou antes do fim");
      break;
    case EBADF:
      causa = QStringLiteral("a saída está fechada");
      break;
    case EIO:
      causa = QStringLiteral("erro de entrada e saída no dispositivo");
      break;
    default:
      causa = QString::fromLocal8Bit(std::strerror(erro));
  }
#ifdef __GLIBC__
  if (const char* nome = strerrorname_np(erro)) causa += QStringLiteral(" (%1)").arg(nome);
#endif
  return causa;
}

// Writes all of `bytes` and flushes them. Throws FalhaEscrita when the stream
// does not take them, so that a cut or lost report is never a success.
void escreve(std::FILE* arquivo, const QByteArray& bytes) {
  errno = 0;
  const size_t tamanho = static_cast<size_t>(bytes.size());
  const bool escrito = std::fwrite(bytes.constData(), 1, tamanho, arquivo) == tamanho;
  if (!escrito || std::fflush(arquivo) != 0 || std::ferror(arquivo)) {
    throw FalhaEscrita{arquivo, errno != 0 ? errno : EIO};
  }
}

// Reads the command line. Returns nothing when --help or --version was
// answered. Throws Falha (bad usage).
std::optional<Pedido> leArgumentos(const QStringList& argumentos, std::FILE* saida, bool& json) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Rentabilidade dos pedidos de uma filial no período, calculada como no gadget.\n"
      "\n"
      "Status de saída:\n"
      "  0  sucesso;\n"
      "  1  a atualização falhou (banco de dados inacessível, erro do banco ou do cálculo,\n"
      "     biblioteca cliente do Firebird que não pôde ser carregada)\n"
      "     ou o relatório não pôde ser escrito (disco cheio, saída fechada);\n"
      "  2  uso incorreto ou configuração inválida: opção ou valor desconhecido, arquivo\n"
      "     de configuração ausente ou ilegível, chave do banco de dados faltando,\n"
      "     Periodo ou Protocolo inválido."));
  const QCommandLineOption config(
      QStringLiteral("config"),
      QStringLiteral("Arquivo de configuração (padrão: %1).").arg(CaminhoArquivoConfig()),
      QStringLiteral("FILE"));
  const QCommandLineOption today(
      QStringLiteral("today"), QStringLiteral("Dia tomado como hoje (padrão: a data do sistema)."),
      QStringLiteral("YYYY-MM-DD"));
  const QCommandLineOption empresa(
      QStringLiteral("empresa"),
      QStringLiteral("Filial (CODEMPRESA) no lugar de Empresa; \"\" seleciona todas."),
      QStringLiteral("CODE"));
  const QCommandLineOption periodo(
      QStringLiteral("periodo"),
      QStringLiteral("Período no lugar de Periodo: 0 diário, 1 semanal, 2 mensal, 3 anual."),
      QStringLiteral("N"));
  const QCommandLineOption mostraPedidos(
      QStringLiteral("mostra-pedidos"),
      QStringLiteral("Pedidos no lugar de MostraPedidos: 0 faturados, 1 gravados, 2 todos."),
      QStringLiteral("N"));
  const QCommandLineOption formato(QStringLiteral("format"),
                                   QStringLiteral("Formato da saída: text ou json."),
                                   QStringLiteral("text|json"), QStringLiteral("text"));
  const QCommandLineOption itens(QStringLiteral("items"),
                                 QStringLiteral("Lista também cada cálculo do motor."));
  const QCommandLineOption caminho(
      QStringLiteral("path"),
      QStringLiteral("Caminho do cálculo: fast (cada consulta uma vez por atualização) ou "
                     "per-item (todas as consultas a cada item, a referência)."),
      QStringLiteral("fast|per-item"), QStringLiteral("fast"));
  const QCommandLineOption soBusca(
      QStringLiteral("fetch-only"),
      QStringLiteral(
          "Só executa e lê a consulta dos itens dos pedidos; escreve o número de linhas."));
  const QCommandLineOption tempo(
      QStringLiteral("timing"),
      QStringLiteral("Escreve o tempo decorrido de cada atualização na saída de erros."));
  const QCommandLineOption atualizacoes(
      QStringLiteral("refreshes"),
      QStringLiteral("Atualizações seguidas no mesmo processo (padrão 1); com --format json, "
                     "cada uma em uma linha."),
      QStringLiteral("N"));
  const QCommandLineOption intervalo(
      QStringLiteral("interval"),
      QStringLiteral("Segundos de espera entre duas atualizações (padrão 0)."),
      QStringLiteral("SECONDS"));
  const QCommandLineOption semIncremental(
      QStringLiteral("no-incremental"),
      QStringLiteral("Cada atualização lê o período inteiro (sem reaproveitar a anterior)."));
  parser.addOptions({config, today, empresa, periodo, mostraPedidos, formato, itens, caminho,
                     soBusca, tempo, atualizacoes, intervalo, semIncremental});
  const QCommandLineOption ajuda = parser.addHelpOption();
  const QCommandLineOption versao = parser.addVersionOption();

  const bool ok = parser.parse(argumentos);
  // Known even when something else on the line is wrong, so that a usage
  // error is reported in the format asked for.
  json = parser.value(formato) == QLatin1String("json");
  if (!ok) throw Falha{kUsoIncorreto, parser.errorText()};
  if (parser.isSet(ajuda) || parser.isSet(QStringLiteral("help-all"))) {
    escreve(saida, parser.helpText().toUtf8());
    return std::nullopt;
  }
  if (parser.isSet(versao)) {
    escreve(saida, (QCoreApplication::applicationName() + QLatin1Char(' ') +
                    QCoreApplication::applicationVersion() + QLatin1Char('\n'))
                       .toUtf8());
    return std::nullopt;
  }
  if (!parser.positionalArguments().isEmpty()) {
    throw Falha{kUsoIncorreto, QStringLiteral("Argumento inesperado: %1")
                                   .arg(parser.positionalArguments().join(QLatin1Char(' ')))};
  }

  Pedido pedido;
  const QString valorFormato = parser.value(formato);
  if (valorFormato != QLatin1String("text") && valorFormato != QLatin1String("json")) {
    throw Falha{kUsoIncorreto,
                QStringLiteral("--format deve ser text ou json, não \"%1\"").arg(valorFormato)};
  }
  pedido.json = json;
  pedido.itens = parser.isSet(itens);
  const QString valorCaminho = parser.value(caminho);
  if (valorCaminho != QLatin1String("fast") && valorCaminho != QLatin1String("per-item")) {
    throw Falha{kUsoIncorreto,
                QStringLiteral("--path deve ser fast ou per-item, não \"%1\"").arg(valorCaminho)};
  }
  pedido.caminhoRapido = valorCaminho == QLatin1String("fast");
  pedido.soBusca = parser.isSet(soBusca);
  pedido.tempo = parser.isSet(tempo);
  pedido.incremental = !parser.isSet(semIncremental);
  if (parser.isSet(atualizacoes)) {
    bool ok = false;
    pedido.atualizacoes = parser.value(atualizacoes).toInt(&ok);
    if (!ok || pedido.atualizacoes < 1) {
      throw Falha{kUsoIncorreto,
                  QStringLiteral("--refreshes deve ser um número inteiro maior que 0, não \"%1\"")
                      .arg(parser.value(atualizacoes))};
    }
    pedido.variasAtualizacoes = true;
  }
  if (parser.isSet(intervalo)) {
    bool ok = false;
    pedido.intervalo = parser.value(intervalo).toDouble(&ok);
    if (!ok || !(pedido.intervalo >= 0) || pedido.intervalo > 86400) {
      throw Falha{kUsoIncorreto,
                  QStringLiteral("--interval deve ser um número de segundos entre 0 e 86400, "
                                 "não \"%1\"")
                      .arg(parser.value(intervalo))};
    }
  }
  pedido.arquivoConfig = parser.isSet(config) ? parser.value(config) : CaminhoArquivoConfig();
  if (parser.isSet(today)) {
    pedido.hoje = QDate::fromString(parser.value(today), QStringLiteral("yyyy-MM-dd"));
    if (!pedido.hoje.isValid()) {
      throw Falha{kUsoIncorreto, QStringLiteral("--today deve ser uma data AAAA-MM-DD, não \"%1\"")
                                     .arg(parser.value(today))};
    }
  }
  if (parser.isSet(empresa)) pedido.empresa = parser.value(empresa);
  if (parser.isSet(periodo)) {
    pedido.periodo = parser.value(periodo);
    int valor = -1;
    try {
      valor = textToInt(*pedido.periodo);
    } catch (const ConversionError&) {
    }
    if (valor < 0 || valor > 3) {
      throw Falha{kUsoIncorreto,
                  QStringLiteral("--periodo deve ser 0 (diário), 1 (semanal), 2 (mensal) ou 3 "
                                 "(anual), não \"%1\"")
                      .arg(*pedido.periodo)};
    }
  }
  if (parser.isSet(mostraPedidos)) pedido.mostraPedidos = parser.value(mostraPedidos);
  return pedido;
}

// The settings as the gadget holds them after its start-up, with this run's
// overrides; the file is only read. Throws Falha (missing or unreadable file).
void carregaConfiguracao(TConfig& config, const Pedido& pedido) {
  const QFileInfo info(pedido.arquivoConfig);
  if (!info.exists()) {
    throw Falha{
        kUsoIncorreto,
        QStringLiteral("Arquivo de configuração não encontrado: %1").arg(pedido.arquivoConfig)};
  }
  QFile arquivo(pedido.arquivoConfig);
  if (!info.isFile() || !arquivo.open(QIODevice::ReadOnly)) {
    throw Falha{kUsoIncorreto,
                QStringLiteral("Não foi possível ler o arquivo de configuração %1: %2")
                    .arg(pedido.arquivoConfig, info.isFile() ? arquivo.errorString()
                                                             : QStringLiteral("não é um arquivo"))};
  }
  arquivo.close();
  try {
    config.CarregarIni();
  } catch (const IniFileError& erro) {
    throw Falha{kUsoIncorreto, QString::fromUtf8(erro.what())};
  }
  config.InstanciaVariaveis(QString::fromLatin1(kSiglaGadget));
  if (pedido.empresa) config.Empresa = *pedido.empresa;
  if (pedido.periodo) config.Periodo = *pedido.periodo;
  if (pedido.mostraPedidos) config.MostraPedidos = *pedido.mostraPedidos;
  // The kind of period is a setting like the others: a value the refresh
  // cannot use is reported here, as the settings error it is.
  try {
    if (const int periodo = PeriodoConfigurado(config); periodo < 0 || periodo > 3)
      DatasDoPeriodo(config);
  } catch (const ConversionError& erro) {
    throw Falha{kConfiguracaoInvalida, QString::fromUtf8(erro.what())};
  }
}

// Attaches `conexao` as the gadget does. Throws Falha naming what is missing
// or what could not be reached.
void conecta(TConexao& conexao, const TConfig& config) {
  QStringList faltam;
  if (config.CaminhoBanco.isEmpty()) faltam << QStringLiteral("CaminhoBanco");
  if (config.Usuario.isEmpty()) faltam << QStringLiteral("Usuario");
  if (config.Senha.isEmpty()) faltam << QStringLiteral("Senha");
  if (!faltam.isEmpty()) {
    throw Falha{kConfiguracaoInvalida,
                QStringLiteral("Configurações do banco de dados não informadas corretamente: "
                               "falta %1 na seção \"%2\" de %3")
                    .arg(faltam.join(QStringLiteral(", ")), QLatin1String(SECAO_CONFIG_ARQINI),
                         config.arquivo())};
  }
  conexao.setConfiguracao(config.LocRem, config.Protocolo, config.Servidor, config.CaminhoBanco,
                          config.Usuario, config.Senha);
  try {
    conexao.conectarBanco();
  } catch (const DatabaseError& erro) {
    // No database name: the settings name no protocol this program knows.
    const bool semNome = conexao.nomeBanco().isEmpty();
    QString mensagem =
        QStringLiteral("Não foi possível conectar ao banco de dados \"%1\" (usuário %2)")
            .arg(semNome ? config.CaminhoBanco : conexao.nomeBanco(), config.Usuario);
    // The database's own reason; a name the settings cannot give is said in
    // the tool's words.
    if (!semNome) {
      mensagem += QStringLiteral(": ") + erro.message().trimmed();
    } else {
      mensagem += QStringLiteral(": protocolo \"%1\" desconhecido").arg(config.Protocolo);
    }
    throw Falha{semNome ? kConfiguracaoInvalida : kFalhaAtualizacao, mensagem};
  }
}

// Progress on a terminal: one line, rewritten in place, at each whole percent.
// Called from inside the refresh, it never throws: the first failed write
// stops the progress and is kept for fim() to report.
class Progresso {
 public:
  explicit Progresso(std::FILE* terminal) : terminal_(terminal) {}
  ~Progresso() {
    // Leaving on an error: the line is erased if the terminal still takes it;
    // the error being reported matters more than a failure here.
    if (escrito_ && !falha_) std::fputs("\r\033[K", terminal_);
  }
  // Erases the progress line. Throws FalhaEscrita for the first write that
  // failed.
  void fim() {
    if (escrito_) tenta("\r\033[K");
    escrito_ = false;
    if (falha_) throw *falha_;
  }
  void operator()(int feitas, int total) {
    if (total <= 0) {
      // The rows are read as the product pass goes: their number is not
      // known yet.
      if (feitas - ultimaLinha_ < 5000 && feitas != 0) return;
      ultimaLinha_ = feitas;
      tenta(QStringLiteral("\rCalculando: produtos, linha %1").arg(feitas).toUtf8());
      return;
    }
    const int percentual = static_cast<int>(100LL * feitas / total);
    if (percentual == ultimo_) return;
    ultimo_ = percentual;
    // The first half of the steps is the product pass, the second the
    // freight pass, each over every row.
    const int linhas = total / 2;
    const bool fretes = feitas > linhas;
    tenta(QStringLiteral("\rCalculando: %1% (%2: linha %3 de %4)")
              .arg(percentual)
              .arg(fretes ? QStringLiteral("fretes") : QStringLiteral("produtos"))
              .arg(fretes ? feitas - linhas : feitas)
              .arg(linhas)
              .toUtf8());
  }

 private:
  void tenta(const QByteArray& bytes) {
    if (falha_) return;
    try {
      escrito_ = true;
      escreve(terminal_, bytes);
    } catch (const FalhaEscrita& falha) {
      falha_ = falha;
    }
  }

  std::FILE* terminal_;
  std::optional<FalhaEscrita> falha_;
  int ultimo_ = -1;
  int ultimaLinha_ = 0;
  bool escrito_ = false;
};

// Runs the refresh's order-items query alone, in one snapshot, over the
// period the refresh would compute, and fetches every row forward only, as
// the fast refresh reads them. Returns the number of rows.
int buscaItens(TConexao& conexao, TConfig& config, const QDate& hoje) {
  AtualizaDatas(config, hoje.isValid() ? hoje : QDate::currentDate());
  const auto [data1, data2] = DatasDoPeriodo(config);
  // As a refresh does: the database is attached for this reading only.
  const ScopedAttachment emUso(conexao);
  Database* banco = &emUso.database();
  ReadScope leitura(*banco);
  int linhas = 0;
  {
    Query itens(banco);
    itens.setTransaction(conexao.getTransaction());
    itens.setUnidirectional(true);
    ConsultaItensPedidos(itens, config.Empresa, config.MostraPedidos, data1, data2);
    while (!itens.eof()) itens.next();
    linhas = itens.recordCount();
  }
  leitura.end();
  return linhas;
}

// The run itself; executar() adds what a failed write of the output means.
int executa(const QStringList& argumentos, std::FILE* saida, std::FILE* erros) {
  bool json = false;
  // Reports a failure on stderr and, with JSON, on stdout. A stderr that
  // takes nothing leaves the status alone to tell.
  const auto relata = [&](const QString& mensagem, int status) {
    try {
      escreve(erros, mensagem.toUtf8() + '\n');
    } catch (const FalhaEscrita&) {
    }
    if (json) escreve(saida, erroJson(mensagem));
    return status;
  };
  try {
    const std::optional<Pedido> pedido = leArgumentos(argumentos, saida, json);
    if (!pedido) return kSucesso;

    TConfig config(QString::fromLatin1(kSecaoGadget), pedido->arquivoConfig);
    carregaConfiguracao(config, *pedido);
    QElapsedTimer cronometro;
    cronometro.start();
    // Without the client library nothing below can run; its error names
    // the libraries looked for.
    firebirdMaster();
    TConexao conexao;
    conecta(conexao, config);

    // The statements counted from here on, for --timing.
    DatabaseStats antes = conexao.getBancoDados()->stats();
    // The elapsed time and the statements of one refresh (the first one
    // with the connection), and how it read the period.
    const auto informaTempo = [&](const QString& tipo) {
      if (!pedido->tempo) return;
      const DatabaseStats n = conexao.getBancoDados()->stats();
      escreve(erros, QStringLiteral("Tempo: %1 s (instruções: %2 preparadas, %3 executadas, %4 "
                                    "linhas lidas%5)\n")
                         .arg(static_cast<double>(cronometro.nsecsElapsed()) / 1e9, 0, 'f', 3)
                         .arg(n.prepares - antes.prepares)
                         .arg(n.executions - antes.executions)
                         .arg(n.rowsFetched - antes.rowsFetched)
                         .arg(tipo.isEmpty() ? QString() : QStringLiteral("; ") + tipo)
                         .toUtf8());
    };

    TAtualizacaoRentabilidade atualizacao(conexao, config);
    atualizacao.setHoje(pedido->hoje);
    int status = kSucesso;
    for (int vez = 1; vez <= pedido->atualizacoes; ++vez) {
      if (vez > 1) {
        // A local database file is held only during a refresh (the
        // refresh attaches and detaches it), so another process can write
        // to it meanwhile.
        if (pedido->intervalo > 0)
          QThread::usleep(static_cast<unsigned long>(pedido->intervalo * 1e6));
        cronometro.restart();
        antes = conexao.getBancoDados()->stats();
      }
      if (pedido->soBusca) {
        int linhas = 0;
        try {
          linhas = buscaItens(conexao, config, pedido->hoje);
        } catch (const std::exception& erro) {
          status = relata(QString::fromUtf8(erro.what()), kFalhaAtualizacao);
          continue;
        }
        informaTempo(QString());
        escreve(saida, pedido->json ? QByteArray("{\"rows\": ") + QByteArray::number(linhas) + "}\n"
                                    : QByteArray::number(linhas) + '\n');
        continue;
      }

      ResultadoAtualizacao resultado;
      OpcoesAtualizacao opcoes;
      opcoes.guardarItens = pedido->itens;
      opcoes.caminhoRapido = pedido->caminhoRapido;
      opcoes.incremental = pedido->incremental;
      try {
        std::optional<Progresso> progresso;
        if (isatty(fileno(erros))) {
          progresso.emplace(erros);
          opcoes.progresso = [&progresso](int feitas, int total) { (*progresso)(feitas, total); };
        }
        atualizacao.IniciarGadget(resultado, opcoes);
        if (progresso) progresso->fim();
        informaTempo(resultado.incremental ? QStringLiteral("incremental")
                                           : QStringLiteral("full"));
      } catch (const std::exception& erro) {
        status = relata(QString::fromUtf8(erro.what()), kFalhaAtualizacao);
        continue;
      }
      if (pedido->json) {
        escreve(saida, pedido->variasAtualizacoes ? formatoJsonLinha(resultado, pedido->itens)
                                                  : formatoJson(resultado, pedido->itens));
      } else {
        // Refreshes after the first are set apart by an empty line.
        escreve(saida, (vez > 1 ? QByteArray("\n") : QByteArray()) +
                           formatoTexto(resultado, pedido->itens).toUtf8());
      }
    }
    return status;
  } catch (const ClientLibraryError& erro) {
    // The system's reason for each library, indented under the message.
    QString texto = erro.message();
    for (const QString& linha : erro.details().split(u'\n'))
      texto += QStringLiteral("\n  ") + linha;
    relata(texto, kFalhaAtualizacao);
    return kFalhaAtualizacao;
  } catch (const Falha& falha) {
    return relata(falha.mensagem, falha.status);
  } catch (const std::exception& erro) {
    return relata(QString::fromUtf8(erro.what()), kFalhaAtualizacao);
  }
}

}  // namespace

QString mensagemFalhaSaida(int erro) {
  return QStringLiteral("Não foi possível escrever a saída: %1.").arg(causaEscrita(erro));
}

int executar(const QStringList& argumentos, std::FILE* saida, std::FILE* erros) {
  try {
    const int status = executa(argumentos, saida, erros);
    // Whatever an earlier write left behind on the stream counts too.
    errno = 0;
    if (std::fflush(saida) != 0 || std::ferror(saida))
      throw FalhaEscrita{saida, errno != 0 ? errno : EIO};
    return status;
  } catch (const FalhaEscrita& falha) {
    // The output is cut or lost: never a success. When stderr is what
    // failed there is nowhere left to say so; the status still does.
    if (falha.arquivo != erros) {
      std::fputs(mensagemFalhaSaida(falha.erro).toUtf8().append('\n').constData(), erros);
      std::fflush(erros);
    }
    return kFalhaAtualizacao;
  }
}

int fechaSaida(std::FILE* saida, std::FILE* erros, int status) {
  errno = 0;
  if (std::fclose(saida) == 0 || status != kSucesso) return status;
  std::fputs(mensagemFalhaSaida(errno != 0 ? errno : EIO).toUtf8().append('\n').constData(), erros);
  std::fflush(erros);
  return kFalhaAtualizacao;
}

}  // namespace margivo::relatorio
