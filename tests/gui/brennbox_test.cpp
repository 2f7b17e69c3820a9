// The programming dialog on the simulator: activation, keys, the run and its
// failures, and a programmed image read back by varnok-cli.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "adapter/port_backend.h"
#include "app/gauge.h"
#include "app/run_guard.h"
#include "chip/auslesen_dialog.h"
#include "chip/brennbox_dialog.h"
#include "chip/memloesch_dialog.h"
#include "tests/gui/gui_support.h"

using namespace varnok;
using namespace varnok::guitest;

class BrennboxTest : public QObject {
    Q_OBJECT

private:
    TBrennbox* dialog() const { return Forms().Brennbox; }
    void open() {
        dialog()->show();
        Settle();
    }

private slots:
    void activationShowsTheFileAndPutsTheAdapterIdle() {
        Program program;
        program.start();
        MessageLog log;
        const QString image = program.bindImage(Pattern(300), QStringLiteral("blink.bin"));
        dialog()->Gauge1->setProgress(50);
        open();

        QVERIFY(log.messages.empty());
        QCOMPARE(dialog()->windowTitle(), Utf8("Mikrocontroller brennen"));
        QCOMPARE(dialog()->Label1->text(), Utf8("Datei: ") + image);
        QCOMPARE(dialog()->Label2->text(), Utf8("Größe: 300 Byte"));
        QVERIFY(dialog()->status->text().isEmpty());
        QCOMPARE(dialog()->Gauge1->progress(), 0);
        QVERIFY(dialog()->OKButton->isEnabled());
        QVERIFY(dialog()->OKButton->isDefault());
        QCOMPARE(dialog()->focusWidget(), dialog()->OKButton);
        QVERIFY(PortSession::IsOpen());
        QVERIFY(PinsIdle(OpenSimulator()->pins()));
        dialog()->reject();
        QVERIFY(!PortSession::IsOpen());
    }

    void activationChecksTheFile_data() {
        QTest::addColumn<int>("chip");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("german");
        QTest::addColumn<QString>("warning");
        const QString de = Utf8("Datei ist größer als der Speicherbereich des Mikrocontrollers!");
        const QString en =
            Utf8("Size of selected file is larger\rthan the capacity of processor memory!");
        QTest::newRow("2051, exactly full") << int(Chip::AT89C2051) << 2048 << true << QString();
        QTest::newRow("2051, one byte over") << int(Chip::AT89C2051) << 2049 << true << de;
        QTest::newRow("1051, one byte over, English")
            << int(Chip::AT89C1051) << 1025 << false << en;
        QTest::newRow("4051 takes 1025") << int(Chip::AT89C4051) << 1025 << true << QString();
        QTest::newRow("no chip counts as 1024") << int(Chip::None) << 1025 << true << de;
    }
    void activationChecksTheFile() {
        QFETCH(int, chip);
        QFETCH(int, size);
        QFETCH(bool, german);
        QFETCH(QString, warning);
        Program program;
        program.start();
        program.form()->SelectChip(static_cast<Chip>(chip));
        Shared().LanguageGerman = german;
        MessageLog log;
        program.bindImage(Pattern(size));
        open();
        if (warning.isEmpty()) {
            QVERIFY(log.messages.empty());
        } else {
            QCOMPARE(log.messages.size(), std::size_t(1));
            QCOMPARE(log.messages[0].kind, MessageKind::Warning);
            QCOMPARE(log.messages[0].text, warning);
        }
        QVERIFY(dialog()->OKButton->isEnabled());  // a warning only
        QCOMPARE(dialog()->Label2->text(),
                 (german ? Utf8("Größe: ") : Utf8("Size: ")) + QString::number(size) + " Byte");
        dialog()->reject();
    }

    void unreadableFileDisablesStartAndKeepsTheLabels() {
        Program program;
        program.start();
        MessageLog log;
        const QString image = program.bindImage(Pattern(10), QStringLiteral("gone.bin"));
        open();
        const QString fileLabel = dialog()->Label1->text();
        dialog()->reject();

        QFile::remove(image);
        Shared().LanguageGerman = false;
        open();
        QCOMPARE(log.texts(), QStringList{Utf8("Selected file can not be read!")});
        QCOMPARE(log.messages[0].kind, MessageKind::Error);
        QVERIFY(!dialog()->OKButton->isEnabled());
        QCOMPARE(dialog()->Label1->text(), fileLabel);
        QCOMPARE(dialog()->windowTitle(), Utf8("Programming chip"));
        // Enter on the default button starts nothing while Start is disabled.
        Press(dialog(), Qt::Key_Return);
        QCOMPARE(log.messages.size(), std::size_t(1));
        dialog()->reject();

        // The file is back: the next opening has Start enabled and focused again.
        WriteBytes(image, Pattern(10));
        open();
        QCOMPARE(log.messages.size(), std::size_t(1));
        QVERIFY(dialog()->OKButton->isEnabled());
        QCOMPARE(dialog()->focusWidget(), dialog()->OKButton);
        dialog()->reject();
    }

    void startTypedAheadOfTheActivationWaitsForTheFileCheck() {
        Program program;
        program.start();
        LoadChip(program.chipPath, Chip::AT89C2051, QByteArray(2048, '\x33'));
        MessageLog log;
        const QString image = program.bindImage(Pattern(10));
        QFile::remove(image);
        // Enter reaches the dialog before its activation has had its turn.
        dialog()->show();
        Press(dialog(), Qt::Key_Return);
        Settle();
        QCOMPARE(log.texts(), QStringList{Utf8("Datei kann nicht gelesen werden!")});
        QVERIFY(!dialog()->OKButton->isEnabled());
        dialog()->reject();
        QCOMPARE(ChipFlash(program.chipPath, Chip::AT89C2051), QByteArray(2048, '\x33'));
    }

    void portFaultAtActivationIsNotBlamedOnTheFile() {
        Program program;
        program.start();
        MessageLog log;
        program.bindImage(Pattern(30));
        // Every port access fails from here on, as on a port that has gone away.
        volatile std::sig_atomic_t portGone = 1;
        WatchInterruptFlag(&portGone);
        open();
        WatchInterruptFlag(nullptr);
        QCOMPARE(log.messages.size(), std::size_t(1));
        QCOMPARE(log.messages[0].kind, MessageKind::Error);
        QVERIFY(!log.texts().contains(Utf8("Datei kann nicht gelesen werden!")));
        QCOMPARE(dialog()->Label2->text(), Utf8("Größe: 30 Byte"));
        QVERIFY(dialog()->OKButton->isEnabled());
        dialog()->reject();
    }

    void runProgramsVerifiesAndSetsTheLockBits() {
        Program program;
        program.start();
        MessageLog log;
        QStringList statuses;
        const QByteArray bytes = Pattern(700);
        program.bindImage(bytes);
        open();
        bool cursorNormalAtMessage = false;
        log.onMessage = [&](const Message&) {
            cursorNormalAtMessage = QApplication::overrideCursor() == nullptr;
        };
        // The status line is looked at whenever the run lets events through.
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            const QString text = dialog()->status->text();
            if (!text.isEmpty() && (statuses.isEmpty() || statuses.last() != text))
                statuses << text;
        });
        poll.start(0);
        dialog()->OKButton->click();
        poll.stop();

        QCOMPARE(log.texts(), QStringList{Utf8("Programmierung erfolgreich!")});
        QCOMPARE(log.messages[0].kind, MessageKind::Information);
        QVERIFY(cursorNormalAtMessage);
        QCOMPARE(statuses,
                 (QStringList{Utf8("Chip initialisieren"), Utf8("Speicher löschen"),
                              Utf8("Start programmierung"), Utf8("Lockbit einarbeiten")}));
        QVERIFY(dialog()->status->text().isEmpty());
        QCOMPARE(dialog()->bytesDone(), 700);
        QCOMPARE(dialog()->Gauge1->percentDone(), 100);
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QVERIFY(PinsIdle(OpenSimulator()->pins()));
        dialog()->reject();

        const auto chip = ChipFile(program.chipPath, Chip::AT89C2051)->chip();
        QCOMPARE(Flash(chip).left(700), bytes);
        QVERIFY(chip.lockBit1);
        QVERIFY(chip.lockBit2);
    }

    void edgeFiles_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("lock");
        QTest::addColumn<int>("programmed");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("english");
        QTest::newRow("empty file, lock bits") << 0 << true << 0 << 0 << QString();
        QTest::newRow("larger than the chip") << 2100 << false << 2048 << 97 << QString();
        QTest::newRow("exactly the chip, English")
            << 2048 << false << 2048 << 100 << Utf8("Programming complette!");
    }
    void edgeFiles() {
        QFETCH(int, size);
        QFETCH(bool, lock);
        QFETCH(int, programmed);
        QFETCH(int, percent);
        QFETCH(QString, english);
        Program program;
        program.start();
        LoadChip(program.chipPath, Chip::AT89C2051, QByteArray(2048, '\x5A'));
        if (!english.isEmpty()) Shared().LanguageGerman = false;
        MessageLog log;
        const QByteArray bytes = Pattern(size, 7);
        program.bindImage(bytes);
        dialog()->CheckBox1->setChecked(lock);
        open();
        log.clear();
        dialog()->OKButton->click();
        QCOMPARE(log.texts(),
                 QStringList{english.isEmpty() ? Utf8("Programmierung erfolgreich!") : english});
        QCOMPARE(dialog()->bytesDone(), programmed);
        QCOMPARE(dialog()->Gauge1->percentDone(), percent);
        dialog()->reject();

        const auto chip = ChipFile(program.chipPath, Chip::AT89C2051)->chip();
        QByteArray expected = bytes.left(2048);
        expected.append(QByteArray(2048 - expected.size(), '\xFF'));  // erased first
        QCOMPARE(Flash(chip), expected);
        QCOMPARE(chip.lockBit1, lock);
        QCOMPARE(chip.lockBit2, lock);
    }

    void linkFailureAtTheFirstByte() {
        // P1.0 always reads 1: the first byte, 00h, does not come back.
        Program program({QStringLiteral("stuck-p1=0:1")});
        program.start();
        LoadChip(program.chipPath, Chip::AT89C2051, QByteArray(16, '\x11'));
        MessageLog log;
        program.bindImage(QByteArray(64, '\0'));
        open();
        bool voltageOn = false;
        bool cursorNormal = false;
        log.onMessage = [&](const Message&) {
            voltageOn = OpenSimulator()->pins().vpp12V;
            cursorNormal = QApplication::overrideCursor() == nullptr;
        };
        dialog()->OKButton->click();
        QCOMPARE(log.texts(), QStringList{Utf8("Anschlußleitung zum Programmiergerät defekt!")});
        QCOMPARE(log.messages[0].kind, MessageKind::Error);
        QVERIFY(voltageOn);
        QVERIFY(cursorNormal);
        QVERIFY(PinsIdle(OpenSimulator()->pins()));
        QCOMPARE(dialog()->bytesDone(), 0);
        QVERIFY(dialog()->status->text().isEmpty());
        dialog()->reject();
        const auto chip = ChipFile(program.chipPath, Chip::AT89C2051)->chip();
        QCOMPARE(Flash(chip), QByteArray(2048, '\xFF'));
        QVERIFY(!chip.lockBit1);
    }

    void verifyFailureStopsAtTheBadCell() {
        Program program({QStringLiteral("bad-cell=0x10")});
        program.start();
        Shared().LanguageGerman = false;
        MessageLog log;
        program.bindImage(QByteArray(32, '\x42'));
        open();
        bool voltageOff = false;
        log.onMessage = [&](const Message&) { voltageOff = !OpenSimulator()->pins().vpp12V; };
        dialog()->OKButton->click();
        QCOMPARE(log.texts(), QStringList{Utf8("The microcontroller cannot be programmed!")});
        QVERIFY(voltageOff);
        QCOMPARE(dialog()->bytesDone(), 16);
        QCOMPARE(dialog()->Gauge1->progress(), 17);
        QVERIFY(PinsIdle(OpenSimulator()->pins()));
        dialog()->reject();
        const auto chip = ChipFile(program.chipPath, Chip::AT89C2051)->chip();
        QVERIFY(!chip.lockBit1 && !chip.lockBit2);
    }

    void imageVanishedDuringTheRunIsAGeneralError() {
        Program program;
        program.start();
        MessageLog log;
        const QString image = program.bindImage(Pattern(100));
        open();
        // Gone by the time the run opens it again, after the erase.
        DuringNextEvents([&] { QFile::remove(image); });
        dialog()->OKButton->click();
        QCOMPARE(log.messages.size(), std::size_t(1));
        QCOMPARE(log.messages[0].kind, MessageKind::Error);
        QVERIFY(log.messages[0].text.contains(QStringLiteral("image.bin")));
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QVERIFY(PinsIdle(OpenSimulator()->pins()));
        QVERIFY(!RunInProgress());
        dialog()->reject();
    }

    void keys() {
        Program program;
        program.start();
        MessageLog log;
        HelpLog help;
        program.bindImage(Pattern(20));
        dialog()->CheckBox1->setChecked(false);
        open();
        Press(dialog(), Qt::Key_F1);
        QCOMPARE(help.requests.size(), std::size_t(1));
        QCOMPARE(help.requests[0].second, 104);
        QVERIFY(dialog()->isVisible());

        // Enter presses Start, the default button, also from the check box.
        dialog()->CheckBox1->setFocus();
        Press(dialog(), Qt::Key_Return);
        QCOMPARE(log.texts(), QStringList{Utf8("Programmierung erfolgreich!")});

        // The Escape or F1 that dismissed one of the dialog's message boxes
        // arrives here as a release alone; it is not meant for the dialog.
        QTest::keyRelease(dialog()->focusWidget(), Qt::Key_Escape);
        QTest::keyRelease(dialog()->focusWidget(), Qt::Key_F1);
        QVERIFY(dialog()->isVisible());
        QCOMPARE(help.requests.size(), std::size_t(1));

        Press(dialog(), Qt::Key_Escape);
        QVERIFY(!dialog()->isVisible());
        QVERIFY(!PortSession::IsOpen());
    }

    void portThatCannotBeOpenedStartsNoRun() {
        Program program;
        program.start();
        MessageLog log;
        program.bindImage(Pattern(20));
        // Someone else holds the simulated chip.
        auto holder = ChipFile(program.chipPath, Chip::AT89C2051);
        open();
        QCOMPARE(log.messages.size(), std::size_t(1));
        QCOMPARE(log.messages[0].kind, MessageKind::Error);
        QVERIFY(!PortSession::IsOpen());
        log.clear();
        dialog()->OKButton->click();
        QCOMPARE(log.messages.size(), std::size_t(1));
        QVERIFY(log.messages[0].text.contains(QStringLiteral("chip.bin")));
        QVERIFY(dialog()->status->text().isEmpty());
        QCOMPARE(dialog()->Gauge1->progress(), 0);
        dialog()->reject();
    }

    void programmedImageReadsBackWithTheCli() {
        Program program;
        program.start();
        MessageLog log;
        const QByteArray bytes = Pattern(1500, 3);
        program.bindImage(bytes, QStringLiteral("firmware.bin"));
        dialog()->CheckBox1->setChecked(false);
        // Opened through the menu, as a user does; the run and the close
        // happen inside the modal showing.
        DuringNextEvents([&] {
            Settle();
            dialog()->OKButton->click();
            dialog()->BitBtn1->click();
        });
        program.form()->Brennen1->trigger();
        QCOMPARE(log.texts(), QStringList{Utf8("Programmierung erfolgreich!")});
        QVERIFY(!dialog()->isVisible());

        const QString out = program.file(QStringLiteral("readback.bin"));
        QByteArray errors;
        QCOMPARE(RunCli({"--port", "sim", "--sim-time", "virtual", "--sim-chip", program.chipPath,
                         "--chip", "2051", "-q", "read", out},
                        &errors),
                 0);
        const QByteArray read = ReadBytes(out);
        QCOMPARE(read.size(), 2048);
        QCOMPARE(read.left(1500), bytes);
        QCOMPARE(read.mid(1500), QByteArray(548, '\xFF'));
    }
};

QTEST_MAIN(BrennboxTest)
#include "brennbox_test.moc"
