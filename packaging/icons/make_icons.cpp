// kestrane-icons: writes the program's icon, drawn from its own logo, as
// PNG files in the hicolor layout: OUT/<n>x<n>/apps/<name>.png per size.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

#include "ui/logo_image.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: kestrane-icons OUTDIR NAME SIZE...\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int side = std::atoi(argv[i]);
        if (side < 8 || side > 1024) {
            std::fprintf(stderr, "kestrane-icons: bad size '%s'\n", argv[i]);
            return 2;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(out).arg(side);
        const QString file = folder + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!QDir().mkpath(folder) || !kestrane::ui::MakeProgramIconImage(side).save(file, "PNG")) {
            std::fprintf(stderr, "kestrane-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
