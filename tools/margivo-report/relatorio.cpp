#include "tools/margivo-report/relatorio.h"

#include <unistd.h>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
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
  bool caminhoRapido = true;  // --path fast (else per-item)
  bool soBusca = false;       // --fetch-only
  bool tempo = false;         // --timing
};

void escreve(std::FILE* arquivo, const QByteArray& bytes) {
  std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), arquivo);
  std::fflush(arquivo);
}

// Reads the command line. Returns nothing when --help or --version was
// answered. Throws Falha (bad usage).
std::optional<Pedido> leArgumentos(const QStringList& argumentos, std::FILE* saida, bool& json) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Rentabilidade dos pedidos de uma filial no período, calculada como no gadget.\n"
      "\n"
      "Estado de saída (os erros vão para a saída de erros):\n"
      "  0  sucesso\n"
      "  1  a atualização falhou: o banco de dados, ou a biblioteca cliente do\n"
      "     Firebird, que não pôde ser carregada\n"
      "  2  uso incorreto, ou o arquivo de configuração ausente ou ilegível"));
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
  const QCommandLineOption tempo(QStringLiteral("timing"),
                                 QStringLiteral("Escreve o tempo decorrido na saída de erros."));
  parser.addOptions(
      {config, today, empresa, periodo, mostraPedidos, formato, itens, caminho, soBusca, tempo});
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
    try {
      textToInt(*pedido.periodo);
    } catch (const ConversionError&) {
      throw Falha{
          kUsoIncorreto,
          QStringLiteral("--periodo deve ser um número inteiro, não \"%1\"").arg(*pedido.periodo)};
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
}

// Attaches `conexao` as the gadget does. Throws Falha naming what is missing
// or what could not be reached.
void conecta(TConexao& conexao, const TConfig& config) {
  QStringList faltam;
  if (config.CaminhoBanco.isEmpty()) faltam << QStringLiteral("CaminhoBanco");
  if (config.Usuario.isEmpty()) faltam << QStringLiteral("Usuario");
  if (config.Senha.isEmpty()) faltam << QStringLiteral("Senha");
  if (!faltam.isEmpty()) {
    throw Falha{kFalhaAtualizacao,
                QStringLiteral("Configurações do banco de dados não informadas corretamente: "
                               "falta %1 na seção \"%2\" de %3")
                    .arg(faltam.join(QStringLiteral(", ")), QLatin1String(SECAO_CONFIG_ARQINI),
                         config.arquivo())};
  }
  conexao.setConfiguracao(config.LocRem, config.Protocolo, config.Servidor, config.CaminhoBanco,
                          config.Usuario, config.Senha);
  if (conexao.conectarBanco()) return;

  QString mensagem =
      QStringLiteral("Não foi possível conectar ao banco de dados \"%1\" (usuário %2)")
          .arg(conexao.nomeBanco().isEmpty() ? config.CaminhoBanco : conexao.nomeBanco(),
               config.Usuario);
  // The connection reports no reason; one more attempt of our own asks the
  // database for it.
  if (!conexao.nomeBanco().isEmpty()) {
    try {
      Database diagnostico;
      diagnostico.attach(conexao.nomeBanco(), config.Usuario, config.Senha);
    } catch (const std::exception& erro) {
      mensagem += QStringLiteral(": ") + QString::fromUtf8(erro.what()).trimmed();
    }
  } else {
    mensagem += QStringLiteral(": protocolo \"%1\" desconhecido").arg(config.Protocolo);
  }
  throw Falha{kFalhaAtualizacao, mensagem};
}

// Progress on a terminal: one line, rewritten in place, at each whole percent.
class Progresso {
 public:
  explicit Progresso(std::FILE* terminal) : terminal_(terminal) {}
  ~Progresso() {
    if (escrito_) escreve(terminal_, "\r\033[K");
  }
  void operator()(int feitas, int total) {
    if (total <= 0) {
      // The rows are read as the product pass goes: their number is not
      // known yet.
      if (feitas - ultimaLinha_ < 5000 && feitas != 0) return;
      ultimaLinha_ = feitas;
      escrito_ = true;
      escreve(terminal_, QStringLiteral("\rCalculando: produtos, linha %1").arg(feitas).toUtf8());
      return;
    }
    const int percentual = static_cast<int>(100LL * feitas / total);
    if (percentual == ultimo_) return;
    ultimo_ = percentual;
    escrito_ = true;
    // The first half of the steps is the product pass, the second the
    // freight pass, each over every row.
    const int linhas = total / 2;
    const bool fretes = feitas > linhas;
    escreve(terminal_, QStringLiteral("\rCalculando: %1% (%2: linha %3 de %4)")
                           .arg(percentual)
                           .arg(fretes ? QStringLiteral("fretes") : QStringLiteral("produtos"))
                           .arg(fretes ? feitas - linhas : feitas)
                           .arg(linhas)
                           .toUtf8());
  }

 private:
  std::FILE* terminal_;
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
  Database* banco = conexao.getBancoDados();
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

}  // namespace

int executar(const QStringList& argumentos, std::FILE* saida, std::FILE* erros) {
  bool json = false;
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
    // The elapsed time and the statements the run needed on the connection.
    const auto informaTempo = [&] {
      if (!pedido->tempo) return;
      const DatabaseStats n =
          conexao.getBancoDados() != nullptr ? conexao.getBancoDados()->stats() : DatabaseStats{};
      escreve(erros, QStringLiteral("Tempo: %1 s (instruções: %2 preparadas, %3 executadas, %4 "
                                    "linhas lidas)\n")
                         .arg(static_cast<double>(cronometro.nsecsElapsed()) / 1e9, 0, 'f', 3)
                         .arg(n.prepares)
                         .arg(n.executions)
                         .arg(n.rowsFetched)
                         .toUtf8());
    };
    conecta(conexao, config);

    if (pedido->soBusca) {
      int linhas = 0;
      try {
        linhas = buscaItens(conexao, config, pedido->hoje);
      } catch (const std::exception& erro) {
        throw Falha{kFalhaAtualizacao, QString::fromUtf8(erro.what())};
      }
      informaTempo();
      escreve(saida, pedido->json ? QByteArray("{\"rows\": ") + QByteArray::number(linhas) + "}\n"
                                  : QByteArray::number(linhas) + '\n');
      return kSucesso;
    }

    TAtualizacaoRentabilidade atualizacao(conexao, config);
    atualizacao.setHoje(pedido->hoje);
    ResultadoAtualizacao resultado;
    OpcoesAtualizacao opcoes;
    opcoes.guardarItens = pedido->itens;
    opcoes.caminhoRapido = pedido->caminhoRapido;
    try {
      std::optional<Progresso> progresso;
      if (isatty(fileno(erros))) {
        progresso.emplace(erros);
        opcoes.progresso = [&progresso](int feitas, int total) { (*progresso)(feitas, total); };
      }
      atualizacao.IniciarGadget(resultado, opcoes);
      informaTempo();
    } catch (const std::exception& erro) {
      throw Falha{kFalhaAtualizacao, QString::fromUtf8(erro.what())};
    }

    escreve(saida, pedido->json ? formatoJson(resultado, pedido->itens)
                                : formatoTexto(resultado, pedido->itens).toUtf8());
    return kSucesso;
  } catch (const ClientLibraryError& erro) {
    // The system's reason for each library, indented under the message.
    QString texto = erro.message() + u'\n';
    for (const QString& linha : erro.details().split(u'\n'))
      texto += QStringLiteral("  ") + linha + u'\n';
    escreve(erros, texto.toUtf8());
    if (json) escreve(saida, erroJson(erro.message()));
    return kFalhaAtualizacao;
  } catch (const Falha& falha) {
    escreve(erros, falha.mensagem.toUtf8() + '\n');
    if (json) escreve(saida, erroJson(falha.mensagem));
    return falha.status;
  } catch (const std::exception& erro) {
    const QString mensagem = QString::fromUtf8(erro.what());
    escreve(erros, mensagem.toUtf8() + '\n');
    if (json) escreve(saida, erroJson(mensagem));
    return kFalhaAtualizacao;
  }
}

}  // namespace margivo::relatorio
