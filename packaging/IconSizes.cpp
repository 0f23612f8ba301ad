// Writes the program icon at the smaller sizes of the hicolor theme, scaled
// down from the one picture in res/, so the menu and the panel get a sharp
// icon of their size without copies to keep in step by hand.
// Usage: halvik-icon-sizes ICON.png OUTPUT-PREFIX SIZE...
//        (writes OUTPUT-PREFIX-SIZE.png for each SIZE)

#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: halvik-icon-sizes ICON.png OUTPUT-PREFIX SIZE...\n");
        return 2;
    }
    const QImage icon(QString::fromLocal8Bit(argv[1]));
    if (icon.isNull()) {
        std::fprintf(stderr, "halvik-icon-sizes: cannot read %s\n", argv[1]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const std::string out = std::string(argv[2]) + "-" + argv[i] + ".png";
        const QImage scaled =
            icon.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (size <= 0 || !scaled.save(QString::fromStdString(out), "PNG")) {
            std::fprintf(stderr, "halvik-icon-sizes: cannot write %s\n", out.c_str());
            return 1;
        }
    }
    return 0;
}
