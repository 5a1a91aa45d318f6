// Internal to the engine's data access. The period loads: the answers of the
// look-ups a refresh of a period asks, read ahead in a handful of
// set-based statements.
#pragma once

#include <QString>

#include "framework/datetime.h"

namespace margivo {

class TConsultasRentabilidade;

// Fills the look-ups' memory with the answers of the look-ups the refresh of
// a period asks: the per-order ones for every order of PEDIDOC the
// order-items query can select (DATAPEDIDO between Data1 and Data2, branch
// Empresa unless empty, FATURADO as MostraPedidos selects), and the small
// tables whole (the movements and costs of the branch). Each answer is the
// one the look-up's own statement gives in the snapshot; whatever a
// set-based statement cannot answer exactly is left out, and that look-up
// runs its own statement when asked. A load whose statement fails (the
// per-order look-ups as a whole, or one table) is left out too: the
// look-ups' own statements then report the error where the calculation
// meets it.
// REQUIRES: the look-ups' cache is on; runs in the attachment's current
// transaction (the refresh's snapshot). Throws std::logic_error when the
// cache is off.
void carregaPeriodo(TConsultasRentabilidade& consultas, const QString& Empresa,
                    const QString& MostraPedidos, TDateTime Data1, TDateTime Data2);

}  // namespace margivo
