// captura_tela FILE.png: saves a picture of the whole primary screen, as the
// Windows desktop (under Wine, the virtual display) shows it, and prints the
// rectangle that holds every pixel unlike the corner's (the background):
// "x y width height". Exits 1 when nothing but background is on the screen
// or the picture cannot be saved, 2 on bad usage.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <cstdio>

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: captura_tela FILE.png\n");
    return 2;
  }
  const QImage image = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
  if (image.isNull() || !image.save(args[1], "PNG")) {
    std::fprintf(stderr, "cannot save the screen to %s\n", qPrintable(args[1]));
    return 1;
  }
  const QRgb background = image.pixel(0, 0);
  QRect drawn;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixel(x, y) != background) drawn |= QRect(x, y, 1, 1);
    }
  }
  if (drawn.isEmpty()) {
    std::fprintf(stderr, "the screen shows nothing but its background\n");
    return 1;
  }
  std::printf("%d %d %d %d\n", drawn.x(), drawn.y(), drawn.width(), drawn.height());
  return 0;
}
