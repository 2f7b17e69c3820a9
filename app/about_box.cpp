#include "app/about_box.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "app/icons.h"
#include "app/key_preview.h"

namespace {

QLabel* Text(QWidget* parent, const QString& text, int x, int y, int width) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, y, width, 17);
    return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("Information"));
    setWindowIcon(varnok::ProgramIcon());
    setModal(false);
    setFixedSize(251, 240);

    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    font.setBold(true);
    setFont(font);
    QPalette black = palette();
    black.setColor(QPalette::WindowText, Qt::black);
    setPalette(black);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setGeometry(8, 8, 235, 193);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setPixmap(varnok::ProgramIcon().pixmap(64, 64));
    ProgramIcon->setGeometry(8, 8, 65, 65);
    ProgramIcon->setAlignment(Qt::AlignCenter);

    ProductName = Text(Panel1, QStringLiteral("Varnok"), 88, 16, 139);
    Version =
        Text(Panel1, QStringLiteral("Version %1").arg(QStringLiteral(VARNOK_VERSION)), 88, 40, 139);
    Copyright = Text(Panel1, QStringLiteral("ATMEL-programming"), 8, 88, 219);
    Comments = new QLabel(QStringLiteral("AT89C1051, AT89C2051, AT89C4051\n"
                                         "LPT 1 - LPT 4"),
                          Panel1);
    Comments->setGeometry(8, 112, 219, 72);
    Comments->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Comments->setWordWrap(true);

    OKButton = new QPushButton(varnok::GlyphIcon(varnok::Glyph::Close),
                               QStringLiteral("&Schließen"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(71, 210, 106, 27);
    OKButton->setIconSize(QSize(20, 20));
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    new varnok::KeyPreview(this, [this](QKeyEvent* event) {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (!enter) return false;
        // The key goes no further than the box.
        if (event->type() == QEvent::KeyPress) accept();
        return true;
    });
}

void TAboutBox::showEvent(QShowEvent* event) {
    OKButton->setFocus();
    QDialog::showEvent(event);
}
