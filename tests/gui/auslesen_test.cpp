// The read-out dialog on the simulator: activation, the listing of each chip
// size, the scratch file, saving, closing and its keys.
#include <sys/resource.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <csignal>

#include "app/gauge.h"
#include "chip/auslesen_dialog.h"
#include "tests/gui/gui_support.h"

using namespace varnok;
using namespace varnok::guitest;

class AuslesenTest : public QObject {
    Q_OBJECT

private:
    TAuslesenDlg* dialog() const { return Forms().AuslesenDlg; }
    void open() {
        dialog()->show();
        Settle();
    }
    QStringList listing() const {
        QStringList lines;
        for (int i = 0; i < dialog()->ListBox1->count(); ++i)
            lines << dialog()->ListBox1->item(i)->text();
        return lines;
    }
    QString scratch(const Program& program) const {
        return program.file(QStringLiteral("output.tmp"));
    }

private slots:
    void readsEveryChipSize_data() {
        QTest::addColumn<int>("chip");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("rest");
        QTest::newRow("AT89C1051") << int(Chip::AT89C1051) << 1024 << 21 << 4;
        QTest::newRow("AT89C2051") << int(Chip::AT89C2051) << 2048 << 41 << 8;
        QTest::newRow("AT89C4051") << int(Chip::AT89C4051) << 4096 << 81 << 16;
        QTest::newRow("no chip chosen") << int(Chip::None) << 1024 << 21 << 4;
    }
    void readsEveryChipSize() {
        QFETCH(int, chip);
        QFETCH(int, capacity);
        QFETCH(int, lines);
        QFETCH(int, rest);
        Program program;
        program.start();
        const Chip model = chip == int(Chip::None) ? Chip::AT89C1051 : static_cast<Chip>(chip);
        const QString chipFile = program.file(QStringLiteral("socket.chip"));
        const QByteArray contents = Pattern(capacity, 11);
        LoadChip(chipFile, model, contents);
        program.useChip(static_cast<Chip>(chip), QStringLiteral("socket.chip"));
        MessageLog log;
        open();
        QVERIFY(PinsIdle(OpenSimulator()->pins()));
        dialog()->StartBTN->click();

        QVERIFY(log.messages.empty());
        const QStringList shown = listing();
        QCOMPARE(shown.size(), lines);
        for (int i = 0; i < lines - 1; ++i) QCOMPARE(shown[i].size(), 51);
        QCOMPARE(shown.last().size(), rest);
        QCOMPARE(ReadBytes(scratch(program)), contents);
        QCOMPARE(dialog()->Gauge1->percentDone(), 100);
        QVERIFY(dialog()->speicher_btn->isEnabled());
        QVERIFY(dialog()->StartBTN->isEnabled());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        // The run ends in read mode; only the close puts the adapter idle.
        const sim::PinSnapshot pins = OpenSimulator()->pins();
        QVERIFY(pins.rstHigh && !pins.vpp12V && !pins.dataOutputsEnabled);
        QCOMPARE(pins.controlLatch, std::uint8_t(0x92));

        dialog()->reject();
        QVERIFY(!QFile::exists(scratch(program)));
        QVERIFY(!PortSession::IsOpen());
    }

    void listingCharacters() {
        Program program;
        program.start();
        QByteArray contents("\x20\x80\x1F\x81\x41\x7F\x00\xFF", 8);
        LoadChip(program.chipPath, Chip::AT89C2051, contents);
        open();
        dialog()->StartBTN->click();
        QCOMPARE(listing().first().left(8), QString::fromUtf8(" €..A\x7F.."));
        // An erased chip lists full stops only.
        QCOMPARE(listing().at(1), QString(51, QLatin1Char('.')));
        dialog()->reject();
    }

    void secondRunReplacesListingAndScratch() {
        Program program;
        program.start();
        LoadChip(program.chipPath, Chip::AT89C2051, Pattern(2048, 1));
        open();
        dialog()->StartBTN->click();
        const QStringList first = listing();
        dialog()->reject();
        LoadChip(program.chipPath, Chip::AT89C2051, Pattern(2048, 2));
        open();
        QVERIFY(listing().isEmpty());
        QVERIFY(!dialog()->speicher_btn->isEnabled());
        dialog()->StartBTN->click();
        QCOMPARE(listing().size(), 41);
        QVERIFY(listing() != first);
        dialog()->StartBTN->click();
        QCOMPARE(listing().size(), 41);
        QCOMPARE(ReadBytes(scratch(program)), Pattern(2048, 2));
        dialog()->reject();
    }

    void saveThroughTheSaveDialog() {
        Program program;
        program.start();
        const QByteArray contents = Pattern(2048, 5);
        LoadChip(program.chipPath, Chip::AT89C2051, contents);
        MessageLog log;
        open();
        dialog()->StartBTN->click();
        QFileDialog* save = dialog()->SaveDialog1;
        QVERIFY(save->nameFilters().first().contains(QStringLiteral("*.bin")));

        // Cancelled: nothing happens.
        DuringNextEvents([save] { save->reject(); });
        dialog()->speicher_btn->click();
        QVERIFY(log.messages.empty());

        // A name typed without an extension gets ".bin".
        QDir(program.dir.path()).mkdir(QStringLiteral("elsewhere"));
        const QString target = program.file(QStringLiteral("elsewhere/copy"));
        DuringNextEvents([save, target] {
            save->setDirectory(QFileInfo(target).path());
            // Typed into the name field, as a user does.
            save->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
                ->setText(QFileInfo(target).fileName());
            static_cast<QDialog*>(save)->accept();
        });
        dialog()->speicher_btn->click();
        QVERIFY(log.messages.empty());
        QCOMPARE(ReadBytes(target + QStringLiteral(".bin")), contents);
        // A save changes nothing in the dialog.
        QVERIFY(dialog()->speicher_btn->isEnabled());
        QCOMPARE(listing().size(), 41);
        QCOMPARE(ReadBytes(scratch(program)), contents);
        dialog()->reject();
    }

    void failedSaves() {
        Program program;
        program.start();
        const QByteArray contents = Pattern(2048, 6);
        LoadChip(program.chipPath, Chip::AT89C2051, contents);
        MessageLog log;
        open();
        dialog()->StartBTN->click();

        // A full disk, and a directory where the file should go.
        QVERIFY(!dialog()->SaveScratchTo(QStringLiteral("/dev/full")));
        QVERIFY(!dialog()->SaveScratchTo(program.dir.path()));
        QCOMPARE(log.texts(), (QStringList{Utf8("Speichern leider fehlgeschlagen"),
                                           Utf8("Speichern leider fehlgeschlagen")}));
        QCOMPARE(log.messages[0].kind, MessageKind::Error);
        log.clear();

        // Onto the scratch file itself, by any name: the read-out survives.
        QFile::link(scratch(program), program.file(QStringLiteral("alias.bin")));
        Shared().LanguageGerman = false;
        QVERIFY(!dialog()->SaveScratchTo(scratch(program)));
        QVERIFY(!dialog()->SaveScratchTo(program.file(QStringLiteral("alias.bin"))));
        QCOMPARE(log.messages.size(), std::size_t(2));
        QCOMPARE(ReadBytes(scratch(program)), contents);
        log.clear();

        // Removed by another program.
        QFile::remove(scratch(program));
        const QString target = program.file(QStringLiteral("copy.bin"));
        QVERIFY(!dialog()->SaveScratchTo(target));
        QCOMPARE(
            log.texts(),
            QStringList{Utf8("Sorry, file save not possible because\rfile OUTPUT.TMP not found")});
        QVERIFY(!QFile::exists(target));
        // The failed saves leave the listing as it was.
        QCOMPARE(listing().size(), 41);
        dialog()->reject();
    }

    void scratchThatCannotBeCreatedStopsBeforeAnything() {
        Program program;
        program.start();
        MessageLog log;
        open();
        dialog()->StartBTN->click();
        dialog()->reject();
        open();
        dialog()->StartBTN->click();
        QFile::remove(scratch(program));
        QVERIFY(QDir(program.dir.path()).mkdir(QStringLiteral("output.tmp")));
        log.clear();
        dialog()->StartBTN->click();
        QCOMPARE(log.messages.size(), std::size_t(1));
        QCOMPARE(log.messages[0].kind, MessageKind::Error);
        QVERIFY(log.messages[0].text.contains(QStringLiteral("output.tmp")));
        QCOMPARE(listing().size(), 41);
        QVERIFY(dialog()->StartBTN->isEnabled());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        dialog()->reject();
        QVERIFY(QFileInfo(scratch(program)).isDir());  // not ours to delete
    }

    void writeFailureInTheMiddleOfARun() {
        Program program;
        program.start();
        MessageLog log;
        open();
        dialog()->StartBTN->click();
        QVERIFY(dialog()->speicher_btn->isEnabled());

        // The scratch file may not grow past 1000 bytes this time.
        struct rlimit saved;
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 1000;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        dialog()->StartBTN->click();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, oldHandler);

        QCOMPARE(log.messages.size(), std::size_t(1));
        QCOMPARE(log.messages[0].kind, MessageKind::Error);
        // A cut-short read-out is nothing to save as if it were the chip.
        QVERIFY(!dialog()->speicher_btn->isEnabled());
        QVERIFY(dialog()->StartBTN->isEnabled());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QVERIFY(PinsIdle(OpenSimulator()->pins()));
        dialog()->reject();
        QVERIFY(!QFile::exists(scratch(program)));
    }

    void enterDuringAndAfterARunStartedFromTheStartButton() {
        Program program;
        program.start();
        MessageLog log;
        open();
        // Where a click on it leaves the focus.
        dialog()->StartBTN->setFocus();
        DuringNextEvents([this] { Press(dialog(), Qt::Key_Return); });
        dialog()->StartBTN->click();
        // The Enter during the run neither closed the dialog nor lost the read-out.
        QVERIFY(dialog()->isVisible());
        QVERIFY(QFile::exists(scratch(program)));
        QCOMPARE(dialog()->focusWidget(), dialog()->StartBTN);
        // Afterwards Enter reads again, as the default button would.
        dialog()->ListBox1->clear();
        Press(dialog(), Qt::Key_Return);
        QVERIFY(dialog()->isVisible());
        QCOMPARE(listing().size(), 41);
        QVERIFY(log.messages.empty());
        dialog()->reject();
    }

    void closingDeletesTheScratchFileEvenUnsaved() {
        Program program;
        program.start();
        open();
        dialog()->StartBTN->click();
        QVERIFY(QFile::exists(scratch(program)));
        // The working directory moving on does not lose track of it.
        QDir::setCurrent(QDir::tempPath());
        Press(dialog(), Qt::Key_Escape);
        QVERIFY(!dialog()->isVisible());
        QVERIFY(!QFile::exists(scratch(program)));
        QVERIFY(!PortSession::IsOpen());
    }

    void tabOrderRunsThroughThePanelFirst() {
        Program program;
        program.start();
        open();
        dialog()->StartBTN->click();
        dialog()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog()));
        dialog()->ListBox1->setFocus();
        const QList<QWidget*> order{dialog()->StartBTN, dialog()->OKBtn, dialog()->speicher_btn,
                                    dialog()->HelpBtn, dialog()->ListBox1};
        for (QWidget* next : order) {
            Press(dialog(), Qt::Key_Tab);
            QCOMPARE(dialog()->focusWidget(), next);
        }
        dialog()->reject();
    }

    void keys() {
        Program program;
        program.start();
        MessageLog log;
        HelpLog help;
        // First opening: the focus is on the close button, so Enter closes.
        open();
        Press(dialog(), Qt::Key_Return);
        QVERIFY(!dialog()->isVisible());
        QVERIFY(log.messages.empty());

        open();
        Press(dialog(), Qt::Key_F1);
        QCOMPARE(help.requests.size(), std::size_t(1));
        QCOMPARE(help.requests[0].second, 105);

        // Enter outside the buttons starts a read-out.
        dialog()->ListBox1->setFocus();
        Press(dialog(), Qt::Key_Enter);
        QCOMPARE(listing().size(), 41);
        QVERIFY(dialog()->isVisible());
        // Shift+Enter is not the dialog's.
        dialog()->ListBox1->clear();
        Press(dialog(), Qt::Key_Return, Qt::ShiftModifier);
        QVERIFY(listing().isEmpty());

        // The focus comes back where it was at the close.
        dialog()->HelpBtn->setFocus();
        Press(dialog(), Qt::Key_Escape);
        QVERIFY(!dialog()->isVisible());
        open();
        QCOMPARE(dialog()->focusWidget(), dialog()->HelpBtn);
        dialog()->reject();
    }
};

QTEST_MAIN(AuslesenTest)
#include "auslesen_test.moc"
