// ormid-iconpng SVG PNG SIZE: draws the program's icon at one size for the
// icon theme's fixed-size folders.
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: ormid-iconpng SVG PNG SIZE\n");
        return 2;
    }
    const int size = QString(argv[3]).toInt();
    QImageReader reader(QString::fromLocal8Bit(argv[1]));
    reader.setScaledSize(QSize(size, size));
    const QImage image = reader.read();
    if (image.isNull() || image.width() != size) {
        std::fprintf(stderr, "ormid-iconpng: cannot draw %s: %s\n", argv[1], qPrintable(reader.errorString()));
        return 1;
    }
    if (!image.convertToFormat(QImage::Format_ARGB32).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "ormid-iconpng: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
