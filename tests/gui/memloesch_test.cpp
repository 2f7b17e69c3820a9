// The erase dialog on the simulator: captions, the erase, the link check and keys.
#include <QLabel>
#include <QPushButton>

#include "chip/memloesch_dialog.h"
#include "tests/gui/gui_support.h"

using namespace varnok;
using namespace varnok::guitest;

class MemloeschTest : public QObject {
    Q_OBJECT

private:
    Tmemloesch* dialog() const { return Forms().memloesch; }
    void open() {
        dialog()->show();
        Settle();
    }
    static sim::ChipSnapshot Chip2051(const QString& path) {
        return ChipFile(path, Chip::AT89C2051)->chip();
    }

private slots:
    void captionsFollowTheLanguageAtEachActivation_data() {
        QTest::addColumn<bool>("german");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("erase");
        QTest::addColumn<QString>("close");
        QTest::newRow("German") << true << Utf8("Programmspeicher löschen") << Utf8("&Lösche")
                                << Utf8("&Schließen");
        QTest::newRow("English") << false << Utf8("Erase chip program memory") << Utf8("&Erase")
                                 << Utf8("&Close");
    }
    void captionsFollowTheLanguageAtEachActivation() {
        QFETCH(bool, german);
        QFETCH(QString, caption);
        QFETCH(QString, erase);
        QFETCH(QString, close);
        Program program;
        program.start();
        Shared().LanguageGerman = german;
        open();
        QCOMPARE(dialog()->windowTitle(), caption);
        QCOMPARE(dialog()->BitBtn3->text(), erase);
        QCOMPARE(dialog()->BitBtn1->text(), close);
        QCOMPARE(dialog()->BitBtn2->text(), Utf8("&Hilfe"));
        QCOMPARE(dialog()->Label2->text(), dialog()->Label1->text());
        // Opening touches no port.
        QVERIFY(!PortSession::IsOpen());
        dialog()->reject();
    }

    void eraseClearsTheChipAndItsLockBits() {
        Program program({}, true);
        program.start();
        MessageLog log;
        // The chip of the other type changes nothing.
        program.form()->SelectChip(Chip::AT89C4051);
        PortSession::Shutdown();
        LoadChip(program.chipPath, Chip::AT89C2051, Pattern(2048), true, true);
        open();
        bool idleAtMessage = false;
        log.onMessage = [&](const Message&) { idleAtMessage = PinsIdle(OpenSimulator()->pins()); };
        dialog()->BitBtn3->click();
        QCOMPARE(log.texts(), QStringList{Utf8("Programmspeicher gelöscht")});
        QCOMPARE(log.messages[0].kind, MessageKind::Information);
        QVERIFY(idleAtMessage);
        QVERIFY(dialog()->isVisible());
        dialog()->reject();
        PortSession::Shutdown();
        const sim::ChipSnapshot chip = Chip2051(program.chipPath);
        QCOMPARE(Flash(chip), QByteArray(2048, '\xFF'));
        QVERIFY(!chip.lockBit1 && !chip.lockBit2);
    }

    void linkFailureErasesNothing_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("adapter");
        QTest::newRow("one line stuck") << QStringLiteral("stuck-p1=7:1") << true;
        QTest::newRow("no adapter") << QStringLiteral("no-adapter") << false;
    }
    void linkFailureErasesNothing() {
        QFETCH(QString, fault);
        QFETCH(bool, adapter);
        Program program({fault}, true);
        program.start();
        PortSession::Shutdown();
        LoadChip(program.chipPath, Chip::AT89C2051, QByteArray(2048, '\x33'));
        Shared().LanguageGerman = false;
        MessageLog log;
        open();
        bool idleAtMessage = true;
        log.onMessage = [&](const Message&) { idleAtMessage = PinsIdle(OpenSimulator()->pins()); };
        dialog()->BitBtn3->click();
        QCOMPARE(log.texts(), QStringList{Utf8("Link to the programm device not ok!")});
        QCOMPARE(log.messages[0].kind, MessageKind::Error);
        // The idle state comes only after the box has been answered (without
        // an adapter there are no pins to look at).
        if (adapter) QVERIFY(!idleAtMessage);
        QVERIFY(PinsIdle(OpenSimulator()->pins()));
        dialog()->reject();
        PortSession::Shutdown();
        QCOMPARE(Flash(Chip2051(program.chipPath)), QByteArray(2048, '\x33'));
    }

    void keys() {
        Program program;
        program.start();
        MessageLog log;
        HelpLog help;
        open();
        // The erase button has the focus at first, so Enter erases at once.
        Press(dialog(), Qt::Key_Return);
        QCOMPARE(log.texts(), QStringList{Utf8("Programmspeicher gelöscht")});
        // The port is given back after each run.
        QVERIFY(!PortSession::IsOpen());

        dialog()->BitBtn2->click();
        QCOMPARE(help.requests.size(), std::size_t(1));
        QCOMPARE(help.requests[0].second, 108);

        dialog()->BitBtn1->setFocus();
        Press(dialog(), Qt::Key_Escape);
        QVERIFY(!dialog()->isVisible());
        // The next opening has the focus where it was left.
        open();
        QCOMPARE(dialog()->focusWidget(), dialog()->BitBtn1);
        Press(dialog(), Qt::Key_Return);
        QVERIFY(!dialog()->isVisible());
        QCOMPARE(log.messages.size(), std::size_t(1));
    }
};

QTEST_MAIN(MemloeschTest)
#include "memloesch_test.moc"
