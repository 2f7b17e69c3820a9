#include "app/icons.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <iterator>

namespace varnok {

QIcon SvgIcon(const QString& resource) {
    QSvgRenderer renderer(resource);
    QIcon icon;
    if (!renderer.isValid()) return icon;
    for (int size : {16, 20, 24, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon ProgramIcon() {
    static const QIcon icon = SvgIcon(QStringLiteral(":/icons/varnok.svg"));
    return icon;
}

QIcon GlyphIcon(Glyph glyph) {
    struct Source {
        const char* theme;
        const char* fallback;
    };
    static const Source sources[] = {
        {"media-playback-start", ":/glyphs/start.svg"}, {"application-exit", ":/glyphs/close.svg"},
        {"help-contents", ":/glyphs/help.svg"},         {"document-save", ":/glyphs/save.svg"},
        {"edit-clear", ":/glyphs/erase.svg"},           {"dialog-ok", ":/glyphs/ok.svg"},
        {"dialog-cancel", ":/glyphs/cancel.svg"},
    };
    static QIcon cache[std::size(sources)];
    const auto index = static_cast<std::size_t>(glyph);
    if (cache[index].isNull()) {
        const Source& source = sources[index];
        cache[index] = QIcon::fromTheme(QString::fromLatin1(source.theme),
                                        SvgIcon(QString::fromLatin1(source.fallback)));
    }
    return cache[index];
}

}  // namespace varnok
