// Fixture rows for the refresh tests: the ERP parameters every calculation
// reads, two branches, three products, and one-line builders for orders and
// their items.
#pragma once

#include <QString>

namespace margivo::test {

// Two branches; cost price policy 1 (current cost price) and the order's own
// commission percentage counted; cash payment "AV" with no financial cost;
// products P1, P2, P3 at branches 01 and 02 with cost prices 60, 30 and 10.
inline const QString kParametros = QStringLiteral(R"(
INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA, FILIALATIVA) VALUES ('01', 'LOJA CENTRO', 'S');
INSERT INTO FILIAIS (CODEMPRESA, NOMEEMPRESA, FILIALATIVA) VALUES ('02', 'LOJA NORTE', 'S');
INSERT INTO PARARENTABILIDADE (TIPOCUSTO, TIPOCOMISSAO) VALUES (1, '2');
INSERT INTO PARAPDV (TXJUROSCH, INCLUICOMISSAORENTABILIDADE, TROCOMAXIMO) VALUES (0, 'S', 0);
INSERT INTO PARATLM (GERARRECDATAENTREGA, GERARRECDATAFATURA) VALUES ('N', 'N');
INSERT INTO CONDPAG (CODPRAZO, DESCRICAO, TIPOVENDA) VALUES ('AV', 'A VISTA', 0);
INSERT INTO PRODUTO (CODPROD, DESCRICAO, CUSTOOPERC, COMISSAO) VALUES ('P1', 'PRODUTO UM', 0, 0);
INSERT INTO PRODUTO (CODPROD, DESCRICAO, CUSTOOPERC, COMISSAO) VALUES ('P2', 'PRODUTO DOIS', 0, 0);
INSERT INTO PRODUTO (CODPROD, DESCRICAO, CUSTOOPERC, COMISSAO) VALUES ('P3', 'PRODUTO TRES', 0, 0);
INSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO, PRECOMEDIO) VALUES ('P1', '01', 60, 60);
INSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO, PRECOMEDIO) VALUES ('P2', '01', 30, 30);
INSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO, PRECOMEDIO) VALUES ('P3', '01', 10, 10);
INSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO, PRECOMEDIO) VALUES ('P1', '02', 60, 60);
INSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO, PRECOMEDIO) VALUES ('P2', '02', 30, 30);
INSERT INTO COMPPROD (CODPROD, CODEMPRESA, PRECOCUSTO, PRECOMEDIO) VALUES ('P3', '02', 10, 10);
)");

inline QString numero(double valor) { return QString::number(valor, 'f', 4); }

// An order header. `faturado` nullptr stores NULL; `data` is "yyyy-mm-dd".
inline QString pedido(const char* empresa, const char* tipo, const char* codigo, const char* data,
                      const char* faturado, double frete, double total, double comissao = 0) {
  const QString valorFaturado =
      faturado ? QStringLiteral("'%1'").arg(QLatin1String(faturado)) : QStringLiteral("NULL");
  return QStringLiteral(
             "INSERT INTO PEDIDOC (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, DATAPEDIDO, DATAENTREGA, "
             "CODVENDEDOR, CODPRAZO, COMISSAO, TOTALPEDIDO, FRETE, VLRACRESCIMO, FATURADO) "
             "VALUES ('%1', '%2', '%3', '%4', '%4', 'V1', 'AV', %5, %6, %7, 0, %8);\n")
      .arg(QLatin1String(empresa), QLatin1String(tipo), QLatin1String(codigo), QLatin1String(data),
           numero(comissao), numero(total), numero(frete), valorFaturado);
}

// An item line: `quantidade` units of `produto`, grade `grade`, at `preco`
// each less `desconto` each.
inline QString item(const char* empresa, const char* tipo, const char* codigo, int linha,
                    const char* produto, const char* grade, double quantidade, double preco,
                    double desconto = 0) {
  return QStringLiteral(
             "INSERT INTO PEDIDOI (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, ITEM, CODPROD, CODGRADE, "
             "QUANTIDADE, PRECOUNIT, DESCONTOVLR) VALUES ('%1', '%2', '%3', %4, '%5', '%6', %7, "
             "%8, %9);\n")
      .arg(QLatin1String(empresa), QLatin1String(tipo), QLatin1String(codigo),
           QString::number(linha), QLatin1String(produto), QLatin1String(grade), numero(quantidade),
           numero(preco), numero(desconto));
}

// The settings file of a test: database section for `banco` (embedded), and
// the gadget section lines given.
inline QString arquivoIni(const QString& banco, const QString& secaoGadget) {
  return QStringLiteral(
             "[Configuracoes]\nLocRem=L\nServidor=\nProtocolo=0\nCaminhoBanco=%1\n"
             "Usuario=SYSDBA\nSenha=masterkey\nFilial=01\n\n[Trovesk]\n%2")
      .arg(banco, secaoGadget);
}

}  // namespace margivo::test
