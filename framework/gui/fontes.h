// The gadget's layouts name the Windows fonts "Segoe UI" and "Tahoma". Where
// they are not installed, Qt is told to draw them with close humanist sans
// faces that are (Liberation Sans keeps Arial's metrics, so numbers fit their
// boxes as they would on Windows; DejaVu Sans after it).
#pragma once

namespace margivo {

// Registers the substitutes. Call once, after the application object exists.
void ConfiguraFontes();

}  // namespace margivo
