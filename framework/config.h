// TConfig: every setting of the gadget as text, moved between memory and the
// settings file shared with the settings tool and the other gadgets.
//
// Location: on Windows "C:\TempKZW\ConfigGadGet.Ini"; elsewhere
// $XDG_CONFIG_HOME/TempKZW/ConfigGadGet.Ini (~/.config when XDG_CONFIG_HOME is
// unset). The program reads section "Configuracoes" and reads and writes its
// own section (FSecao, "Trovesk"); it never touches another section.
//
// Errors: CarregarIni throws IniFileError when the file exists but cannot be
// read; SalvarIni throws IniFileError naming the file and the reason when it
// cannot be written, and the file is then left as it was.
#pragma once

#include <QString>

namespace margivo {

inline constexpr const char* SECAO_CONFIG_ARQINI = "Configuracoes";

// The settings file of this user on this platform.
QString CaminhoArquivoConfig();

class TConfig {
 public:
  explicit TConfig(const QString& Secao = QString());
  // Reads from `path` instead of CaminhoArquivoConfig() (the report tool's
  // --config).
  TConfig(const QString& Secao, const QString& path);

  const QString& arquivo() const noexcept { return arquivo_; }

  // Loads "Configuracoes" and, when the section is set, the gadget section;
  // every property is overwritten (a missing key clears it).
  void CarregarIni();
  // Writes the gadget section, in the documented key order.
  void SalvarIni();
  // Fills missing values for gadget code SiglaGadget ("VQM" for this program).
  void InstanciaVariaveis(const QString& SiglaGadget);
  // The value after "ContasCaixa=" on the first line containing it, any section.
  QString RetornaContasCaixa();

  // Database section (read only).
  QString LocRem, Servidor, Protocolo, CaminhoBanco, Usuario, Senha, Filial;
  // Gadget section.
  QString SempreVisivel;      // "1": host window stays on top; default "0"
  QString Transparencia;      // opacity in percent of the face; default "100"
  QString Empresa;            // branch code whose orders count; default "00"
  QString TipoVenda;          // carried for other gadgets
  QString Periodo;            // "0" day, "1" week, "2" month, "3" year
  QString AtualizaDados;      // refresh interval in minutes; default "1"
  QString PosX, PosY;         // panel position in screen pixels; empty: top right
  QString IniWindows;         // "1" after a start, "0" after the close button
  QString DataInicial, DataFinal;  // current period, short dates
  QString TipoDeLucro, Listar, Faturados, Contas, Margem, HoraIni, HoraFim, Dia, Modo,
      FiltroData, Meta, Devolucoes, Trocas, Pedidos, TiposPedido, HoraIniExp, HoraFimExp;
  QString MostraPedidos;      // "0" invoiced, "1" recorded not invoiced, other: all; default "0"
  QString PedidosImportados;  // carried; default "0"

 private:
  QString FSecao;
  QString arquivo_;
};

}  // namespace margivo
