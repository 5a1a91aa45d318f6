// The profitability gadget's identity: the names and texts by which the
// program, the settings file, the desktop and the about box know it. Plain
// constants with no dependency, so the desktop program and the report tool
// read the same ones.
#pragma once

namespace margivo {

// Its own section of the shared settings file.
inline constexpr const char* kSecaoGadget = "Trovesk";
// Its code among the gadgets of the family: it selects the settings'
// defaults.
inline constexpr const char* kSiglaGadget = "VQM";
// The gadget's title: the name of its start-at-logon entry, the tip of its
// notification-area icon and the title of its about box.
inline constexpr const char* NOME_GGT_RENTABILIDADE = "Rentabilidade";
// The version text shown by the about box and printed by the report tool.
inline constexpr const char* VERSAO_GADGET = "21.08ba";
// The ERP routine that gives the same figures, and the gadget's description,
// as the about box shows them.
inline constexpr const char* kRelConsRentabilidade =
    "Kontavix - Rotina PDV: Consulta da Rentabilidade de Pedidos";
inline constexpr const char* kDescricaoRentabilidade =
    "Este gadget exibe o valor (R$) que está em inadimplência bem como a porcentagem que este "
    "valor representa perante o montante esperado.";
// The host window's name, which names the single-instance lock.
inline constexpr const char* kNomeInstancia = "frmRentabilidade";
// The program files' names.
inline constexpr const char* kNomePrograma = "margivo";
inline constexpr const char* kNomeRelatorio = "margivo-report";

}  // namespace margivo
