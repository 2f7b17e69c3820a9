#include "app/main_window.h"

#include <sys/stat.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QShowEvent>

#include "adapter/adapter.h"
#include "adapter/port_access.h"
#include "app/about_box.h"
#include "app/forms.h"
#include "app/help_request.h"
#include "app/icons.h"
#include "app/message_box.h"
#include "app/port_session.h"
#include "app/run_guard.h"
#include "chip/auslesen_dialog.h"
#include "chip/brennbox_dialog.h"
#include "chip/memloesch_dialog.h"
#include "chip/texts.h"
#include "files/file_selection_dialog.h"
#include "files/file_viewer.h"
#include "files/listing.h"

using varnok::Chip;
using varnok::Forms;
using varnok::Shared;
using varnok::SharedState;

namespace {

QAction* CheckItem(QMenu* menu, const QString& caption, const char* name) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    action->setCheckable(true);
    return action;
}

QAction* Item(QMenu* menu, const QString& caption, const char* name) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QMenu* Submenu(QMenuBar* bar, const QString& caption, const char* name) {
    QMenu* menu = bar->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(name));
    menu->menuAction()->setObjectName(QString::fromLatin1(name));
    return menu;
}

QLabel* TitleLabel(QWidget* parent, const QColor& color, int x, int y) {
    auto* label = new QLabel(QStringLiteral("ATMEL-programming"), parent);
    QFont font(QStringLiteral("Arial Black"));
    font.setPixelSize(27);
    font.setWeight(QFont::Black);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->adjustSize();
    label->move(x, y);
    return label;
}

// Shows a modeless window, or brings it to the front if it is open already.
void ShowModeless(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Caption());
    setWindowIcon(varnok::ProgramIcon());

    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));

    Datei1 = Submenu(MainMenu1, QStringLiteral("Da&tei"), "Datei1");
    Dateiauswahl1 = Item(Datei1, QStringLiteral("Datei&auswahl"), "Dateiauswahl1");
    Inhaltansehen3 = Item(Datei1, QStringLiteral("Datei&inhalt ansehen"), "Inhaltansehen3");
    Datei1->addSeparator();
    Exit3 = Item(Datei1, QStringLiteral("Exit"), "Exit3");

    Processor1 = Submenu(MainMenu1, QStringLiteral("&Prozessor"), "Processor1");
    AT89C10511 = CheckItem(Processor1, QStringLiteral("AT89C&1051"), "AT89C10511");
    AT89C20511 = CheckItem(Processor1, QStringLiteral("AT89C&2051"), "AT89C20511");
    AT89C40511 = CheckItem(Processor1, QStringLiteral("AT89C&4051"), "AT89C40511");
    Processor1->addSeparator();
    Brennen1 = Item(Processor1, QStringLiteral("&Brennen"), "Brennen1");
    Auslesen1 = Item(Processor1, QStringLiteral("&Auslesen"), "Auslesen1");
    Nurlschen1 = Item(Processor1, QStringLiteral("Speic&her löschen"), "Nurlschen1");

    Sprache1 = Submenu(MainMenu1, QStringLiteral("S&prache"), "Sprache1");
    Deutsch1 = CheckItem(Sprache1, QStringLiteral("&Deutsch"), "Deutsch1");
    English1 = CheckItem(Sprache1, QStringLiteral("&English"), "English1");

    Hardware1 = Submenu(MainMenu1, QStringLiteral("&Hardware"), "Hardware1");
    QAction** ports[] = {&LPT11, &LPT21, &LPT31, &LPT41};
    for (int n = 1; n <= 4; ++n) {
        const QByteArray name = "LPT" + QByteArray::number(n) + "1";
        *ports[n - 1] = CheckItem(Hardware1, QString::fromLatin1(varnok::PortTableRow(n)->caption),
                                  name.constData());
        connect(*ports[n - 1], &QAction::triggered, this, [this, n] { SelectPort(n); });
    }

    // These three stand on the menu bar itself and act when clicked.
    Exit1 = MainMenu1->addAction(QStringLiteral("E&xit"));
    Exit1->setObjectName(QStringLiteral("Exit1"));
    Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));
    Info1 = MainMenu1->addAction(QStringLiteral("&Info"));
    Info1->setObjectName(QStringLiteral("Info1"));
    Exit2 = MainMenu1->addAction(QStringLiteral("?"));
    Exit2->setObjectName(QStringLiteral("Exit2"));
    Exit2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));

    auto* client = new QWidget(this);
    QFont systemFont(QStringLiteral("System"));
    systemFont.setPixelSize(13);
    client->setFont(systemFont);
    // The white copy lies beneath, 2 pixels right of and below the maroon text.
    Label2 = TitleLabel(client, Qt::white, 10, 74);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label1 = TitleLabel(client, QColor(0x80, 0x00, 0x00), 8, 72);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->raise();
    setCentralWidget(client);

    // 369 x 187 outside, at (270, 160); the window frame takes its share.
    move(270, 160);
    resize(361, 160);

    connect(Dateiauswahl1, &QAction::triggered, this, &TForm1::Dateiauswahl1Click);
    connect(Inhaltansehen3, &QAction::triggered, this, &TForm1::Inhaltansehen3Click);
    connect(Exit3, &QAction::triggered, this, &QWidget::close);
    connect(AT89C10511, &QAction::triggered, this, [this] { SelectChip(Chip::AT89C1051); });
    connect(AT89C20511, &QAction::triggered, this, [this] { SelectChip(Chip::AT89C2051); });
    connect(AT89C40511, &QAction::triggered, this, [this] { SelectChip(Chip::AT89C4051); });
    connect(Brennen1, &QAction::triggered, this, &TForm1::Brennen1Click);
    connect(Auslesen1, &QAction::triggered, this, &TForm1::Auslesen1Click);
    connect(Nurlschen1, &QAction::triggered, this, &TForm1::Nurlschen1Click);
    connect(Deutsch1, &QAction::triggered, this, &TForm1::Deutsch1Click);
    connect(English1, &QAction::triggered, this, &TForm1::English1Click);
    connect(Exit1, &QAction::triggered, this, &QWidget::close);
    connect(Info1, &QAction::triggered, this, &TForm1::Info1Click);
    connect(Exit2, &QAction::triggered, this, &TForm1::Exit2Click);
}

void TForm1::connectForms() {
    connect(Forms().Dateiauswahl, &TDateiauswahl::imageFileAccepted, this,
            &TForm1::ImageFileAccepted);
}

QString TForm1::Caption() {
    return varnok::PortSession::UsesSimulator() ? QStringLiteral("Varnok – Simulator")
                                                : QStringLiteral("Varnok");
}

void TForm1::SelectChip(Chip chip) {
    AT89C10511->setChecked(chip == Chip::AT89C1051);
    AT89C20511->setChecked(chip == Chip::AT89C2051);
    AT89C40511->setChecked(chip == Chip::AT89C4051);
    Shared().ChipType = chip;
}

void TForm1::SelectPort(int n) {
    if (!varnok::PortTableRow(n)) return;
    LPT11->setChecked(n == 1);
    LPT21->setChecked(n == 2);
    LPT31->setChecked(n == 3);
    LPT41->setChecked(n == 4);
    Shared().selectPort(n);
}

int TForm1::ChipCapacity() const {
    int capacity = 1024;
    if (AT89C20511->isChecked()) capacity = 2048;
    if (AT89C40511->isChecked()) capacity = 4096;
    return capacity;
}

void TForm1::showEvent(QShowEvent* event) {
    // Start-up runs before the window first appears, so the captions of the
    // chosen language are the first a user sees.
    if (!startedUp_ && !event->spontaneous()) {
        startedUp_ = true;
        FormShow();
    }
    QMainWindow::showEvent(event);
}

void TForm1::FormShow() {
    SharedState& s = Shared();
    setWindowTitle(Caption());
    s.StartDirectory = QDir::currentPath().toStdString();

    Deutsch1->setChecked(true);
    English1->setChecked(false);
    for (QAction* item : {AT89C10511, AT89C20511, AT89C40511}) item->setChecked(false);
    s.ChipType = Chip::None;
    for (QAction* item : {LPT11, LPT21, LPT31, LPT41}) item->setChecked(false);
    s.selectPort(1);  // LPT1's addresses, without its check mark

    SetGermanCaptions();
    s.LanguageGerman = true;

    ReadSettings();
    const varnok::SettingsRecord& settings = s.Settings;
    s.ImageDirectory = settings.ImageDirectory;
    s.ImageDrive = settings.ImageDrive;
    s.ImageFileName = settings.ImageFileName;

    if (settings.languageCode == 2) {
        English1->setChecked(true);
        Deutsch1->setChecked(false);
        SetEnglishCaptions();
        s.LanguageGerman = false;
    }
    switch (settings.chipCode) {
        case 1:
            SelectChip(Chip::AT89C1051);
            break;
        case 2:
            SelectChip(Chip::AT89C2051);
            break;
        case 4:
            SelectChip(Chip::AT89C4051);
            break;
        default:
            break;
    }
    SelectPort(settings.portCode);
    // A port named on the command line outranks the remembered one.
    if (const int lpt = varnok::PortSession::ExplicitLpt()) SelectPort(lpt);

    // One guarded step: the first of the three that fails ends it, silently.
    // No remembered directory (a file without "Pfad") is nothing to restore
    // rather than a failure, so its lock-bit value still counts. The bytes go
    // to the dialog as they were stored: a name that is not UTF-8 is found again.
    TDateiauswahl* selection = Forms().Dateiauswahl;
    TBrennbox* programming = Forms().Brennbox;
    if (selection && programming &&
        (settings.ImageDirectory.empty() ||
         selection->setDirectoryBytes(QByteArray::fromStdString(settings.ImageDirectory))) &&
        selection->setDrive(QString(QChar::fromLatin1(settings.ImageDrive)))) {
        programming->CheckBox1->setChecked(settings.lockBit);
    }
    if (programming) s.LockBitOption = programming->CheckBox1->isChecked();

    // The adapter's idle state on the port restored above. Nothing can be
    // reported this early; a port that cannot be opened shows its message
    // when a dialog needs it.
    if (varnok::PortSession::Acquire(this, true)) {
        try {
            varnok::PortWrite(s.DataPort, varnok::kIdleData);
            varnok::PortWrite(s.ControlPort, varnok::kIdleControl);
        } catch (const std::exception&) {
        }
        varnok::PortSession::Release();
    }

    s.HelpFileName = s.StartDirectory + (s.LanguageGerman ? "/Varnok.hlp" : "/Englhelp.hlp");

    Inhaltansehen3->setEnabled(false);
    Brennen1->setEnabled(false);
    LookForRememberedImage();
}

void TForm1::LookForRememberedImage() {
    SharedState& s = Shared();
    // Joined as bytes: a QString round trip would turn a name that is not
    // UTF-8 into replacement characters, and the file would never be found.
    const std::string path = varnok::CutToCharacters(s.ImageDirectory + '/' + s.ImageFileName, 255);
    struct stat found;
    if (::stat(path.c_str(), &found) != 0 || !S_ISREG(found.st_mode)) return;
    s.ImageFile = path;
    s.ImageFileBound = true;
    EnableImageItems();

    // Measured read-only: a write-protected image is still an image, and its
    // size warning must not be lost.
    const std::optional<std::uint64_t> size = varnok::OpenedFileSize(s.ImageFile);
    if (size && *size > static_cast<std::uint64_t>(ChipCapacity()))
        varnok::ShowMessage(this, varnok::MessageKind::Warning,
                            QString::fromUtf8(varnok::text::ImageTooLarge(s.LanguageGerman)));
}

void TForm1::EnableImageItems() {
    Inhaltansehen3->setEnabled(true);
    Brennen1->setEnabled(true);
}

void TForm1::ImageFileAccepted() {
    EnableImageItems();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // The close sequence touches the adapter; it waits for the run to end.
    if (varnok::DeferWhileRunning(closePending_, [this] { close(); })) {
        event->ignore();
        return;
    }
    if (closing_) {
        // A second request while the sequence lets events through.
        event->ignore();
        return;
    }
    closing_ = true;
    const bool closed = FormClose();
    closing_ = false;
    if (!closed) {
        event->ignore();
        return;
    }
    event->accept();
    QMainWindow::closeEvent(event);
    emit programEnded();
}

bool TForm1::FormClose() {
    if (!WriteSettings()) return false;
    QCoreApplication::processEvents();
    // The original asked the PC BIOS to re-initialise the printer port here.
    // Its control writes would switch the programming voltage on, so the
    // adapter is put idle instead and the port given back.
    if (varnok::PortSession::Acquire(this, true)) {
        try {
            varnok::AdapterIdle();
        } catch (const std::exception&) {
        }
    }
    varnok::PortSession::Shutdown();
    QCoreApplication::processEvents();
    return true;
}

void TForm1::Dateiauswahl1Click() {
    Forms().Dateiauswahl->exec();
}

void TForm1::Inhaltansehen3Click() {
    ShowModeless(Forms().dateiinhalt_ansehen);
}

void TForm1::Brennen1Click() {
    Forms().Brennbox->exec();
}

void TForm1::Auslesen1Click() {
    Forms().AuslesenDlg->exec();
}

void TForm1::Nurlschen1Click() {
    Forms().memloesch->exec();
}

void TForm1::Info1Click() {
    ShowModeless(Forms().AboutBox);
}

void TForm1::Exit2Click() {
    varnok::RequestHelp(this, 110);
}
