// captura_tela: saves what the X display shows, popups and tooltips
// included, as a PNG - the whole screen, or the rectangle given.
// Usage: captura_tela <file.png> [x y width height]
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  if (argc != 2 && argc != 6) {
    std::fprintf(stderr, "usage: captura_tela <file.png> [x y width height]\n");
    return 2;
  }
  QScreen* tela = QGuiApplication::primaryScreen();
  if (tela == nullptr) {
    std::fprintf(stderr, "captura_tela: no screen\n");
    return 1;
  }
  int x = 0, y = 0, largura = -1, altura = -1;
  if (argc == 6) {
    x = QString::fromLocal8Bit(argv[2]).toInt();
    y = QString::fromLocal8Bit(argv[3]).toInt();
    largura = QString::fromLocal8Bit(argv[4]).toInt();
    altura = QString::fromLocal8Bit(argv[5]).toInt();
  }
  const QPixmap imagem = tela->grabWindow(0, x, y, largura, altura);
  if (imagem.isNull() || !imagem.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "captura_tela: cannot save %s\n", argv[1]);
    return 1;
  }
  return 0;
}
