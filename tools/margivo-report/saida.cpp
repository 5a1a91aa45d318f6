#include "tools/margivo-report/saida.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include "framework/regional.h"
#include "gadget/atualizacao.h"

namespace margivo::relatorio {

namespace {

QString texto(const std::optional<QString>& rotulo) { return rotulo.value_or(QString()); }

QJsonObject objetoItem(const ItemCalculado& item) {
  QJsonObject objeto{
      {"option", item.opcao},          {"CODEMPRESA", item.CODEMPRESA},
      {"TIPOPEDIDO", item.TIPOPEDIDO}, {"CODPEDIDO", item.CODPEDIDO},
      {"CODPROD", item.CODPROD},       {"CODGRADE", item.CODGRADE},
  };
  for (const auto& [nome, campo] : kCamposItem)
    objeto.insert(QLatin1String(nome), item.figuras.*campo);
  return objeto;
}

}  // namespace

QString formatoTexto(const ResultadoAtualizacao& resultado, bool itens) {
  QStringList linhas;
  linhas << QStringLiteral("Filial: ") + texto(resultado.lblNomeFilial);
  // A period kind outside 0-3 has no caption: show the dates the settings hold.
  linhas
      << (resultado.lblPeriodo
              ? *resultado.lblPeriodo
              : QStringLiteral("Período: %1 a %2").arg(resultado.DataInicial, resultado.DataFinal));
  linhas << QString();

  QString blocoAtual;
  for (const FiguraPainel& figura : kFigurasPainel) {
    const QString bloco = QString::fromUtf8(figura.bloco);
    if (bloco != blocoAtual && !bloco.isEmpty()) linhas << bloco;
    blocoAtual = bloco;
    const QString recuo = bloco.isEmpty() ? QString() : QStringLiteral("  ");
    linhas << (recuo + QString::fromUtf8(figura.titulo)).leftJustified(20) +
                  texto(resultado.*figura.texto).rightJustified(18);
  }
  linhas << QString();
  linhas << QStringLiteral("Linhas: %1   Cálculos: %2 Produto, %3 Frete")
                .arg(resultado.rows)
                .arg(resultado.chamadasProduto)
                .arg(resultado.chamadasFrete);

  if (itens) {
    linhas << QString();
    for (const ItemCalculado& item : resultado.itens) {
      QStringList figuras;
      for (const auto& [nome, campo] : kCamposItem) {
        figuras << QLatin1String(nome) + QLatin1Char('=') + formatMoney(item.figuras.*campo);
      }
      linhas << QStringLiteral(
                    "%1 CODEMPRESA=%2 TIPOPEDIDO=%3 CODPEDIDO=%4 CODPROD=%5 "
                    "CODGRADE=%6: %7")
                    .arg(item.opcao, item.CODEMPRESA, item.TIPOPEDIDO, item.CODPEDIDO, item.CODPROD,
                         item.CODGRADE, figuras.join(QLatin1Char(' ')));
    }
  }
  return linhas.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

namespace {

QJsonObject objetoResultado(const ResultadoAtualizacao& resultado, bool itens) {
  QJsonObject rotulos;
  for (const FiguraPainel& figura : kFigurasPainel) {
    rotulos.insert(QLatin1String(figura.rotulo), texto(resultado.*figura.texto));
  }
  QJsonObject totais;
  for (const auto& [nome, campo] : kCamposTotais) {
    totais.insert(QLatin1String(nome), resultado.totais.*campo);
  }
  QJsonObject raiz{
      {"lblNomeFilial", texto(resultado.lblNomeFilial)},
      {"lblPeriodo", texto(resultado.lblPeriodo)},
      {"DataInicial", resultado.DataInicial},
      {"DataFinal", resultado.DataFinal},
      {"rows", resultado.rows},
      {"calls",
       QJsonObject{{"Produto", resultado.chamadasProduto}, {"Frete", resultado.chamadasFrete}}},
      {"labels", rotulos},
      {"totals", totais},
  };
  if (itens) {
    QJsonArray lista;
    for (const ItemCalculado& item : resultado.itens) lista.append(objetoItem(item));
    raiz.insert(QStringLiteral("items"), lista);
  }
  return raiz;
}

}  // namespace

QByteArray formatoJson(const ResultadoAtualizacao& resultado, bool itens) {
  return QJsonDocument(objetoResultado(resultado, itens)).toJson(QJsonDocument::Indented);
}

QByteArray formatoJsonLinha(const ResultadoAtualizacao& resultado, bool itens) {
  return QJsonDocument(objetoResultado(resultado, itens)).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray erroJson(const QString& mensagem) {
  return QJsonDocument(QJsonObject{{"error", mensagem}}).toJson(QJsonDocument::Compact) + '\n';
}

}  // namespace margivo::relatorio
