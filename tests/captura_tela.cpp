// margivo-captura-tela X Y W H FILE: saves what the X display shows in the
// rectangle (screen pixels) as a PNG - popup menus included, which a window's
// own grab leaves out. For the scripts that take the README's pictures.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  if (argc != 6) {
    std::fprintf(stderr, "uso: %s X Y LARGURA ALTURA ARQUIVO.png\n", argv[0]);
    return 2;
  }
  QScreen* tela = QGuiApplication::primaryScreen();
  const QPixmap imagem =
      tela == nullptr ? QPixmap()
                      : tela->grabWindow(0, QString(argv[1]).toInt(), QString(argv[2]).toInt(),
                                         QString(argv[3]).toInt(), QString(argv[4]).toInt());
  if (imagem.isNull() || !imagem.save(QString::fromLocal8Bit(argv[5]), "PNG")) {
    std::fprintf(stderr, "não foi possível capturar a tela em %s\n", argv[5]);
    return 1;
  }
  return 0;
}
