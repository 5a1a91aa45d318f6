// Internal to the engine's data access. The period loads: the answers of the
// look-ups a refresh of a period asks, read ahead in a handful of
// set-based statements.
#pragma once

#include <QString>

#include "framework/datetime.h"

namespace margivo {

class TConsultasRentabilidade;
struct SqlCondition;

// Fills the look-ups' memory with the answers of the look-ups a refresh
// asks: the per-order ones for every order `pedidos` selects (a condition on
// PEDIDOC without an alias, whose parameters do not take the names of the
// period's block, see blocopedidos_p.h), and the small tables whole (the
// movements and costs of the branch `Empresa`, or of every branch when it is
// empty; the movements up to `ultimoDia`, the last day an order of the
// selection may have). `Empresa` is the configured branch, for which the
// payment look-ups are asked (empty: each order's own).
//
// Each answer is the one the look-up's own statement gives in the snapshot;
// whatever a set-based statement cannot answer exactly is left out, and that
// look-up runs its own statement when asked. A load whose statement fails
// (the per-order look-ups as a whole, or one table) is left out too: the
// look-ups' own statements then report the error where the calculation meets
// it.
// REQUIRES: the look-ups' cache is on; runs in the attachment's current
// transaction (the refresh's snapshot). Throws std::logic_error when the
// cache is off, std::invalid_argument for a parameter name of the block's.
void carregaPeriodo(TConsultasRentabilidade& consultas, const SqlCondition& pedidos,
                    const QString& Empresa, TDateTime ultimoDia);

}  // namespace margivo
