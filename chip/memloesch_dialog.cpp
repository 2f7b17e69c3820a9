#include "chip/memloesch_dialog.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <cmath>

#include "app/help_request.h"
#include "app/icons.h"
#include "app/key_preview.h"
#include "app/port_session.h"
#include "app/run_guard.h"
#include "app/shared_state.h"
#include "chip/runs.h"
#include "chip/texts.h"

using varnok::Shared;

namespace {

QString Text(const varnok::Bilingual& text) {
    return QString::fromUtf8(text(Shared().LanguageGerman));
}

QRect ScaledRect(int x, int y, int w, int h) {
    return {Tmemloesch::Scaled(x), Tmemloesch::Scaled(y), Tmemloesch::Scaled(w),
            Tmemloesch::Scaled(h)};
}

QFont ScaledFont(const char* family, int pixels120, bool bold) {
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(Tmemloesch::Scaled(pixels120));
    font.setBold(bold);
    return font;
}

QLabel* Heading(QWidget* parent, const QColor& color, int x, int y) {
    auto* label = new QLabel(QStringLiteral("Programmspeicher löschen"), parent);
    QFont font = ScaledFont("Arial Black", 20, false);
    font.setWeight(QFont::Black);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setGeometry(ScaledRect(x, y, 404, 28));
    return label;
}

QPushButton* Button(QWidget* parent, const QString& caption, varnok::Glyph glyph, const char* name,
                    const QRect& geometry, int pixels120) {
    auto* button = new QPushButton(varnok::GlyphIcon(glyph), caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setIconSize(QSize(20, 20));
    button->setFont(ScaledFont("System", pixels120, true));
    return button;
}

}  // namespace

int Tmemloesch::Scaled(int pixels120) {
    return static_cast<int>(std::lround(pixels120 * 96.0 / 120.0));
}

Tmemloesch::Tmemloesch(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("memloesch"));
    setWindowTitle(QStringLiteral("Programmspeicher löschen"));
    setWindowIcon(varnok::ProgramIcon());
    setModal(true);
    setFixedSize(Scaled(464), Scaled(181));
    setFont(ScaledFont("MS Sans Serif", 14, false));

    // The white copy shows 2 pixels right of and 1 pixel below the maroon one.
    Label2 = Heading(this, Qt::white, 22, 60);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label1 = Heading(this, QColor(0x80, 0x00, 0x00), 20, 59);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->raise();

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(ScaledRect(384, 10, 50, 40));
    Image1->setAlignment(Qt::AlignCenter);
    const int side = std::min(Image1->width(), Image1->height());
    Image1->setPixmap(varnok::ProgramIcon().pixmap(side, side));

    BitBtn3 = Button(this, QStringLiteral("&Lösche"), varnok::Glyph::Erase, "BitBtn3",
                     ScaledRect(10, 128, 129, 41), 15);
    BitBtn1 = Button(this, QStringLiteral("&Schließen"), varnok::Glyph::Close, "BitBtn1",
                     ScaledRect(167, 127, 130, 40), 17);
    BitBtn2 = Button(this, QStringLiteral("&Hilfe"), varnok::Glyph::Help, "BitBtn2",
                     ScaledRect(325, 128, 129, 41), 15);
    setTabOrder(BitBtn3, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    BitBtn3->setFocus();

    reporter_ = std::make_unique<varnok::DialogReporter>(this, nullptr, nullptr, nullptr);

    connect(BitBtn3, &QPushButton::clicked, this, &Tmemloesch::BitBtn3Click);
    connect(BitBtn1, &QPushButton::clicked, this, &Tmemloesch::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &Tmemloesch::BitBtn2Click);
    new varnok::KeyPreview(this, [this](QKeyEvent* event) { return FormKeyDown(event); });
}

void Tmemloesch::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormActivate();
}

void Tmemloesch::FormActivate() {
    setWindowTitle(Text(varnok::text::MemloeschCaption));
    BitBtn3->setText(Text(varnok::text::EraseButton));
    BitBtn1->setText(Text(varnok::text::CloseButton));
}

void Tmemloesch::BitBtn3Click() {
    varnok::RunScope run;
    if (!run.started()) return;
    // The run leaves the adapter idle itself, so the port is given back at once.
    if (!varnok::PortSession::Acquire(this)) return;
    try {
        varnok::BitBtn3Click(*reporter_);
    } catch (const std::exception& error) {
        reporter_->setBusy(false);
        varnok::ReportRunError(this, error);
    }
    varnok::PortSession::Release();
}

void Tmemloesch::BitBtn1Click() {
    reject();
}

void Tmemloesch::BitBtn2Click() {
    varnok::RequestHelp(this, 108);
    QCoreApplication::processEvents();
}

bool Tmemloesch::FormKeyDown(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape) return false;
    if (event->type() == QEvent::KeyPress) reject();
    return true;
}

void Tmemloesch::done(int result) {
    // Closing waits for the run, its message box included.
    if (varnok::DeferWhileRunning(closePending_, [this, result] {
            if (isVisible()) done(result);
        }))
        return;
    QDialog::done(result);
}
