// TConfig: every setting of the gadget as text, moved between memory and the
// settings file shared with the settings tool and the other gadgets.
//
// Location: on Windows "C:\TempKZW\ConfigGadGet.Ini"; elsewhere
// $XDG_CONFIG_HOME/TempKZW/ConfigGadGet.Ini, with ~/.config in place of
// XDG_CONFIG_HOME when it is unset, empty or not an absolute path. The program
// reads section "Configuracoes" and reads and writes its own section (FSecao,
// "Trovesk"); it never touches another section, and it never creates the file
// on its own: start-up stops when the file is missing.
//
// The file follows the rules of IniFile (inifile.h): names without regard to
// case, values without surrounding blanks, a missing key or a missing file
// reads as empty text.
//
// Errors: CarregarIni throws IniFileError when the file exists but cannot be
// read; SalvarIni throws IniFileError naming the file and the reason when it
// cannot be written, and the file is then left as it was. SalvarIni of a
// TConfig without a section throws IniFileError and writes nothing: settings
// written outside any section would be read by nobody.
#pragma once

#include <QString>

namespace margivo {

inline constexpr const char* SECAO_CONFIG_ARQINI = "Configuracoes";

// The settings file of this user on this platform.
QString CaminhoArquivoConfig();

class TConfig {
 public:
  // Remembers the section only; nothing is read until CarregarIni.
  explicit TConfig(const QString& Secao = QString());
  // Reads from `path` instead of CaminhoArquivoConfig() (the report tool's
  // --config).
  TConfig(const QString& Secao, const QString& path);

  const QString& arquivo() const noexcept { return arquivo_; }

  // Loads "Configuracoes" and, when the section is set, the gadget section;
  // every property is overwritten (a missing key clears it).
  void CarregarIni();
  // Writes the gadget section in one atomic write: first SempreVisivel,
  // Transparencia, Empresa, AtualizaDados, PosX, PosY and IniWindows, even when
  // empty; then, each only when not empty, TipoDeLucro, Listar, Faturados,
  // ContasCaixa (from Contas), Margem, Meta, HoraIniExp, HoraFimExp, Devolucoes,
  // Trocas, Pedidos, TiposPedido, TipoVenda, FiltroData, DataInicial,
  // DataFinal, Periodo, MostraPedidos and PedidosImportados (an empty one keeps
  // its old line in the file); last Modo and GadGet (the application title,
  // which this program leaves empty), always. Existing keys keep their place,
  // missing ones are added in this order. When every key already holds its
  // value the file is not written at all (see IniFile::writeStrings).
  void SalvarIni();
  // Fills missing values for gadget code SiglaGadget ("VQM" for this program):
  // IniWindows becomes "1"; empty Transparencia "100", AtualizaDados "1",
  // SempreVisivel "0", MostraPedidos (also when only blanks) "0",
  // PedidosImportados "0"; for "VQM" only, an empty Empresa "00". The defaults
  // of the family's other gadget kinds are not held here.
  void InstanciaVariaveis(const QString& SiglaGadget);
  // The value (without surrounding blanks) after "ContasCaixa=" on the first
  // line of the file containing that text, whatever its section; empty when
  // no line does or the file is missing. Not called by CarregarIni: it belongs
  // to another gadget kind, and Contas stays empty in this program.
  QString RetornaContasCaixa();

  const QString& Secao() const noexcept { return FSecao; }

  // Section "Configuracoes", written by the settings tool, never by us:
  // LocRem "R" for a database on a server, anything else a local path;
  // Protocolo "0", "1" or "2"; Filial is loaded but unused here.
  QString LocRem, Servidor, Protocolo, CaminhoBanco, Usuario, Senha, Filial;
  // Gadget section.
  QString SempreVisivel;           // "1": host window stays on top; default "0"
  QString Transparencia;           // opacity in percent of the face; default "100"
  QString Empresa;                 // branch code whose orders count; default "00"
  QString TipoVenda;               // carried for other gadgets
  QString Periodo;                 // "0" day, "1" week, "2" month, "3" year
  QString AtualizaDados;           // refresh interval in minutes; default "1"
  QString PosX, PosY;              // panel position in screen pixels; empty: top right
  QString IniWindows;              // "1" after a start, "0" after the close button
  QString DataInicial, DataFinal;  // current period, short dates
  // Carried for the other gadgets of the family: read and written back when
  // not empty (Modo always), no default, unused here. HoraIni, HoraFim and Dia
  // are neither read nor written; Contas ("ContasCaixa") is written only when
  // a caller sets it.
  QString TipoDeLucro, Listar, Faturados, Contas, Margem, HoraIni, HoraFim, Dia, Modo, FiltroData,
      Meta, Devolucoes, Trocas, Pedidos, TiposPedido, HoraIniExp, HoraFimExp;
  QString MostraPedidos;      // "0" invoiced, "1" recorded not invoiced, other: all; default "0"
  QString PedidosImportados;  // carried; default "0"

 private:
  QString FSecao;
  QString arquivo_;
};

}  // namespace margivo
