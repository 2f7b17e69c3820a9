#include "chip/brennbox_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "adapter/adapter.h"
#include "adapter/port_access.h"
#include "app/gauge.h"
#include "app/help_request.h"
#include "app/icons.h"
#include "app/key_preview.h"
#include "app/message_box.h"
#include "app/run_guard.h"
#include "app/shared_state.h"
#include "chip/runs.h"
#include "chip/texts.h"

using varnok::MessageKind;
using varnok::Shared;

namespace {

QString Text(const varnok::Bilingual& text) {
    return QString::fromUtf8(text(Shared().LanguageGerman));
}

QPushButton* Button(QWidget* parent, const QString& caption, varnok::Glyph glyph, const char* name,
                    const QRect& geometry) {
    auto* button = new QPushButton(varnok::GlyphIcon(glyph), caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setIconSize(QSize(20, 20));
    return button;
}

}  // namespace

TBrennbox::TBrennbox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Brennbox"));
    setWindowTitle(QStringLiteral("Brennen"));
    setWindowIcon(varnok::ProgramIcon());
    setModal(true);
    setFixedSize(484, 217);

    Label1 = new QLabel(QStringLiteral("Datei:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(16, 16);
    Label1->adjustSize();
    Label2 = new QLabel(QStringLiteral("Größe:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(16, 40);
    Label2->adjustSize();

    CheckBox1 = new QCheckBox(QStringLiteral("&Lockbit setzen"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(16, 72, 137, 17);
    CheckBox1->setChecked(true);
    // The box is the home of the lock-bit option.
    connect(CheckBox1, &QCheckBox::toggled, this,
            [](bool checked) { Shared().LockBitOption = checked; });

    Gauge1 = new varnok::Gauge(this);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    Gauge1->setGeometry(16, 112, 449, 25);
    Gauge1->setForeColor(QColor(0x00, 0x00, 0x80));
    Gauge1->setMaxValue(100);

    status = new QLabel(QStringLiteral("??"), this);
    status->setObjectName(QStringLiteral("status"));
    QFont statusFont(QStringLiteral("Arial"));
    statusFont.setPixelSize(13);
    statusFont.setBold(true);
    status->setFont(statusFont);
    QPalette maroon = status->palette();
    maroon.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
    status->setPalette(maroon);
    status->move(16, 144);
    status->adjustSize();

    OKButton = Button(this, QStringLiteral("&Start"), varnok::Glyph::Start, "OKButton",
                      QRect(15, 176, 114, 33));
    OKButton->setDefault(true);
    BitBtn1 = Button(this, QStringLiteral("Schließen"), varnok::Glyph::Close, "BitBtn1",
                     QRect(176, 176, 113, 33));
    hilfebtn = Button(this, QStringLiteral("&Hilfe"), varnok::Glyph::Help, "hilfebtn",
                      QRect(344, 176, 121, 33));
    setTabOrder(CheckBox1, OKButton);
    setTabOrder(OKButton, BitBtn1);
    setTabOrder(BitBtn1, hilfebtn);

    reporter_ = std::make_unique<varnok::DialogReporter>(this, status, Gauge1, nullptr);

    connect(OKButton, &QPushButton::clicked, this, &TBrennbox::OKButtonClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TBrennbox::BitBtn1Click);
    connect(hilfebtn, &QPushButton::clicked, this, &TBrennbox::hilfebtnClick);
    new varnok::KeyPreview(this, [this](QKeyEvent* event) { return FormKeyUp(event); });
}

void TBrennbox::showEvent(QShowEvent* event) {
    keyDown_ = 0;
    OKButton->setFocus();
    QDialog::showEvent(event);
    // Activation shows its messages over the dialog, so it waits until the
    // dialog is on the screen. It runs once per opening: the dialog regaining
    // the focus from its own message box does not bring the message back.
    activationPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (isVisible() && activationPending_) FormActivate();
    });
}

void TBrennbox::FormActivate() {
    activationPending_ = false;
    varnok::ProgrammingActivation activation;
    bool fileChecked = false;
    if (port_.acquire(this)) {
        try {
            activation = varnok::ProgrammingActivate();
            fileChecked = true;
        } catch (const std::exception& error) {
            varnok::ReportRunError(this, error);
        }
    }
    // Without the port the file is still checked, so the user learns about
    // both problems at once, and a port fault is not blamed on the file.
    if (!fileChecked) activation = varnok::CheckImageFile();

    status->clear();
    OKButton->setEnabled(true);
    // Left disabled by the last opening, Start could not take the focus when
    // the dialog was shown.
    OKButton->setFocus();
    setWindowTitle(Text(varnok::text::BrennboxCaption));
    Gauge1->setProgress(0);

    if (!activation.readable) {
        varnok::ShowMessage(this, MessageKind::Error, Text(varnok::text::ImageUnreadable));
        OKButton->setEnabled(false);
        return;
    }
    // The file that will be burnt, named by its own path.
    const QString path = QDir::cleanPath(QString::fromStdString(Shared().ImageFile));
    Label1->setText(Text(varnok::text::FileLabel) + path);
    Label1->adjustSize();
    Label2->setText(Text(varnok::text::SizeLabel) + QString::number(activation.size) +
                    QStringLiteral(" Byte"));
    Label2->adjustSize();
    if (activation.tooLarge) {
        varnok::ShowMessage(this, MessageKind::Warning, Text(varnok::text::ImageTooLarge));
    }
}

void TBrennbox::OKButtonClick() {
    varnok::RunScope run;
    if (!run.started()) return;
    // A Start typed ahead of the activation waits for its file check: the run
    // erases the chip before it opens the file.
    if (activationPending_) FormActivate();
    if (!OKButton->isEnabled()) return;
    if (!port_.acquire(this)) return;
    Shared().LockBitOption = CheckBox1->isChecked();
    try {
        BytesDone = 0;
        BytesDone = varnok::OKButtonClick(*reporter_).bytesDone;
    } catch (const std::exception& error) {
        // The run has put the adapter idle before letting the error out.
        reporter_->setBusy(false);
        status->clear();
        varnok::ReportRunError(this, error);
    }
}

void TBrennbox::BitBtn1Click() {
    reject();
}

void TBrennbox::hilfebtnClick() {
    varnok::RequestHelp(this, 104);
    QCoreApplication::processEvents();
}

bool TBrennbox::FormKeyUp(QKeyEvent* event) {
    const int key = event->key();
    if (key != Qt::Key_Escape && key != Qt::Key_F1) return false;
    // Both act when the key is released; the press goes nowhere, so the
    // dialog's own Escape handling never closes it behind this one's back.
    if (event->isAutoRepeat()) return true;
    if (event->type() == QEvent::KeyPress) {
        keyDown_ = key;
        return true;
    }
    // A release whose press went elsewhere is not meant for the dialog: the
    // Escape that dismissed one of its message boxes must not close it too.
    if (keyDown_ != key) return true;
    keyDown_ = 0;
    if (key == Qt::Key_Escape) {
        BitBtn1->click();
    } else {
        hilfebtn->click();
    }
    return true;
}

void TBrennbox::done(int result) {
    // A close request during a run takes effect when the run has ended.
    if (varnok::DeferWhileRunning(closePending_, [this, result] {
            if (isVisible()) done(result);
        }))
        return;
    FormClose();
    QDialog::done(result);
}

void TBrennbox::FormClose() {
    if (!port_.held()) return;
    try {
        const varnok::SharedState& s = Shared();
        varnok::PortWrite(s.DataPort, varnok::kIdleData);
        varnok::PortWrite(s.ControlPort, varnok::kIdleControl);
        varnok::DelayShort();
    } catch (const std::exception&) {
        varnok::ForceAdapterIdle();
    }
    port_.release();
}
