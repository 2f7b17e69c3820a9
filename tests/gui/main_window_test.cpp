// The main window: the seven windows, start-up, the menu bar, the chip and
// port choices, the about box, the command line and the close sequence.
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>

#include "app/about_box.h"
#include "app/command_line.h"
#include "chip/auslesen_dialog.h"
#include "chip/brennbox_dialog.h"
#include "chip/memloesch_dialog.h"
#include "files/file_selection_dialog.h"
#include "files/file_viewer.h"
#include "tests/gui/gui_support.h"

using namespace varnok;
using namespace varnok::guitest;

namespace {

QStringList TraceWrites(const QString& path) {
    QStringList writes;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return writes;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 4 && fields[1] == "W")
            writes << QString::fromLatin1(fields[2] + " " + fields[3]);
    }
    return writes;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void sevenWindowsExistHiddenBeforeStartUp() {
        Program program;
        const FormSet& forms = Forms();
        const QList<QWidget*> windows{forms.Form1,    forms.AboutBox,    forms.dateiinhalt_ansehen,
                                      forms.Brennbox, forms.AuslesenDlg, forms.Dateiauswahl,
                                      forms.memloesch};
        for (QWidget* window : windows) {
            QVERIFY(window);
            QVERIFY(!window->isVisible());
            QVERIFY(!window->windowIcon().isNull());
        }
        QVERIFY(!program.form()->startedUp());
        program.start();
        QVERIFY(program.form()->startedUp());
        QCOMPARE(program.form()->windowTitle(), Utf8("Varnok – Simulator"));
    }

    void firstStartValues() {
        Program program;
        program.start();
        TForm1* form = program.form();
        const SharedState& s = Shared();
        QVERIFY(s.LanguageGerman);
        QCOMPARE(s.ChipType, Chip::AT89C2051);
        QCOMPARE(form->ChipCapacity(), 2048);
        QCOMPARE(s.DataPort, std::uint16_t(0x378));
        QCOMPARE(s.StatusPort, std::uint16_t(0x379));
        QCOMPARE(s.ControlPort, std::uint16_t(0x37A));
        QCOMPARE(s.PrinterNumber, std::uint16_t(0));
        QVERIFY(s.LockBitOption);
        QVERIFY(Forms().Brennbox->CheckBox1->isChecked());
        QCOMPARE(QString::fromStdString(s.StartDirectory), program.dir.path());
        QCOMPARE(QString::fromStdString(s.HelpFileName), program.dir.path() + "/Varnok.hlp");
        QVERIFY(!s.ImageFileBound);
        QCOMPARE(form->Label1->text(), Utf8("ATMEL-programming"));
        QCOMPARE(form->Label2->text(), form->Label1->text());
        QCOMPARE(form->Label2->pos() - form->Label1->pos(), QPoint(2, 2));
        // Start-up writes the idle state to the port and gives the port back.
        QVERIFY(!PortSession::IsOpen());
    }

    void menuBar_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shortcut");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("checked");
        auto row = [](const char* item, const char* caption, const char* shortcut, bool enabled,
                      bool checked) {
            QTest::newRow(item) << QString::fromLatin1(item) << Utf8(caption)
                                << QString::fromLatin1(shortcut) << enabled << checked;
        };
        row("Datei1", "Da&tei", "", true, false);
        row("Dateiauswahl1", "Datei&auswahl", "", true, false);
        row("Inhaltansehen3", "Datei&inhalt ansehen", "", false, false);
        row("Exit3", "Exit", "", true, false);
        row("Processor1", "&Prozessor", "", true, false);
        row("AT89C10511", "AT89C&1051", "", true, false);
        row("AT89C20511", "AT89C&2051", "", true, true);
        row("AT89C40511", "AT89C&4051", "", true, false);
        row("Brennen1", "&Brennen", "", false, false);
        row("Auslesen1", "&Auslesen", "", true, false);
        row("Nurlschen1", "Speic&her löschen", "", true, false);
        row("Sprache1", "S&prache", "", true, false);
        row("Deutsch1", "&Deutsch", "", true, true);
        row("English1", "&English", "", true, false);
        row("Hardware1", "&Hardware", "", true, false);
        row("LPT11", "LPT 1 (  378H )", "", true, true);
        row("LPT21", "LPT 2 (  278H )", "", true, false);
        row("LPT31", "LPT 3 ( 3BCH )", "", true, false);
        row("LPT41", "LPT 4 ( 2BCH )", "", true, false);
        row("Exit1", "E&xit", "Ctrl+F4", true, false);
        row("Info1", "&Info", "", true, false);
        row("Exit2", "?", "Ctrl+Z", true, false);
    }
    void menuBar() {
        QFETCH(QString, item);
        QFETCH(QString, caption);
        QFETCH(QString, shortcut);
        QFETCH(bool, enabled);
        QFETCH(bool, checked);
        Program program;
        program.start();
        QAction* action = nullptr;
        for (QAction* candidate : program.form()->findChildren<QAction*>(item))
            if (!action || candidate->menu()) action = candidate;
        QVERIFY2(action, qPrintable(item));
        QCOMPARE(action->text(), caption);
        QCOMPARE(action->shortcut().toString(), shortcut);
        QCOMPARE(action->isEnabled(), enabled);
        QCOMPARE(action->isChecked(), checked);
    }

    void menuBarOrderAndItemsThatActThemselves() {
        Program program;
        program.start();
        TForm1* form = program.form();
        const QList<QAction*> bar = form->MainMenu1->actions();
        QCOMPARE(bar.size(), 7);
        QCOMPARE(bar[0]->menu(), form->Datei1);
        QCOMPARE(bar[1]->menu(), form->Processor1);
        QCOMPARE(bar[2]->menu(), form->Sprache1);
        QCOMPARE(bar[3]->menu(), form->Hardware1);
        QCOMPARE(bar[4], form->Exit1);
        QCOMPARE(bar[5], form->Info1);
        QCOMPARE(bar[6], form->Exit2);
        for (QAction* own : {form->Exit1, form->Info1, form->Exit2}) QVERIFY(!own->menu());
        QCOMPARE(form->Processor1->actions().size(), 7);  // three chips, separator, three runs
        QVERIFY(form->Processor1->actions()[3]->isSeparator());
        QVERIFY(form->Datei1->actions()[2]->isSeparator());
    }

    void chipItemsSetTheirOwnCheckMarks_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<int>("chip");
        QTest::addColumn<int>("capacity");
        QTest::newRow("1051") << "AT89C10511" << int(Chip::AT89C1051) << 1024;
        QTest::newRow("2051") << "AT89C20511" << int(Chip::AT89C2051) << 2048;
        QTest::newRow("4051") << "AT89C40511" << int(Chip::AT89C4051) << 4096;
    }
    void chipItemsSetTheirOwnCheckMarks() {
        QFETCH(QString, item);
        QFETCH(int, chip);
        QFETCH(int, capacity);
        Program program;
        program.start();
        TForm1* form = program.form();
        QAction* action = form->findChild<QAction*>(item);
        // Twice: clicking a ticked item keeps its tick, as no toggle is involved.
        action->trigger();
        action->trigger();
        for (QAction* other : {form->AT89C10511, form->AT89C20511, form->AT89C40511})
            QCOMPARE(other->isChecked(), other == action);
        QCOMPARE(int(Shared().ChipType), chip);
        QCOMPARE(form->ChipCapacity(), capacity);
        QCOMPARE(Shared().capacity(), capacity);
        // No port is touched by a chip choice.
        QVERIFY(!PortSession::IsOpen());
        // With two ticks (never made by the menu) AT89C4051 wins.
        form->AT89C40511->setChecked(true);
        form->AT89C20511->setChecked(true);
        QCOMPARE(form->ChipCapacity(), 4096);
    }

    void portItems_data() {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("data");
        QTest::addColumn<int>("printer");
        QTest::newRow("LPT1") << 1 << 0x378 << 0;
        QTest::newRow("LPT2") << 2 << 0x278 << 1;
        QTest::newRow("LPT3") << 3 << 0x3BC << 2;
        QTest::newRow("LPT4") << 4 << 0x2BC << 3;
    }
    void portItems() {
        QFETCH(int, n);
        QFETCH(int, data);
        QFETCH(int, printer);
        Program program;
        program.start();
        TForm1* form = program.form();
        const QList<QAction*> items{form->LPT11, form->LPT21, form->LPT31, form->LPT41};
        items[n - 1]->trigger();
        items[n - 1]->trigger();
        for (int i = 0; i < 4; ++i) QCOMPARE(items[i]->isChecked(), i == n - 1);
        QCOMPARE(int(Shared().DataPort), data);
        QCOMPARE(int(Shared().StatusPort), data + 1);
        QCOMPARE(int(Shared().ControlPort), data + 2);
        QCOMPARE(int(Shared().PrinterNumber), printer);
        QVERIFY(!PortSession::IsOpen());
    }

    void imageItemsComeAliveWhenAFileIsAccepted() {
        Program program;
        program.start();
        TForm1* form = program.form();
        QVERIFY(!form->Brennen1->isEnabled());
        emit Forms().Dateiauswahl->imageFileAccepted();
        QVERIFY(form->Brennen1->isEnabled());
        QVERIFY(form->Inhaltansehen3->isEnabled());
    }

    void aboutBoxIsModelessAndEnterClosesIt() {
        Program program;
        program.start();
        TAboutBox* about = Forms().AboutBox;
        program.form()->Info1->trigger();
        Settle();
        QVERIFY(about->isVisible());
        QVERIFY(!about->isModal());
        QCOMPARE(about->windowTitle(), Utf8("Information"));
        QCOMPARE(about->OKButton->text(), Utf8("&Schließen"));
        QCOMPARE(about->focusWidget(), about->OKButton);
        // The menus stay usable beside it.
        program.form()->AT89C40511->trigger();
        QVERIFY(program.form()->AT89C40511->isChecked());
        Press(about, Qt::Key_Return);
        QVERIFY(!about->isVisible());
        program.form()->Info1->trigger();
        QVERIFY(about->isVisible());
        about->OKButton->click();
        QVERIFY(!about->isVisible());
    }

    void helpItemAndItsShortcut() {
        Program program;
        program.start();
        HelpLog help;
        program.form()->Exit2->trigger();
        QCOMPARE(help.requests.size(), std::size_t(1));
        QCOMPARE(help.requests[0].second, 110);
        program.form()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(program.form()));
        QTest::keyClick(program.form(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(help.requests.size(), std::size_t(2));
        QCOMPARE(help.requests[1].second, 110);
    }

    void closeSequenceOnEveryPath_data() {
        QTest::addColumn<int>("path");
        QTest::newRow("close box") << 0;
        QTest::newRow("Exit1 with Ctrl+F4") << 1;
        QTest::newRow("Exit3") << 2;
    }
    void closeSequenceOnEveryPath() {
        QFETCH(int, path);
        Program program({}, true);
        program.start();
        TForm1* form = program.form();
        QSignalSpy ended(form, &TForm1::programEnded);
        form->Info1->trigger();
        if (path == 0) form->close();
        if (path == 1) {
            form->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(form));
            QTest::keyClick(form, Qt::Key_F4, Qt::ControlModifier);
        }
        if (path == 2) form->Exit3->trigger();
        QCOMPARE(ended.count(), 1);
        QVERIFY(!form->isVisible());
        QVERIFY(!PortSession::IsOpen());
        // The trace: the idle state written at start-up and again at close.
        const QStringList writes = TraceWrites(program.tracePath);
        QVERIFY(writes.size() >= 4);
        QCOMPARE(writes.mid(0, 2), (QStringList{"378 00", "37A FF"}));
        QCOMPARE(writes.mid(writes.size() - 2), (QStringList{"378 00", "37A FF"}));
    }

    void realPortThatCannotBeOpenedIsReportedWhenNeeded() {
        Program program;
        // No parallel port on this machine at 278h: the kernel has none there.
        program.args = BackendArgs{};
        program.args.port = "lpt2";
        PortSession::Configure(program.args, true);
        MessageLog log;
        program.start();
        QVERIFY(log.messages.empty());  // start-up tells nobody
        QVERIFY(program.form()->LPT21->isChecked());
        QCOMPARE(program.form()->windowTitle(), Utf8("Varnok"));
        TAuslesenDlg* readout = Forms().AuslesenDlg;
        readout->show();
        Settle();
        QCOMPARE(log.messages.size(), std::size_t(1));
        QVERIFY(log.messages[0].text.contains(QStringLiteral("278")));
        readout->StartBTN->click();
        QCOMPARE(log.messages.size(), std::size_t(2));
        QCOMPARE(readout->ListBox1->count(), 0);
        QVERIFY(!QFile::exists(program.file(QStringLiteral("output.tmp"))));
        readout->reject();
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("runs");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("nothing") << QStringList{} << true << 0;
        QTest::newRow("simulator")
            << QStringList{"--port",      "sim",     "--sim-time",  "virtual",
                           "--sim-fault", "no-chip", "--sim-fault", "bad-cell=0x10"}
            << true << 0;
        QTest::newRow("help") << QStringList{"--help"} << false << 0;
        QTest::newRow("bad clock")
            << QStringList{"--port", "sim", "--sim-time", "slow"} << false << 1;
        QTest::newRow("fault needs the simulator")
            << QStringList{"--sim-fault", "no-chip"} << false << 1;
        QTest::newRow("bad fault")
            << QStringList{"--port", "sim", "--sim-fault", "melted"} << false << 1;
        QTest::newRow("bad port") << QStringList{"--port", "lpt9"} << false << 1;
        QTest::newRow("stray argument") << QStringList{"image.bin"} << false << 1;
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, runs);
        QFETCH(int, exitCode);
        const CommandLineResult result = ParseCommandLine(QStringList{"varnok"} + arguments);
        QCOMPARE(result.options.has_value(), runs);
        QCOMPARE(result.exitCode, exitCode);
        if (!runs) QVERIFY(!result.output.isEmpty());
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
