// koru-icon-png SVG DIR SIZE...: renders KORU's icon into DIR/NxN/apps/koru.png
// for each size, with the same SVG renderer that draws the window icon, so the
// installed pictures and the running program's icon are one picture.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: koru-icon-png SVG DIR SIZE...\n", stderr);
        return 64;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "koru-icon-png: %s is no SVG picture\n", argv[1]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QByteArray(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "koru-icon-png: bad size %s\n", argv[i]);
            return 64;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        svg.render(&painter);
        painter.end();
        const QString folder =
            QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
        if (!QDir().mkpath(folder) || !image.save(folder + QStringLiteral("/koru.png"))) {
            std::fprintf(stderr, "koru-icon-png: cannot write %s/koru.png\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
