-- Sample ERP database: the tables and columns of the ERP's Firebird database
-- that the profitability gadget reads, with the ERP's names and SQL dialect 1
-- types.
--
-- Type conventions, as the ERP has them:
-- * Codes are text: VARCHAR, except TIPOPEDIDO (one letter, concatenated with
--   CODPEDIDO into DocuRec.NumDocOrig and PreTerc.NumDocOrig, so it must not
--   carry padding) and the grade code CODGRADE, a blank-padded CHAR(3).
-- * Flags are CHAR(1) holding "S"/"N" (FATURADO: "S" invoiced, "N" recorded,
--   "X" cancelled, NULL never closed).
-- * DATE is a timestamp in dialect 1. Order, movement and due dates are
--   stored at midnight; DocuRec.Dt_Emissao may carry a time of day.
-- * Money is NUMERIC(15,2) and costs NUMERIC(15,4): in dialect 1 both are
--   stored as DOUBLE PRECISION. Quantities are NUMERIC(15,3).
-- * Percentages are NUMERIC(9,2) or NUMERIC(9,4) (12.5 means 12.5 %), stored
--   as scaled integers; monthly interest rates are DOUBLE PRECISION fractions
--   (0.03 means 3 % a month).
-- Most amounts are nullable, as in the ERP: a null reads as 0.
--
-- The script runs statement by statement (';' ends a statement); it holds no
-- procedural code.

-- Branches. FILIALATIVA "N" marks a closed branch, left out of the branch list.
CREATE TABLE FILIAIS (
  CODEMPRESA   VARCHAR(6) NOT NULL,
  NOMEEMPRESA  VARCHAR(60),
  CIDADE       VARCHAR(40),
  FILIALATIVA  CHAR(1) DEFAULT 'S',
  CONSTRAINT PK_FILIAIS PRIMARY KEY (CODEMPRESA)
);

-- Products. CUSTOOPERC is the product's own operating-cost percentage (0 =
-- use the general one); COMISSAO its commission percentage.
CREATE TABLE PRODUTO (
  CODPROD     VARCHAR(14) NOT NULL,
  DESCRICAO   VARCHAR(60),
  UNIDADE     VARCHAR(3),
  PRECOVENDA  NUMERIC(15,2),
  CUSTOOPERC  NUMERIC(9,2),
  COMISSAO    NUMERIC(9,2),
  CONSTRAINT PK_PRODUTO PRIMARY KEY (CODPROD)
);

-- Current cost price and average cost of a product at a branch (no grade).
CREATE TABLE COMPPROD (
  CODPROD     VARCHAR(14) NOT NULL,
  CODEMPRESA  VARCHAR(6) NOT NULL,
  PRECOCUSTO  NUMERIC(15,4),
  PRECOMEDIO  NUMERIC(15,4),
  ESTOQUE     NUMERIC(15,3),
  CONSTRAINT PK_COMPPROD PRIMARY KEY (CODPROD, CODEMPRESA)
);

-- Managerial cost of a product grade at a branch.
CREATE TABLE CUSTOGERENCIAL (
  CODPROD     VARCHAR(14) NOT NULL,
  CODEMPRESA  VARCHAR(6) NOT NULL,
  CODGRADE    CHAR(3) NOT NULL,
  PRECOCUSTO  NUMERIC(15,4),
  CONSTRAINT PK_CUSTOGERENCIAL PRIMARY KEY (CODPROD, CODEMPRESA, CODGRADE)
);

-- Stock-movement ledger: one row per movement of a product grade at a
-- branch, numbered by SEQUENCIA within the day, with the cost price and the
-- average cost recorded with it.
CREATE TABLE MVGERAL (
  CODEMPRESA    VARCHAR(6) NOT NULL,
  CODPROD       VARCHAR(14) NOT NULL,
  CODGRADE      CHAR(3) NOT NULL,
  DT_MOVIMENTO  DATE NOT NULL,
  SEQUENCIA     INTEGER NOT NULL,
  TIPOMOV       CHAR(1),
  QUANTIDADE    NUMERIC(15,3),
  PRECOCUSTO    NUMERIC(15,4),
  PRECOMEDIO    NUMERIC(15,4),
  CONSTRAINT PK_MVGERAL PRIMARY KEY (CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, SEQUENCIA)
);

-- Sellers and their commission percentage.
CREATE TABLE VENDEND (
  CODVENDEDOR  VARCHAR(6) NOT NULL,
  NOME         VARCHAR(40),
  COMISSAO     NUMERIC(9,2),
  CONSTRAINT PK_VENDEND PRIMARY KEY (CODVENDEDOR)
);

-- Profitability parameters (one row): TIPOCUSTO 1 current cost price, 2 cost
-- price on the sale day, 3 average cost on the sale day, 4 current average
-- cost, 5 managerial cost; TIPOCOMISSAO "1" first positive of product, order
-- and seller commission, "2" the order's, "3" the seller's.
CREATE TABLE PARARENTABILIDADE (
  TIPOCUSTO     SMALLINT,
  TIPOCOMISSAO  CHAR(1)
);

-- Point-of-sale parameters (one row): TXJUROSCH is the monthly interest rate
-- for cheques and the store's own receivables.
CREATE TABLE PARAPDV (
  TXJUROSCH                    DOUBLE PRECISION,
  INCLUICOMISSAORENTABILIDADE  CHAR(1),
  TROCOMAXIMO                  NUMERIC(15,2)
);

-- Telemarketing/order parameters (one row): from which day the store's own
-- receivables fall due ("S": the delivery date / the invoicing day).
CREATE TABLE PARATLM (
  GERARRECDATAENTREGA  CHAR(1),
  GERARRECDATAFATURA   CHAR(1)
);

-- Payment conditions. TIPOVENDA: 0 cash, 1 the store's own receivables,
-- 2 or more financed through a financing company. PRAZO1..7: days from the
-- base date to each installment; PERCENT1..7: share of each installment in
-- percent (0 = equal shares). TIPOINTEGRACAO: settlement scheme, 3 one
-- payment per installment (boleto fee per installment when TIPOVENDA is 1),
-- 4 one single payment. UTILIZACONVENIO "S": paid through a card/agreement
-- operator.
CREATE TABLE CONDPAG (
  CODPRAZO         VARCHAR(6) NOT NULL,
  DESCRICAO        VARCHAR(40),
  TIPOVENDA        SMALLINT,
  PRAZO1           SMALLINT,
  PRAZO2           SMALLINT,
  PRAZO3           SMALLINT,
  PRAZO4           SMALLINT,
  PRAZO5           SMALLINT,
  PRAZO6           SMALLINT,
  PRAZO7           SMALLINT,
  PERCENT1         NUMERIC(9,4),
  PERCENT2         NUMERIC(9,4),
  PERCENT3         NUMERIC(9,4),
  PERCENT4         NUMERIC(9,4),
  PERCENT5         NUMERIC(9,4),
  PERCENT6         NUMERIC(9,4),
  PERCENT7         NUMERIC(9,4),
  TXEMISSAOBOLETO  NUMERIC(15,2),
  TIPOINTEGRACAO   SMALLINT,
  UTILIZACONVENIO  CHAR(1),
  CONSTRAINT PK_CONDPAG PRIMARY KEY (CODPRAZO)
);

-- Sales orders. An order is identified by CODEMPRESA, TIPOPEDIDO and
-- CODPEDIDO. COMISSAO is the order's commission percentage; TOTALPEDIDO the
-- net value of the items plus the surcharge VLRACRESCIMO, without freight.
-- CODPRAZO is empty for orders whose installments stand in PARCPEDC.
CREATE TABLE PEDIDOC (
  CODEMPRESA    VARCHAR(6) NOT NULL,
  TIPOPEDIDO    CHAR(1) NOT NULL,
  CODPEDIDO     VARCHAR(10) NOT NULL,
  DATAPEDIDO    DATE NOT NULL,
  DATAENTREGA   DATE,
  CODCLIENTE    VARCHAR(10),
  CODVENDEDOR   VARCHAR(6),
  CODPRAZO      VARCHAR(6),
  COMISSAO      NUMERIC(9,2),
  TOTALPEDIDO   NUMERIC(15,2),
  FRETE         NUMERIC(15,2),
  VLRACRESCIMO  NUMERIC(15,2),
  FATURADO      CHAR(1),
  CONSTRAINT PK_PEDIDOC PRIMARY KEY (CODEMPRESA, TIPOPEDIDO, CODPEDIDO)
);
CREATE INDEX IX_PEDIDOC_DATAPEDIDO ON PEDIDOC (DATAPEDIDO);

-- Order items. DESCONTOVLR is a discount per unit. An order may hold two
-- lines of the same product and grade.
CREATE TABLE PEDIDOI (
  CODEMPRESA   VARCHAR(6) NOT NULL,
  TIPOPEDIDO   CHAR(1) NOT NULL,
  CODPEDIDO    VARCHAR(10) NOT NULL,
  ITEM         SMALLINT NOT NULL,
  CODPROD      VARCHAR(14) NOT NULL,
  CODGRADE     CHAR(3),
  QUANTIDADE   NUMERIC(15,3),
  PRECOUNIT    NUMERIC(15,2),
  DESCONTOVLR  NUMERIC(15,2),
  CONSTRAINT PK_PEDIDOI PRIMARY KEY (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, ITEM)
);
CREATE INDEX IX_PEDIDOI_CODPROD ON PEDIDOI (CODPROD);

-- Closing record of an order: how much was paid each way. The amount
-- received is VlrCheque + VlrReceber + VlrConvenio + VlrFinanc +
-- VlrChPreDatado + (VlrDinheiro - VlrTroco), computed by the reader.
CREATE TABLE ENCEFAT (
  CODEMPRESA      VARCHAR(6) NOT NULL,
  TIPOPEDIDO      CHAR(1) NOT NULL,
  CODPEDIDO       VARCHAR(10) NOT NULL,
  DATAFECHAMENTO  DATE,
  VLRRECEBER      NUMERIC(15,2),
  VLRCONVENIO     NUMERIC(15,2),
  VLRFINANC       NUMERIC(15,2),
  VLRCHPREDATADO  NUMERIC(15,2),
  VLRCHEQUE       NUMERIC(15,2),
  VLRDINHEIRO     NUMERIC(15,2),
  VLRDESCONTO     NUMERIC(15,2),
  VLRTROCO        NUMERIC(15,2),
  CONSTRAINT PK_ENCEFAT PRIMARY KEY (CODEMPRESA, TIPOPEDIDO, CODPEDIDO)
);

-- Installments of an order sold without a payment condition.
CREATE TABLE PARCPEDC (
  CODEMPRESA  VARCHAR(6) NOT NULL,
  TIPOPEDIDO  CHAR(1) NOT NULL,
  CODPEDIDO   VARCHAR(10) NOT NULL,
  VLRPARC01 NUMERIC(15,2), VENCPARC01 DATE,
  VLRPARC02 NUMERIC(15,2), VENCPARC02 DATE,
  VLRPARC03 NUMERIC(15,2), VENCPARC03 DATE,
  VLRPARC04 NUMERIC(15,2), VENCPARC04 DATE,
  VLRPARC05 NUMERIC(15,2), VENCPARC05 DATE,
  VLRPARC06 NUMERIC(15,2), VENCPARC06 DATE,
  VLRPARC07 NUMERIC(15,2), VENCPARC07 DATE,
  VLRPARC08 NUMERIC(15,2), VENCPARC08 DATE,
  VLRPARC09 NUMERIC(15,2), VENCPARC09 DATE,
  VLRPARC10 NUMERIC(15,2), VENCPARC10 DATE,
  VLRPARC11 NUMERIC(15,2), VENCPARC11 DATE,
  VLRPARC12 NUMERIC(15,2), VENCPARC12 DATE,
  VLRPARC13 NUMERIC(15,2), VENCPARC13 DATE,
  VLRPARC14 NUMERIC(15,2), VENCPARC14 DATE,
  VLRPARC15 NUMERIC(15,2), VENCPARC15 DATE,
  VLRPARC16 NUMERIC(15,2), VENCPARC16 DATE,
  VLRPARC17 NUMERIC(15,2), VENCPARC17 DATE,
  VLRPARC18 NUMERIC(15,2), VENCPARC18 DATE,
  VLRPARC19 NUMERIC(15,2), VENCPARC19 DATE,
  VLRPARC20 NUMERIC(15,2), VENCPARC20 DATE,
  VLRPARC21 NUMERIC(15,2), VENCPARC21 DATE,
  VLRPARC22 NUMERIC(15,2), VENCPARC22 DATE,
  VLRPARC23 NUMERIC(15,2), VENCPARC23 DATE,
  VLRPARC24 NUMERIC(15,2), VENCPARC24 DATE,
  CONSTRAINT PK_PARCPEDC PRIMARY KEY (CODEMPRESA, TIPOPEDIDO, CODPEDIDO)
);

-- Pre-dated cheques received for a sale. NUMDOCORIG is the order's
-- TIPOPEDIDO followed directly by its CODPEDIDO.
CREATE TABLE PRETERC (
  CODEMPRESA  VARCHAR(6) NOT NULL,
  NUMDOCORIG  VARCHAR(12) NOT NULL,
  SEQUENCIA   SMALLINT NOT NULL,
  BANCO       VARCHAR(4),
  NUMCHEQUE   VARCHAR(10),
  VLRCHEQUE   NUMERIC(15,2),
  DT_ENTRADA  DATE,
  CONSTRAINT PK_PRETERC PRIMARY KEY (CODEMPRESA, NUMDOCORIG, SEQUENCIA)
);

-- Financing companies: days until they pay the store and the payment
-- condition (CONDPAG) of their financing.
CREATE TABLE FINANCEIRA (
  CODFINANCEIRA    VARCHAR(6) NOT NULL,
  NOME             VARCHAR(40),
  DIASCOMPENSACAO  SMALLINT,
  CODPRAZO         VARCHAR(6),
  CONSTRAINT PK_FINANCEIRA PRIMARY KEY (CODFINANCEIRA)
);

-- Financing plans: retention percentage, number of installments and whether
-- the plan takes a down payment (ENTRADA "S").
CREATE TABLE PLANOSFINANC (
  CODFINANCEIRA  VARCHAR(6) NOT NULL,
  CODPLANO       VARCHAR(6) NOT NULL,
  DESCFORMAPGTO  VARCHAR(20) NOT NULL,
  TAXARETENCAO   NUMERIC(9,4),
  NUMPARC        SMALLINT,
  ENTRADA        CHAR(1),
  COEFICIENTE    DOUBLE PRECISION,
  CONSTRAINT PK_PLANOSFINANC PRIMARY KEY (CODFINANCEIRA, CODPLANO, DESCFORMAPGTO)
);

-- The financing of a sale: CODVENDA is the order's CODPEDIDO or the quote's
-- CODORC. Orders and quotes are numbered apart, so a number names one sale.
CREATE TABLE FINANCIAMENTO (
  CODFINANCIAMENTO  INTEGER NOT NULL,
  CODEMPRESA        VARCHAR(6) NOT NULL,
  CODVENDA          VARCHAR(10) NOT NULL,
  CODFINANCEIRA     VARCHAR(6),
  CODPLANO          VARCHAR(6),
  DESCFORMAPGTO     VARCHAR(20),
  VALORFINANCIADO   NUMERIC(15,2),
  VALORMENSALIDADE  NUMERIC(15,2),
  CONSTRAINT PK_FINANCIAMENTO PRIMARY KEY (CODFINANCIAMENTO)
);
CREATE INDEX IX_FINANCIAMENTO_VENDA ON FINANCIAMENTO (CODEMPRESA, CODVENDA);

-- Card and agreement operators: days until they pay, discount percentage
-- (PERCDESC), payment condition and monthly anticipation rate (a fraction).
CREATE TABLE CARTCON (
  CODIGO             VARCHAR(6) NOT NULL,
  NOME               VARCHAR(40),
  DIASCOMPENSACAO    SMALLINT,
  PERCDESC           NUMERIC(9,4),
  CODPRAZO           VARCHAR(6),
  TAXAMENSALANTECIP  DOUBLE PRECISION,
  CONSTRAINT PK_CARTCON PRIMARY KEY (CODIGO)
);

-- Card/agreement payments of an order's closing, one row per operator used.
CREATE TABLE CONVENCEFAT (
  CODEMPRESA  VARCHAR(6) NOT NULL,
  TIPOPEDIDO  CHAR(1) NOT NULL,
  CODPEDIDO   VARCHAR(10) NOT NULL,
  SEQUENCIA   SMALLINT NOT NULL,
  CONVENIO    VARCHAR(6),
  VALOR       NUMERIC(15,2),
  CONSTRAINT PK_CONVENCEFAT PRIMARY KEY (CODEMPRESA, TIPOPEDIDO, CODPEDIDO, SEQUENCIA)
);

-- Receivable documents. NUMDOCORIG is the originating order's TIPOPEDIDO
-- followed directly by its CODPEDIDO.
CREATE TABLE DOCUREC (
  CODEMPRESA     VARCHAR(6) NOT NULL,
  NUMDOCTO       VARCHAR(16) NOT NULL,
  NUMDOCORIG     VARCHAR(12),
  CODCLIENTE     VARCHAR(10),
  DT_EMISSAO     DATE,
  DT_VENCIMENTO  DATE,
  VALORDOCTO     NUMERIC(15,2),
  VALORDESC      NUMERIC(15,2),
  VALORPAGO      NUMERIC(15,2),
  CONSTRAINT PK_DOCUREC PRIMARY KEY (CODEMPRESA, NUMDOCTO)
);
CREATE INDEX IX_DOCUREC_ORIGEM ON DOCUREC (CODEMPRESA, NUMDOCORIG);

-- Sales quotes. Term 1: condition CODPRAZO, installments VLRPARC01..06 due
-- VENCPARC01..06 (NUMPARC installments of VLRPARC when financed). Term 2:
-- condition CODPRAZO2, one installment VLRPARC01_2 due VENCPARC01_2.
-- TOTALORCAMENTO is net of the discounts (DESCONTOVALOR in money and
-- DESCONTOPERC in percent) and of the trade-in: ORCVENDATROCA names the quote
-- that records the goods the customer hands back (VENDATROCA "S").
-- VLRCOMISSAO is the quote's commission in money.
CREATE TABLE ORCCABE (
  CODEMPRESA      VARCHAR(6) NOT NULL,
  CODORC          VARCHAR(10) NOT NULL,
  DATAORCAMENTO   DATE,
  CODCLIENTE      VARCHAR(10),
  CODVENDEDOR     VARCHAR(6),
  TOTALORCAMENTO  NUMERIC(15,2),
  DESCONTOVALOR   NUMERIC(15,2),
  DESCONTOPERC    NUMERIC(9,4),
  FRETE           NUMERIC(15,2),
  QTDFRETE01      NUMERIC(15,3),
  QTDFRETE02      NUMERIC(15,3),
  QTDFRETE03      NUMERIC(15,3),
  TAXASERVICO     NUMERIC(15,2),
  VLRCOMISSAO     NUMERIC(15,2),
  VENDATROCA      CHAR(1),
  ORCVENDATROCA   VARCHAR(10),
  CODPRAZO        VARCHAR(6),
  NUMPARC         SMALLINT,
  VLRPARC         NUMERIC(15,2),
  VLRPARC01 NUMERIC(15,2), VENCPARC01 DATE,
  VLRPARC02 NUMERIC(15,2), VENCPARC02 DATE,
  VLRPARC03 NUMERIC(15,2), VENCPARC03 DATE,
  VLRPARC04 NUMERIC(15,2), VENCPARC04 DATE,
  VLRPARC05 NUMERIC(15,2), VENCPARC05 DATE,
  VLRPARC06 NUMERIC(15,2), VENCPARC06 DATE,
  CODPRAZO2       VARCHAR(6),
  VLRPARC01_2     NUMERIC(15,2),
  VENCPARC01_2    DATE,
  CONSTRAINT PK_ORCCABE PRIMARY KEY (CODEMPRESA, CODORC)
);

-- Quote items, as the order items.
CREATE TABLE ORCITEM (
  CODEMPRESA   VARCHAR(6) NOT NULL,
  CODORC       VARCHAR(10) NOT NULL,
  ITEM         SMALLINT NOT NULL,
  CODPROD      VARCHAR(14) NOT NULL,
  CODGRADE     CHAR(3),
  QUANTIDADE   NUMERIC(15,3),
  PRECOUNIT    NUMERIC(15,2),
  DESCONTOVLR  NUMERIC(15,2),
  CONSTRAINT PK_ORCITEM PRIMARY KEY (CODEMPRESA, CODORC, ITEM)
);

-- The card/agreement operator of each payment term of a quote (SEQUENCIA 1
-- or 2).
CREATE TABLE ORCCONVENIO (
  CODEMPRESA   VARCHAR(6) NOT NULL,
  CODORC       VARCHAR(10) NOT NULL,
  SEQUENCIA    SMALLINT NOT NULL,
  CODCONVENIO  VARCHAR(6),
  VALOR        NUMERIC(15,2),
  CONSTRAINT PK_ORCCONVENIO PRIMARY KEY (CODEMPRESA, CODORC, SEQUENCIA)
);
