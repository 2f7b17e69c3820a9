// One run at a time, whatever arrives while a run lets events through, and a
// close request that waits for the run to end.
#include "app/run_guard.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QListWidget>
#include <QPushButton>

#include "chip/auslesen_dialog.h"
#include "chip/brennbox_dialog.h"
#include "chip/memloesch_dialog.h"
#include "tests/gui/gui_support.h"

using namespace varnok;
using namespace varnok::guitest;

class RunGuardTest : public QObject {
    Q_OBJECT

private slots:
    void scopesDoNotNest() {
        QVERIFY(!RunInProgress());
        std::vector<int> order;
        {
            RunScope outer;
            QVERIFY(outer.started());
            RunScope inner;
            QVERIFY(!inner.started());
            WhenNoRun([&] { order.push_back(1); });
            WhenNoRun([&] { order.push_back(2); });
            QVERIFY(order.empty());
        }
        QVERIFY(!RunInProgress());
        QCOMPARE(order, (std::vector<int>{1, 2}));
        WhenNoRun([&] { order.push_back(3); });
        QCOMPARE(order.size(), std::size_t(3));
    }

    void nothingStartsDuringAProgrammingRun() {
        Program program;
        program.start();
        MessageLog log;
        TBrennbox* programming = Forms().Brennbox;
        TAuslesenDlg* readout = Forms().AuslesenDlg;
        Tmemloesch* erase = Forms().memloesch;
        program.bindImage(Pattern(200));
        programming->CheckBox1->setChecked(false);
        programming->show();
        Settle();

        // Whatever might slip in while the run waits: a second Start by
        // click and by Enter, the other dialogs' runs, and a save.
        bool inRun = false;
        int attempts = 0;
        DuringNextEvents([&] {
            inRun = RunInProgress();
            programming->OKButton->click();
            Press(programming, Qt::Key_Return);
            programming->OKButton->setFocus();
            Press(programming, Qt::Key_Enter);
            erase->BitBtn3->click();
            readout->StartBTN->click();
            readout->speicher_btnClick();
            attempts = 1;
        });
        // Should the save slip through, its dialog must not hang the test.
        QTimer watchdog;
        connect(&watchdog, &QTimer::timeout, this, [readout] {
            if (readout->SaveDialog1->isVisible()) readout->SaveDialog1->reject();
        });
        watchdog.start(10);
        programming->OKButton->click();
        watchdog.stop();

        QVERIFY(inRun);
        QCOMPARE(attempts, 1);
        QCOMPARE(log.texts(), QStringList{Utf8("Programmierung erfolgreich!")});
        QCOMPARE(programming->bytesDone(), 200);
        QCOMPARE(readout->ListBox1->count(), 0);
        QVERIFY(!QFile::exists(program.file(QStringLiteral("output.tmp"))));
        QVERIFY(!RunInProgress());
        programming->reject();

        // Afterwards the same paths work again.
        erase->show();
        Settle();
        erase->BitBtn3->click();
        QCOMPARE(log.messages.size(), std::size_t(2));
        erase->reject();
    }

    void closeRequestedDuringARunWaitsForItsEnd() {
        Program program;
        program.start();
        MessageLog log;
        TAuslesenDlg* readout = Forms().AuslesenDlg;
        readout->show();
        Settle();
        bool stillOpenDuringRun = false;
        DuringNextEvents([&] {
            Press(readout, Qt::Key_Escape);
            readout->close();
            stillOpenDuringRun = readout->isVisible();
        });
        readout->StartBTN->click();
        QVERIFY(stillOpenDuringRun);
        // The run completed, then the close took effect: scratch file deleted.
        QVERIFY(!readout->isVisible());
        QCOMPARE(readout->ListBox1->count(), 41);
        QVERIFY(!QFile::exists(program.file(QStringLiteral("output.tmp"))));
        QVERIFY(!PortSession::IsOpen());
        QVERIFY(log.messages.empty());
    }

    void eraseCloseWaitsForItsMessage() {
        Program program;
        program.start();
        MessageLog log;
        Tmemloesch* erase = Forms().memloesch;
        erase->show();
        Settle();
        bool openAtMessage = false;
        log.onMessage = [&](const Message&) {
            erase->reject();
            openAtMessage = erase->isVisible();
        };
        erase->BitBtn3->click();
        QVERIFY(openAtMessage);
        QVERIFY(!erase->isVisible());
    }

    void programmingCloseWaitsAndThenPutsTheAdapterIdle() {
        Program program({}, true);
        program.start();
        MessageLog log;
        TBrennbox* programming = Forms().Brennbox;
        program.bindImage(Pattern(50));
        programming->show();
        Settle();
        bool openDuringRun = false;
        DuringNextEvents([&] {
            Press(programming, Qt::Key_Escape);
            openDuringRun = programming->isVisible();
        });
        programming->OKButton->click();
        QVERIFY(openDuringRun);
        QVERIFY(!programming->isVisible());
        QCOMPARE(programming->bytesDone(), 50);
        QVERIFY(PinsIdle(OpenSimulator()->pins()));
    }
};

QTEST_MAIN(RunGuardTest)
#include "run_guard_test.moc"
