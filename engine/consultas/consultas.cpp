// The look-ups of the order path other than the cost price's. The statements
// are the ERP's own, line by line and blank by blank.
#include "engine/consultas/consultas_p.h"

#include "engine/dmrent.h"
#include "framework/conexao.h"
#include "framework/db/query.h"

namespace margivo {

namespace {

// `linha` padded with blanks on the right to `largura` characters.
QString preenche(const QString& linha, int largura) { return linha.leftJustified(largura, u' '); }

}  // namespace

void preparaConsulta(Query& q, std::initializer_list<QString> linhas) {
  q.close();
  q.sql().clear();
  for (const QString& linha : linhas) q.sql().append(linha);
}

TConsultasRentabilidade::TConsultasRentabilidade(TdmRentabilidade& dm) : dm_(dm) {}
TConsultasRentabilidade::~TConsultasRentabilidade() = default;

void TConsultasRentabilidade::ativaCache(bool ativo) {
  if (!ativo)
    cache_.reset();
  else if (!cache_)
    cache_ = std::make_unique<TCacheConsultas>();
}

Database* TConsultasRentabilidade::banco() const { return dm_.ggtRent->Conexao()->getBancoDados(); }

void TConsultasRentabilidade::esqueceCondPag() noexcept { dm_.condPagAberta_.reset(); }

const TRespostasDoPedido* TConsultasRentabilidade::respostasDoPedido(const QString& codEmpresa,
                                                                     const QString& tipoPedido,
                                                                     const QString& codPedido) {
  if (!cache_) return nullptr;
  auto& atual = cache_->pedidoAtual;
  if (atual.respostas != nullptr && atual.chave->c == codPedido && atual.chave->b == tipoPedido &&
      atual.chave->a == codEmpresa)
    return atual.respostas;
  const auto it = cache_->pedidos.constFind(TChave{codEmpresa, tipoPedido, codPedido});
  if (it == cache_->pedidos.constEnd()) return nullptr;
  atual = {&it.key(), &it.value()};
  return atual.respostas;
}

Query& TConsultasRentabilidade::usaQryAuxiliar() {
  esqueceCondPag();
  return dm_.qryAuxiliar;
}

double TConsultasRentabilidade::custoOperacionalProduto(const QString& codProd) {
  return lembra(
      cache_ ? &cache_->custoOperc : nullptr, TChave{codProd}, true,
      [&]() -> double {
        Query& q = usaQryAuxiliar();
        preparaConsulta(q, {QStringLiteral("Select CustoOperc From Produto"),
                            QStringLiteral(" Where CodProd = :CodProd      ")});
        q.setString(QStringLiteral("CodProd"), codProd);
        q.open();
        return floatDe(q, "CustoOperc");
      },
      cache_ ? &cache_->produtoCustoOperc : nullptr);
}

void TConsultasRentabilidade::abreParaPDV() {
  // Opening an open query keeps its current row: the row read first in a
  // refresh stays the one every later step reads.
  if (!dm_.qryParaPDV.active()) dm_.qryParaPDV.open();
}

QString TConsultasRentabilidade::incluiComissaoRentabilidade() {
  abreParaPDV();
  return textoDe(dm_.qryParaPDV, "IncluiComissaoRentabilidade");
}

double TConsultasRentabilidade::txJurosCh() {
  abreParaPDV();
  return floatDe(dm_.qryParaPDV, "TxJurosCh");
}

QString TConsultasRentabilidade::gerarRecDataEntrega() {
  return textoDe(dm_.ParaTlm, "GerarRecDataEntrega");
}

QString TConsultasRentabilidade::gerarRecDataFatura() {
  return textoDe(dm_.ParaTlm, "GerarRecDataFatura");
}

QString TConsultasRentabilidade::tipoComissao() {
  if (cache_ && cache_->tipoComissao) return *cache_->tipoComissao;
  Query ParaRentabilidade(banco());
  ParaRentabilidade.sql().append(QStringLiteral("SELECT * FROM PARARENTABILIDADE"));
  ParaRentabilidade.open();
  QString tipo = textoDe(ParaRentabilidade, "TIPOCOMISSAO");
  if (cache_) cache_->tipoComissao = tipo;
  return tipo;
}

double TConsultasRentabilidade::comissaoVendedor(const QString& codVendedor) {
  return lembra(
      cache_ ? &cache_->comissaoVendedor : nullptr, TChave{codVendedor}, true,
      [&]() -> double {
        Query& q = usaQryAuxiliar();
        preparaConsulta(q, {QStringLiteral("Select Comissao From Vendend       "),
                            QStringLiteral(" Where CodVendedor = :PCodVendedor ")});
        q.setString(QStringLiteral("PCodVendedor"), codVendedor);
        q.open();
        return floatDe(q, "Comissao");
      },
      cache_ ? &cache_->vendedorComissao : nullptr);
}

double TConsultasRentabilidade::comissaoProduto(const QString& codProd) {
  return lembra(
      cache_ ? &cache_->comissaoProduto : nullptr, TChave{codProd}, true,
      [&]() -> double {
        Query& q = usaQryAuxiliar();
        preparaConsulta(q, {QStringLiteral("Select Comissao From Produto  "),
                            QStringLiteral(" Where CodProd = :PCodProd    ")});
        q.setString(QStringLiteral("PCodProd"), codProd);
        q.open();
        return floatDe(q, "Comissao");
      },
      cache_ ? &cache_->produtoComissao : nullptr);
}

double TConsultasRentabilidade::totalItensPedido(const QString& codEmpresa,
                                                 const QString& codPedido,
                                                 const QString& tipoPedido) {
  if (const TRespostasDoPedido* r = respostasDoPedido(codEmpresa, tipoPedido, codPedido))
    return r->totalItens;
  return lembra(
      cache_ ? &cache_->totalItensPedido : nullptr, TChave{codEmpresa, codPedido, tipoPedido},
      false, [&]() -> double {
        Query MItens(banco());
        MItens.sql().append(QStringLiteral(
            " SELECT SUM((pedidoi.precounit - pedidoi.descontovlr) * pedidoi.quantidade)"
            " AS TotalItens    FROM pedidoi    WHERE pedidoi.codempresa = :PCodEmpresa AND"
            "    pedidoi.codpedido  = :PCodPedido AND    Pedidoi.tipopedido = :PTipoPedido"));
        MItens.setString(QStringLiteral("PCodEmpresa"), codEmpresa);
        MItens.setString(QStringLiteral("PCodPedido"), codPedido);
        MItens.setString(QStringLiteral("PTipoPedido"), tipoPedido);
        MItens.open();
        return floatDe(MItens, "TotalItens");
      });
}

double TConsultasRentabilidade::valorDaTroca(const QString& codEmpresa, const QString& codTroca) {
  return lembra(cache_ ? &cache_->valorDaTroca : nullptr, TChave{codEmpresa, codTroca}, true,
                [&]() -> double {
                  Query& q = usaQryAuxiliar();
                  preparaConsulta(q, {QStringLiteral("SELECT TotalOrcamento FROM OrcCabe "),
                                      QStringLiteral(" WHERE CodOrc     = :CodOrc        "),
                                      QStringLiteral("   AND CodEmpresa = :CodEmpresa    ")});
                  q.setString(QStringLiteral("CodOrc"), codTroca);
                  q.setString(QStringLiteral("CodEmpresa"), codEmpresa);
                  q.open();
                  return floatDe(q, "TotalOrcamento");
                });
}

TCondPag TConsultasRentabilidade::condPag(const QString& codPrazo) {
  return lembra(
      cache_ ? &cache_->condPag : nullptr, TChave{codPrazo}, false,
      [&]() -> TCondPag {
        Query& q = dm_.qryAuxiliar;  // CondPag: the caller keeps the row
        preparaConsulta(q, {preenche(QStringLiteral("SELECT *"), 29),
                            preenche(QStringLiteral("  FROM CONDPAG"), 29),
                            preenche(QStringLiteral("WHERE CODPRAZO = :PCODPRAZO"), 29)});
        q.setString(QStringLiteral("PCODPRAZO"), codPrazo);
        q.open();
        return leCondPag(q);
      },
      cache_ ? &cache_->condPagCarregada : nullptr);
}

TEnceFat TConsultasRentabilidade::enceFat(const QString& codEmpresa, const QString& tipoPedido,
                                          const QString& codPedido) {
  if (const TRespostasDoPedido* r = respostasDoPedido(codEmpresa, tipoPedido, codPedido);
      r != nullptr && r->enceFat)
    return *r->enceFat;
  return lembra(
      cache_ ? &cache_->enceFat : nullptr, TChave{codEmpresa, tipoPedido, codPedido}, false,
      [&]() -> TEnceFat {
        Query& q = dm_.qryTemp;
        preparaConsulta(
            q,
            {preenche(QStringLiteral("Select VlrReceber, VlrConvenio, VlrFinanc, VlrChPreDatado, "
                                     "VlrCheque, VlrDinheiro, VlrDesconto,"),
                      101),
             preenche(QStringLiteral("      (VlrCheque + VlrReceber + VlrConvenio + VlrFinanc + "
                                     "VlrChPreDatado + (VlrDinheiro - VlrTroco))"),
                      101),
             preenche(QStringLiteral("      as Total From EnceFat"), 101),
             preenche(QStringLiteral(" Where CodPedido  = :PCodPedido"), 101),
             preenche(QStringLiteral("   and TipoPedido = :PTipoPedido"), 101),
             preenche(QStringLiteral("   and CodEmpresa = :PCodEmpresa"), 101)});
        q.setString(QStringLiteral("PCodPedido"), codPedido);
        q.setString(QStringLiteral("PTipoPedido"), tipoPedido);
        q.setString(QStringLiteral("PCodEmpresa"), codEmpresa);
        q.open();
        return leEnceFat(q);
      });
}

std::vector<TChequePreDatado> TConsultasRentabilidade::chequesPreDatados(
    const QString& codEmpresa, const QString& numDocOrig) {
  // The document of the order found last, when it is that order's own.
  if (const TRespostasDoPedido* r = cache_ ? cache_->pedidoAtual.respostas : nullptr;
      r != nullptr && r->cheques && codEmpresa == r->empresaDosPagamentos) {
    const TChave& pedido = *cache_->pedidoAtual.chave;
    const QStringView numDoc(numDocOrig);
    if (numDoc.size() == pedido.b.size() + pedido.c.size() && numDoc.startsWith(pedido.b) &&
        numDoc.sliced(pedido.b.size()) == pedido.c) {
      esqueceCondPag();  // as the look-up leaves qryAuxiliar
      return *r->cheques;
    }
  }
  return lembra(cache_ ? &cache_->chequesPreDatados : nullptr, TChave{codEmpresa, numDocOrig}, true,
                [&]() -> std::vector<TChequePreDatado> {
                  Query& q = usaQryAuxiliar();
                  preparaConsulta(q, {QStringLiteral("Select * From PreTerc "),
                                      QStringLiteral(" Where CodEmpresa = :PCodEmpresa"),
                                      QStringLiteral("   and NumDocOrig = :PNumDocOrig")});
                  q.setString(QStringLiteral("PCodEmpresa"), codEmpresa);
                  q.setString(QStringLiteral("PNumDocOrig"), numDocOrig);
                  q.open();
                  std::vector<TChequePreDatado> cheques;
                  for (q.first(); !q.eof(); q.next()) cheques.push_back(leCheque(q));
                  return cheques;
                });
}

TFinanciamento TConsultasRentabilidade::financiamento(const QString& codEmpresa,
                                                      const QString& codVenda) {
  // The sale of the order found last, when it is that order's own.
  if (const TRespostasDoPedido* r = cache_ ? cache_->pedidoAtual.respostas : nullptr;
      r != nullptr && r->financiamento && codEmpresa == r->empresaDosPagamentos &&
      codVenda == cache_->pedidoAtual.chave->c)
    return *r->financiamento;
  return lembra(
      cache_ ? &cache_->financiamento : nullptr, TChave{codEmpresa, codVenda}, false,
      [&]() -> TFinanciamento {
        Query& q = dm_.qryTemp;
        preparaConsulta(
            q, {QStringLiteral("Select CodPlano, DescFormaPgto, CodFinanceira, ValorMensalidade "
                               "From Financiamento "),
                QStringLiteral(" Where CodVenda   = :NumOrcamento"),
                QStringLiteral("   and CodEmpresa = :CodEmpresa")});
        q.setString(QStringLiteral("CodEmpresa"), codEmpresa);
        q.setString(QStringLiteral("NumOrcamento"), codVenda);
        q.open();
        return leFinanciamento(q);
      });
}

TPlanoFinanc TConsultasRentabilidade::planoFinanc(const QString& codFinanceira,
                                                  const QString& codPlano,
                                                  const QString& descFormaPgto) {
  return lembra(
      cache_ ? &cache_->planoFinanc : nullptr, TChave{codFinanceira, codPlano, descFormaPgto},
      false,
      [&]() -> TPlanoFinanc {
        Query& q = dm_.qryTemp;
        preparaConsulta(
            q, {QStringLiteral("Select Financeira.DiasCompensacao, PlanosFinanc.TaxaRetencao, "
                               "PlanosFinanc.NumParc, Financeira.CodPrazo, "),
                QStringLiteral("       Planosfinanc.Entrada"),
                QStringLiteral("  From Financeira inner join PlanosFinanc on "
                               "(Financeira.CodFinanceira = PlanosFinanc.CodFinanceira)"),
                QStringLiteral(" Where Financeira.CodFinanceira   = :CodFinanceira"),
                QStringLiteral("   and PlanosFinanc.CodPlano      = :CodPlano"),
                QStringLiteral("   and PlanosFinanc.DescFormaPgto = :DescFormaPgto")});
        q.setString(QStringLiteral("CodFinanceira"), codFinanceira);
        q.setString(QStringLiteral("CodPlano"), codPlano);
        q.setString(QStringLiteral("DescFormaPgto"), descFormaPgto);
        q.open();
        return lePlanoFinanc(q);
      },
      cache_ ? &cache_->planoFinancCarregado : nullptr);
}

std::vector<TDocumentoConvenio> TConsultasRentabilidade::documentosConvenio(
    const QString& codEmpresa, const QString& tipoPedido, const QString& codPedido) {
  if (const TRespostasDoPedido* r = respostasDoPedido(codEmpresa, tipoPedido, codPedido);
      r != nullptr && r->documentos)
    return *r->documentos;
  return lembra(
      cache_ ? &cache_->documentosConvenio : nullptr, TChave{codEmpresa, tipoPedido, codPedido},
      false, [&]() -> std::vector<TDocumentoConvenio> {
        Query& q = dm_.qryAux;
        preparaConsulta(
            q,
            {QStringLiteral(
                 " Select ConvEnceFat.Convenio, Docurec.Dt_Emissao, DocuRec.Dt_Vencimento,"),
             QStringLiteral("        DocuRec.ValorDocto,   DocuRec.ValorDesc,  DocuRec.ValorPago"),
             QStringLiteral(" From ConvEnceFat"),
             QStringLiteral(
                 " Inner join DocuRec on (DocuRec.CodEmpresa = ConvEnceFat.CodEmpresa And"),
             QStringLiteral("                        DocuRec.NumDocOrig = "
                            "ConvEnceFat.TipoPedido||ConvEnceFat.CodPedido)"),
             QStringLiteral(" Where ConvEnceFat.CodEmpresa = :PCodEmpresa"),
             QStringLiteral("   And ConvEnceFat.TipoPedido = :PTipoPedido"),
             QStringLiteral("   And ConvEnceFat.Codpedido  = :PCodpedido")});
        q.setString(QStringLiteral("PCodEmpresa"), codEmpresa);
        q.setString(QStringLiteral("PTipoPedido"), tipoPedido);
        q.setString(QStringLiteral("PCodpedido"), codPedido);
        q.open();
        std::vector<TDocumentoConvenio> documentos;
        for (q.first(); !q.eof(); q.next()) documentos.push_back(leDocumento(q));
        return documentos;
      });
}

TCartCon TConsultasRentabilidade::cartCon(const QString& codigo) {
  return lembra(
      cache_ ? &cache_->cartCon : nullptr, TChave{codigo}, false,
      [&]() -> TCartCon {
        Query& q = dm_.qryTemp;
        preparaConsulta(
            q,
            {QStringLiteral("SELECT CODIGO, NOME, DIASCOMPENSACAO, PERCDESC, CODPRAZO, "
                            "TAXAMENSALANTECIP "),
             QStringLiteral("  FROM CARTCON"), QStringLiteral(" WHERE CARTCON.CODIGO = :PCODIGO")});
        q.setString(QStringLiteral("PCODIGO"), codigo);
        q.open();
        return leCartCon(q);
      },
      cache_ ? &cache_->cartConCarregada : nullptr);
}

std::vector<TParcelaPedido> TConsultasRentabilidade::parcelasPedido(const QString& codEmpresa,
                                                                    const QString& tipoPedido,
                                                                    const QString& codPedido) {
  if (const TRespostasDoPedido* r = respostasDoPedido(codEmpresa, tipoPedido, codPedido);
      r != nullptr && r->parcelas)
    return *r->parcelas;
  return lembra(cache_ ? &cache_->parcelasPedido : nullptr,
                TChave{codEmpresa, tipoPedido, codPedido}, false,
                [&]() -> std::vector<TParcelaPedido> {
                  Query& q = dm_.qryAux;
                  preparaConsulta(q, {QStringLiteral("Select * From"), QStringLiteral("  ParcPedC"),
                                      QStringLiteral(" Where CodEmpresa = :PCodEmpresa"),
                                      QStringLiteral("   and TipoPedido = :PTipoPedido"),
                                      QStringLiteral("   and Codpedido  = :PCodpedido")});
                  q.setString(QStringLiteral("PCodEmpresa"), codEmpresa);
                  q.setString(QStringLiteral("PTipoPedido"), tipoPedido);
                  q.setString(QStringLiteral("PCodpedido"), codPedido);
                  q.open();
                  return leParcelas(q);
                });
}

}  // namespace margivo
