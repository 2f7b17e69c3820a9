#include "chip/auslesen_dialog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <cerrno>

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
#include "chip/sinks.h"
#include "chip/texts.h"

using varnok::MessageKind;
using varnok::Shared;

namespace {

constexpr varnok::Bilingual kSaveOntoScratch{
    "output.tmp ist die Zwischendatei des Auslesens und wird beim Schließen gelöscht.\r"
    "Bitte unter einem anderen Namen speichern.",
    "output.tmp is the read-out's scratch file and is deleted when the dialog closes.\r"
    "Please save under another name."};

QString Text(const varnok::Bilingual& text) {
    return QString::fromUtf8(text(Shared().LanguageGerman));
}

// Rows of 16 pixels, whatever the font would ask for.
class FixedRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(16);
        return size;
    }
};

// `pixelSize` 0 keeps the dialog's font size.
QPushButton* Button(QWidget* parent, const QString& caption, varnok::Glyph glyph, const char* name,
                    const QRect& geometry, bool bold, int pixelSize) {
    auto* button = new QPushButton(varnok::GlyphIcon(glyph), caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setIconSize(QSize(20, 20));
    QFont font = button->font();
    font.setBold(bold);
    if (pixelSize > 0) font.setPixelSize(pixelSize);
    button->setFont(font);
    return button;
}

bool SameFile(const QString& a, const QString& b) {
    struct stat first, second;
    if (::stat(QFile::encodeName(a).constData(), &first) != 0) return false;
    if (::stat(QFile::encodeName(b).constData(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool WriteAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// Copies `from` onto `to` (created, or emptied if it exists). A partly written
// copy stays where it is; a failure at the very end (a full disk noticed only
// when the file is closed) counts as a failure too.
bool CopyFile(const QString& from, const QString& to) {
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const int out =
        ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        if (!WriteAll(out, buffer, n)) {
            ok = false;
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0 && errno != EINTR) ok = false;
    return ok;
}

// The scratch file, remembering whether the run got as far as creating it.
class ScratchSink : public varnok::ByteSink {
public:
    explicit ScratchSink(const QString& path) : file_(QFile::encodeName(path).toStdString()) {}
    void create() override {
        file_.create();
        created = true;
    }
    void put(std::uint8_t byte) override { file_.put(byte); }
    void close() override { file_.close(); }
    bool created = false;

private:
    varnok::ScratchFileSink file_;
};

}  // namespace

TAuslesenDlg::TAuslesenDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AuslesenDlg"));
    setWindowTitle(QStringLiteral("Prozessorinhalt auslesen"));
    setWindowIcon(varnok::ProgramIcon());
    setModal(true);
    setFixedSize(458, 297);
    QFont systemFont(QStringLiteral("System"));
    systemFont.setPixelSize(13);
    setFont(systemFont);

    OKBtn = Button(this, QStringLiteral("&Schließen"), varnok::Glyph::Close, "OKBtn",
                   QRect(8, 256, 137, 33), true, 12);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Panel1->setGeometry(8, 16, 441, 225);

    ListBox1 = new QListWidget(Panel1);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(16, 16, 409, 84);
    ListBox1->setItemDelegate(new FixedRowDelegate(ListBox1));
    ListBox1->setUniformItemSizes(true);
    ListBox1->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    QPalette panelColour = ListBox1->palette();
    panelColour.setColor(QPalette::Base, palette().color(QPalette::Window));
    ListBox1->setPalette(panelColour);

    Gauge1 = new varnok::Gauge(Panel1);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    Gauge1->setGeometry(16, 152, 409, 12);
    Gauge1->setForeColor(Qt::blue);
    QFont smallFonts(QStringLiteral("Small Fonts"));
    smallFonts.setPixelSize(8);
    Gauge1->setFont(smallFonts);

    StartBTN = Button(Panel1, QStringLiteral("S&tart"), varnok::Glyph::Start, "StartBTN",
                      QRect(16, 176, 409, 33), true, 0);
    StartBTN->setDefault(true);

    SaveDialog1 = new QFileDialog(this);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setFileMode(QFileDialog::AnyFile);
    SaveDialog1->setDefaultSuffix(QStringLiteral("bin"));
    SaveDialog1->setNameFilters(
        {QStringLiteral("Binärdateien (*.bin)"), QStringLiteral("Alle Dateien (*)")});

    HelpBtn = Button(this, QStringLiteral("&Hilfe"), varnok::Glyph::Help, "HelpBtn",
                     QRect(312, 256, 137, 33), true, 12);
    speicher_btn = Button(this, QStringLiteral("&Datei sichern"), varnok::Glyph::Save,
                          "speicher_btn", QRect(160, 256, 137, 33), false, 0);
    speicher_btn->setEnabled(false);

    setTabOrder(ListBox1, StartBTN);
    setTabOrder(StartBTN, OKBtn);
    setTabOrder(OKBtn, speicher_btn);
    setTabOrder(speicher_btn, HelpBtn);
    lastFocus_ = OKBtn;

    reporter_ = std::make_unique<varnok::DialogReporter>(this, nullptr, Gauge1, ListBox1);
    reporter_->onBusyChanged = [this](bool busy) {
        if (!busy) return;
        // Disabled with the focus, the button would pass it on to OKBtn, and
        // an Enter meant for the next read-out would close the dialog and
        // delete this one. Without a focused button Enter is the run's own.
        startHadFocus_ = focusWidget() == StartBTN;
        if (startHadFocus_) StartBTN->clearFocus();
        StartBTN->setEnabled(false);
    };

    connect(StartBTN, &QPushButton::clicked, this, &TAuslesenDlg::StartBTNClick);
    connect(speicher_btn, &QPushButton::clicked, this, &TAuslesenDlg::speicher_btnClick);
    connect(OKBtn, &QPushButton::clicked, this, &TAuslesenDlg::OKBtnClick);
    connect(HelpBtn, &QPushButton::clicked, this, &TAuslesenDlg::HelpBtnClick);
    new varnok::KeyPreview(this, [this](QKeyEvent* event) { return FormKeyDown(event); });
}

TAuslesenDlg::~TAuslesenDlg() {
    if (!scratch_.isEmpty()) ::unlink(QFile::encodeName(scratch_).constData());
}

void TAuslesenDlg::showEvent(QShowEvent* event) {
    // The focus is back where it was when the dialog last closed.
    if (lastFocus_) lastFocus_->setFocus();
    QDialog::showEvent(event);
    // Once per opening, when the dialog is on the screen (a message about the
    // port then shows over it). Regaining the focus from its own message box
    // does not count: that would wipe the listing after a failed save.
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) FormActivate();
    });
}

void TAuslesenDlg::FormActivate() {
    Gauge1->setProgress(0);
    speicher_btn->setEnabled(false);
    ListBox1->clear();
    if (!port_.acquire(this)) return;
    try {
        const varnok::SharedState& s = Shared();
        varnok::PortWrite(s.DataPort, varnok::kIdleData);
        varnok::PortWrite(s.ControlPort, varnok::kIdleControl);
        varnok::DelayShort();
    } catch (const std::exception& error) {
        varnok::ReportRunError(this, error);
    }
}

QString TAuslesenDlg::scratchPath() const {
    return scratch_.isEmpty() ? QDir::current().absoluteFilePath(QStringLiteral("output.tmp"))
                              : scratch_;
}

void TAuslesenDlg::StartBTNClick() {
    varnok::RunScope run;
    if (!run.started()) return;
    if (!port_.acquire(this)) return;
    // The name is fixed now, so the save and the close find this very file
    // even if the working directory moves on.
    const QString path = QDir::current().absoluteFilePath(QStringLiteral("output.tmp"));
    if (!scratch_.isEmpty() && scratch_ != path) ::unlink(QFile::encodeName(scratch_).constData());
    ScratchSink sink(path);
    try {
        varnok::StartBTNClick(*reporter_, sink);
    } catch (const std::exception& error) {
        if (sink.created) {
            scratch_ = path;
            // What the scratch file holds now is not the chip's contents.
            speicher_btn->setEnabled(false);
        }
        reporter_->setBusy(false);
        EnableStart();
        varnok::ReportRunError(this, error);
        return;
    }
    scratch_ = path;
    speicher_btn->setEnabled(true);
    reporter_->setBusy(false);
    EnableStart();
}

void TAuslesenDlg::EnableStart() {
    StartBTN->setEnabled(true);
    if (startHadFocus_) StartBTN->setFocus();
    startHadFocus_ = false;
}

void TAuslesenDlg::speicher_btnClick() {
    if (varnok::RunInProgress()) return;
    SaveDialog1->setDirectory(QDir::current());
    SaveDialog1->selectFile(QString());
    if (SaveDialog1->exec() != QDialog::Accepted) return;
    const QStringList chosen = SaveDialog1->selectedFiles();
    if (chosen.isEmpty()) return;
    SaveScratchTo(chosen.first());
}

bool TAuslesenDlg::SaveScratchTo(const QString& target) {
    const QString scratch = scratchPath();
    if (!QFileInfo::exists(scratch)) {
        varnok::ShowMessage(this, MessageKind::Error, Text(varnok::text::SaveNoScratch));
        return false;
    }
    // Copying the file onto itself would empty it first and lose the
    // read-out; and it is deleted at close, so it is no place to keep a copy.
    if (SameFile(scratch, target)) {
        varnok::ShowMessage(this, MessageKind::Error, Text(kSaveOntoScratch));
        return false;
    }
    if (!CopyFile(scratch, target)) {
        varnok::ShowMessage(this, MessageKind::Error, Text(varnok::text::SaveFailed));
        return false;
    }
    return true;
}

void TAuslesenDlg::OKBtnClick() {
    reject();
}

void TAuslesenDlg::HelpBtnClick() {
    varnok::RequestHelp(this, 105);
}

bool TAuslesenDlg::FormKeyDown(QKeyEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    switch (event->key()) {
        case Qt::Key_Escape:
            reject();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
                return false;
            // A focused button takes the key; otherwise it starts a read-out,
            // as the default button would.
            auto* button = qobject_cast<QPushButton*>(focusWidget());
            if (button && button->isEnabled()) {
                button->click();
            } else {
                StartBTNClick();
            }
            return true;
        }
        case Qt::Key_F1:
            HelpBtnClick();
            return false;  // the focused control sees it as well
        default:
            return false;
    }
}

void TAuslesenDlg::done(int result) {
    // A close request during a run takes effect when the run has ended.
    if (varnok::DeferWhileRunning(closePending_, [this, result] {
            if (isVisible()) done(result);
        }))
        return;
    FormClose();
    QDialog::done(result);
}

void TAuslesenDlg::FormClose() {
    lastFocus_ = focusWidget();
    // Deleting is all there is to it; a failure is nobody's concern.
    if (!scratch_.isEmpty()) ::unlink(QFile::encodeName(scratch_).constData());
    scratch_.clear();
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
