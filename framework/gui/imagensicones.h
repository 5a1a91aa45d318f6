// TImagensIcones: the pictures every gadget of the family shares - the six
// caption-strip buttons (23 x 23), the small grey logo of the face (53 x 17)
// and the program's own icon. They are drawn here, in code, once per run.
//
// REQUIRES: a QGuiApplication exists before the store is created.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace margivo {

class TImagensIcones {
 public:
  static constexpr int kLadoIcone = 23;
  static constexpr int kLarguraLogo = 53;
  static constexpr int kAlturaLogo = 17;

  TImagensIcones();

  QPixmap imgIcoFechar;       // close
  QPixmap imgIcoMax;          // maximise
  QPixmap imgIcoMin;          // minimise
  QPixmap imgIcoConfig;       // settings
  QPixmap imgIcoAbout;        // about
  QPixmap imgIcoMover;        // move
  QPixmap imgLogoCinzaMedio;  // the maker's small grey logo

  // The program's icon ("MAINICON"): notification area and windows.
  QIcon MainIcon;
  // The gadget's picture at `lado` x `lado` (the about box shows it at 55).
  static QPixmap ImagemGadget(int lado);
};

// The one store of the run, created by the first call (the first gadget
// constructor); never released before the process ends.
TImagensIcones& ImagensIcones();

}  // namespace margivo
