// Writes the program's icon as PNG files (NAME-SIZE.png) into a folder, drawn
// by the same code as the icon the program shows, for the installed copy.
#include "gui/icons.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: zelvano_iconfiles DIR SIZE...\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString file = dir.filePath(QStringLiteral("zelvano-%1.png").arg(size));
        if (size <= 0 || !zelvano::gui::programIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "zelvano_iconfiles: cannot write %s\n",
                         file.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
