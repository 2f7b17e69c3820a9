// Start-up and close with the settings file, and the language switch across
// all windows.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTextBrowser>

#include "app/about_box.h"
#include "app/help_window.h"
#include "app/main_window.h"
#include "chip/auslesen_dialog.h"
#include "chip/brennbox_dialog.h"
#include "chip/memloesch_dialog.h"
#include "files/file_selection_dialog.h"
#include "files/file_viewer.h"
#include "tests/gui/gui_support.h"

using namespace varnok;
using namespace varnok::guitest;

namespace {

QString SettingsPath(const Program& program) {
    return program.file(QStringLiteral("config/varnok.INI"));
}

void WriteSettingsFile(const Program& program, const QByteArray& content) {
    QDir().mkpath(program.file(QStringLiteral("config")));
    WriteBytes(SettingsPath(program), content);
}

QStringList SettingsLines(const Program& program) {
    QStringList lines =
        QString::fromUtf8(ReadBytes(SettingsPath(program))).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

QString CheckedChip(TForm1* form) {
    QString checked;
    for (QAction* item : {form->AT89C10511, form->AT89C20511, form->AT89C40511})
        if (item->isChecked()) checked += item->text();
    return checked;
}

QString CheckedPort(TForm1* form) {
    QString checked;
    for (QAction* item : {form->LPT11, form->LPT21, form->LPT31, form->LPT41})
        if (item->isChecked()) checked += item->objectName();
    return checked;
}

int TraceWriteCount(const QString& path) {
    int writes = 0;
    for (const QByteArray& line : ReadBytes(path).split('\n'))
        if (line.split(' ').value(1) == "W") ++writes;
    return writes;
}

}  // namespace

class SettingsStartupTest : public QObject {
    Q_OBJECT

private slots:
    void firstCloseWritesAllSevenKeys() {
        Program program;
        program.start();
        QVERIFY(!QFile::exists(SettingsPath(program)));
        QVERIFY(program.form()->close());
        QCOMPARE(SettingsLines(program),
                 (QStringList{"[option]", "Sprache=1", "Pfad=" + program.dir.path(), "Laufwerk=C",
                              "typ=2", "lpt=1", "lookbit=1", "datei="}));
    }

    void closeInEnglishWith4051OnLpt2MatchesTheExample() {
        Program program;
        program.start();
        TForm1* form = program.form();
        QDir().mkpath(program.file(QStringLiteral("HEX")));
        WriteBytes(program.file(QStringLiteral("HEX/BLINK.BIN")), Pattern(100));
        form->English1->trigger();
        form->AT89C40511->trigger();
        form->LPT21->trigger();
        Forms().Brennbox->CheckBox1->setChecked(false);
        // Preview the file in the selection dialog, then leave it there.
        TDateiauswahl* selection = Forms().Dateiauswahl;
        QVERIFY(selection->setDirectory(program.file(QStringLiteral("HEX"))));
        const QList<QListWidgetItem*> items =
            selection->FileListBox1->findItems(QStringLiteral("BLINK.BIN"), Qt::MatchExactly);
        QCOMPARE(items.size(), 1);
        selection->FileListBox1->setCurrentItem(items.first());
        selection->FileListBox1MouseUp();
        QVERIFY(form->close());
        QCOMPARE(SettingsLines(program), (QStringList{"[option]", "Sprache=2",
                                                      "Pfad=" + program.file(QStringLiteral("HEX")),
                                                      "Laufwerk=" + selection->drive(), "typ=4",
                                                      "lpt=2", "lookbit=0", "datei=BLINK.BIN"}));
    }

    void restartRestoresEverything() {
        Program program;
        QDir().mkpath(program.file(QStringLiteral("HEX")));
        WriteBytes(program.file(QStringLiteral("HEX/BLINK.BIN")), Pattern(100));
        WriteSettingsFile(program,
                          "[option]\nSprache=2\nPfad=" + QFile::encodeName(program.file("HEX")) +
                              "\nLaufwerk=C\ntyp=4\nlpt=2\nlookbit=0\ndatei=BLINK.BIN\n");
        MessageLog log;
        program.start();
        TForm1* form = program.form();
        QVERIFY(!Shared().LanguageGerman);
        QVERIFY(form->English1->isChecked() && !form->Deutsch1->isChecked());
        QCOMPARE(form->Brennen1->text(), QStringLiteral("&Programming"));
        QCOMPARE(CheckedChip(form), QStringLiteral("AT89C&4051"));
        QCOMPARE(CheckedPort(form), QStringLiteral("LPT21"));
        QCOMPARE(Shared().DataPort, std::uint16_t(0x278));
        QVERIFY(!Forms().Brennbox->CheckBox1->isChecked());
        QVERIFY(!Shared().LockBitOption);
        QCOMPARE(Forms().Dateiauswahl->directory(), program.file(QStringLiteral("HEX")));
        QCOMPARE(QDir::currentPath(),
                 program.file(QStringLiteral("HEX")));  // the working directory follows
        QVERIFY(Shared().ImageFileBound);
        QCOMPARE(QString::fromStdString(Shared().ImageFile),
                 program.file(QStringLiteral("HEX/BLINK.BIN")));
        QVERIFY(form->Brennen1->isEnabled() && form->Inhaltansehen3->isEnabled());
        QCOMPARE(QString::fromStdString(Shared().HelpFileName),
                 program.dir.path() + "/Englhelp.hlp");
        QVERIFY(log.messages.empty());
    }

    void oddValues_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("chip");
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("dataPort");
        QTest::addColumn<bool>("lockBox");
        QTest::addColumn<QString>("writtenBack");
        QTest::newRow("typ 3") << QByteArray("typ=3") << ""
                               << "LPT11" << 0x378 << true << "typ=1";
        QTest::newRow("typ 0") << QByteArray("typ=0") << ""
                               << "LPT11" << 0x378 << true << "typ=1";
        QTest::newRow("typ 258") << QByteArray("typ=258") << "AT89C&2051"
                                 << "LPT11" << 0x378 << true << "typ=2";
        QTest::newRow("typ abc") << QByteArray("typ=abc") << "AT89C&2051"
                                 << "LPT11" << 0x378 << true << "typ=2";
        QTest::newRow("lpt 0x3") << QByteArray("lpt=0x3") << "AT89C&2051"
                                 << "LPT31" << 0x3BC << true << "lpt=3";
        QTest::newRow("lpt $2") << QByteArray("lpt=$2") << "AT89C&2051"
                                << "LPT21" << 0x278 << true << "lpt=2";
        QTest::newRow("lpt 7") << QByteArray("lpt=7") << "AT89C&2051"
                               << "" << 0x378 << true << "lpt=1";
        QTest::newRow("lookbit 0") << QByteArray("lookbit=0") << "AT89C&2051"
                                   << "LPT11" << 0x378 << false << "lookbit=0";
        QTest::newRow("lookbit yes") << QByteArray("lookbit=yes") << "AT89C&2051"
                                     << "LPT11" << 0x378 << true << "lookbit=1";
    }
    void oddValues() {
        QFETCH(QByteArray, content);
        QFETCH(QString, chip);
        QFETCH(QString, port);
        QFETCH(int, dataPort);
        QFETCH(bool, lockBox);
        QFETCH(QString, writtenBack);
        Program program;
        WriteSettingsFile(program, "[option]\nPfad=" + QFile::encodeName(program.dir.path()) +
                                       "\n" + content + "\n");
        MessageLog log;
        program.start();
        TForm1* form = program.form();
        QCOMPARE(CheckedChip(form), chip);
        QCOMPARE(CheckedPort(form), port);
        QCOMPARE(int(Shared().DataPort), dataPort);
        QCOMPARE(Forms().Brennbox->CheckBox1->isChecked(), lockBox);
        if (chip.isEmpty()) QCOMPARE(form->ChipCapacity(), 1024);
        QVERIFY(log.messages.empty());
        QVERIFY(form->close());
        QVERIFY(SettingsLines(program).contains(writtenBack));
    }

    // Without a remembered directory there is nothing to restore there, which
    // is no failure: the drive and the lock-bit box are still set.
    void noRememberedDirectoryStillRestoresTheLockBitBox() {
        Program program;
        WriteSettingsFile(program, "[option]\nlookbit=0\n");
        MessageLog log;
        program.start();
        QVERIFY(!Forms().Brennbox->CheckBox1->isChecked());
        QVERIFY(!Shared().LockBitOption);
        QCOMPARE(Forms().Dateiauswahl->directory(), program.dir.path());
        QVERIFY(log.messages.empty());
        QVERIFY(program.form()->close());
        QVERIFY(SettingsLines(program).contains(QStringLiteral("lookbit=0")));
    }

    // Directory and file names that are not UTF-8 survive a restart: the
    // directory is restored and the remembered file found, then both are
    // written back as the same bytes.
    void namesThatAreNotUtf8SurviveARestart() {
        Program program;
        const QByteArray directory = QFile::encodeName(program.dir.path()) + "/hex\xE4";
        const QByteArray name = "blink\xFF.bin";
        const QByteArray image = directory + '/' + name;
        // QTemporaryDir cannot remove what it cannot name.
        struct Remove {
            QByteArray file, directory;
            ~Remove() {
                ::unlink(file.constData());
                ::rmdir(directory.constData());
            }
        } remove{image, directory};
        QVERIFY(::mkdir(directory.constData(), 0755) == 0);
        const int fd = ::open(image.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "abc", 3), ssize_t(3));
        ::close(fd);
        WriteSettingsFile(program,
                          "[option]\nPfad=" + directory + "\nlookbit=0\ndatei=" + name + "\n");
        MessageLog log;
        program.start();
        QCOMPARE(Forms().Dateiauswahl->directoryBytes(), directory);
        QVERIFY(!Forms().Brennbox->CheckBox1->isChecked());
        QVERIFY(Shared().ImageFileBound);
        QCOMPARE(QByteArray::fromStdString(Shared().ImageFile), image);
        QVERIFY(program.form()->Brennen1->isEnabled());
        QVERIFY(log.messages.empty());
        QVERIFY(program.form()->close());
        const QList<QByteArray> lines = ReadBytes(SettingsPath(program)).split('\n');
        QVERIFY(lines.contains("Pfad=" + directory));
        QVERIFY(lines.contains("datei=" + name));
    }

    void longPathIsCutAndAVanishedDirectoryEndsTheGuardedStep() {
        Program program;
        const QByteArray longPath = "/" + QByteArray(230, 'x');
        WriteSettingsFile(program, "[option]\nPfad=" + longPath + "\nlookbit=0\ndatei=gone.bin\n");
        MessageLog log;
        program.start();
        QCOMPARE(Shared().Settings.ImageDirectory.size(), std::size_t(200));
        QCOMPARE(QString::fromStdString(Shared().ImageDirectory),
                 QString::fromLatin1(longPath.left(200)));
        // The directory does not exist: the selection keeps the start directory,
        // and neither drive nor lock-bit box is restored.
        QCOMPARE(Forms().Dateiauswahl->directory(), program.dir.path());
        QVERIFY(Forms().Brennbox->CheckBox1->isChecked());
        QVERIFY(!Shared().ImageFileBound);
        QVERIFY(!program.form()->Brennen1->isEnabled());
        QVERIFY(log.messages.empty());
    }

    void rememberedFileSizeCheck_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QString>("warning");
        QTest::newRow("exactly the capacity") << 2048 << QByteArray("1") << "";
        QTest::newRow("one byte more, German")
            << 2049 << QByteArray("1")
            << Utf8("Datei ist größer als der Speicherbereich des Mikrocontrollers!");
        QTest::newRow("one byte more, English")
            << 2049 << QByteArray("2")
            << "Size of selected file is larger\rthan the capacity of processor memory!";
    }
    void rememberedFileSizeCheck() {
        QFETCH(int, size);
        QFETCH(QByteArray, language);
        QFETCH(QString, warning);
        Program program;
        WriteBytes(program.file(QStringLiteral("image.bin")), Pattern(size));
        WriteSettingsFile(program, "[option]\nSprache=" + language +
                                       "\nPfad=" + QFile::encodeName(program.dir.path()) +
                                       "\ntyp=2\ndatei=image.bin\n");
        MessageLog log;
        program.start();
        QVERIFY(Shared().ImageFileBound);
        QVERIFY(program.form()->Brennen1->isEnabled());
        if (warning.isEmpty()) {
            QVERIFY(log.messages.empty());
        } else {
            QCOMPARE(log.messages.size(), std::size_t(1));
            QCOMPARE(log.messages[0].kind, MessageKind::Warning);
            QCOMPARE(log.messages[0].text, warning);
        }
    }

    void previewThenCancelChangesTheRememberedName() {
        Program program;
        program.start();
        WriteBytes(program.file(QStringLiteral("accepted.bin")), Pattern(10));
        WriteBytes(program.file(QStringLiteral("previewed.bin")), Pattern(10));
        program.chooseImage(program.file(QStringLiteral("accepted.bin")));
        TDateiauswahl* selection = Forms().Dateiauswahl;
        QVERIFY(selection->setDirectory(program.dir.path()));
        selection->FileListBox1->setCurrentItem(
            selection->FileListBox1->findItems(QStringLiteral("previewed.bin"), Qt::MatchExactly)
                .value(0));
        selection->FileListBox1MouseUp();
        selection->CancelBtnClick();
        QCOMPARE(QString::fromStdString(Shared().ImageFile),
                 program.file(QStringLiteral("accepted.bin")));
        QVERIFY(program.form()->close());
        QVERIFY(SettingsLines(program).contains(QStringLiteral("datei=previewed.bin")));
    }

    void foreignLinesSurviveTheClose() {
        Program program;
        WriteSettingsFile(
            program, "; kept\n[other]\nx = 1\n[option]\nSprache=1\nmine=yes\ntyp=4\n[tail]\ny=2\n");
        program.start();
        QVERIFY(program.form()->close());
        const QStringList lines = SettingsLines(program);
        QCOMPARE(lines.mid(0, 3), (QStringList{"; kept", "[other]", "x = 1"}));
        QVERIFY(lines.contains(QStringLiteral("mine=yes")));
        QCOMPARE(lines.mid(lines.size() - 2), (QStringList{"[tail]", "y=2"}));
        QVERIFY(lines.contains(QStringLiteral("typ=4")));
    }

    void aFailedWriteKeepsTheWindowOpenAndTheAdapterAlone() {
        Program program({}, true);
        // A directory where the file should be: nothing can replace it.
        QVERIFY(QDir().mkpath(SettingsPath(program)));
        program.start();
        MessageLog log;
        const int writesBefore = TraceWriteCount(program.tracePath);
        QVERIFY(!program.form()->close());
        QVERIFY(program.form()->isVisible());
        QCOMPARE(log.messages.size(), std::size_t(1));
        QCOMPARE(log.messages[0].kind, MessageKind::Error);
        QVERIFY(log.messages[0].text.startsWith(
            QStringLiteral("nach varnok.INI kann nicht geschrieben werden")));
        QCOMPARE(TraceWriteCount(program.tracePath),
                 writesBefore);  // no idle write, port not taken
        QVERIFY(QFileInfo(SettingsPath(program)).isDir());
        // Closing again tries again, and succeeds once the way is clear.
        QVERIFY(QDir(SettingsPath(program)).removeRecursively());
        QVERIFY(program.form()->close());
        QVERIFY(QFileInfo(SettingsPath(program)).isFile());
    }

    void languageSwitchReachesOpenWindows() {
        Program program;
        program.start();
        TForm1* form = program.form();
        program.bindImage(Pattern(64));
        form->Inhaltansehen3->trigger();
        Tdateiinhalt_ansehen* viewer = Forms().dateiinhalt_ansehen;
        QVERIFY(viewer->isVisible());
        form->Info1->trigger();
        form->English1->trigger();
        QVERIFY(!Shared().LanguageGerman);
        QCOMPARE(QString::fromStdString(Shared().HelpFileName), QStringLiteral("Englhelp.hlp"));
        QCOMPARE(viewer->OKButton->text(), QStringLiteral("&Close"));
        QCOMPARE(viewer->windowTitle(), QStringLiteral("View selected file"));
        QCOMPARE(Forms().Dateiauswahl->windowTitle(),
                 QStringLiteral("File selection to program the chip"));
        QCOMPARE(Forms().Brennbox->CheckBox1->text(), QStringLiteral("&lockbit on"));
        QCOMPARE(Forms().AuslesenDlg->OKBtn->text(), QStringLiteral("&Close"));
        QCOMPARE(Forms().memloesch->Label1->text(), QStringLiteral("Erase program memory only"));
        QCOMPARE(Forms().memloesch->Label2->text(), Forms().memloesch->Label1->text());
        QCOMPARE(form->Datei1->title(), QStringLiteral("F&ile"));
        QVERIFY(form->English1->isChecked() && !form->Deutsch1->isChecked());
        // Captions that no table touches stay as they are in both languages.
        QCOMPARE(Forms().Dateiauswahl->OKBtn->text(), QStringLiteral("&OK"));
        QCOMPARE(Forms().Dateiauswahl->CancelBtn->text(), QStringLiteral("&Abbrechen"));
        QCOMPARE(Forms().Dateiauswahl->HelpBtn->text(), QStringLiteral("Hilfe"));
        QCOMPARE(Forms().AuslesenDlg->StartBTN->text(), QStringLiteral("S&tart"));
        QCOMPARE(Forms().AboutBox->OKButton->text(), Utf8("&Schließen"));
        // German again while German: captions as before, the help file bare.
        form->Deutsch1->trigger();
        form->Deutsch1->trigger();
        QVERIFY(form->Deutsch1->isChecked() && !form->English1->isChecked());
        QCOMPARE(viewer->OKButton->text(), Utf8("&Schließen"));
        QCOMPARE(QString::fromStdString(Shared().HelpFileName), QStringLiteral("Varnok.hlp"));
        QCOMPARE(Forms().memloesch->Label2->text(), Utf8("Programmspeicher löschen"));
    }

    void everyHelpEntryShowsItsTopicInBothLanguages_data() {
        QTest::addColumn<bool>("english");
        QTest::addColumn<int>("entry");
        QTest::addColumn<int>("topic");
        const char* names[] = {"main window Ctrl+Z", "selection F1", "programming help button",
                               "read-out F1", "erase help button"};
        const int topics[] = {110, 103, 104, 105, 108};
        for (bool english : {false, true})
            for (int entry = 0; entry < 5; ++entry)
                QTest::addRow("%s, %s", english ? "English" : "German", names[entry])
                    << english << entry << topics[entry];
    }
    void everyHelpEntryShowsItsTopicInBothLanguages() {
        QFETCH(bool, english);
        QFETCH(int, entry);
        QFETCH(int, topic);
        Program program;
        program.start();
        TForm1* form = program.form();
        // The start-up name (start directory + file) is not where the help
        // lives in a build tree; the search finds it all the same.
        if (english) form->English1->trigger();
        MessageLog log;
        QWidget* window = nullptr;
        switch (entry) {
            case 0:
                QTest::keyClick(form, Qt::Key_Z, Qt::ControlModifier);
                break;
            case 1:
                window = Forms().Dateiauswahl;
                window->show();
                QApplication::setActiveWindow(window);
                Settle();
                QTest::keyRelease(window->focusWidget() ? window->focusWidget() : window,
                                  Qt::Key_F1);
                break;
            case 2:
                program.bindImage(Pattern(16));
                window = Forms().Brennbox;
                window->show();
                Settle();
                Forms().Brennbox->hilfebtn->click();
                break;
            case 3:
                window = Forms().AuslesenDlg;
                window->show();
                Settle();
                Press(window, Qt::Key_F1);
                break;
            case 4:
                window = Forms().memloesch;
                window->show();
                Settle();
                Forms().memloesch->BitBtn2->click();
                break;
        }
        QVERIFY2(log.messages.empty(),
                 log.messages.empty() ? "" : qPrintable(log.messages[0].text));
        HelpWindow* help = CurrentHelpWindow();
        QVERIFY(help && help->isVisible());
        QCOMPARE(QFileInfo(help->currentFile()).fileName(),
                 english ? QStringLiteral("Englhelp.hlp") : QStringLiteral("Varnok.hlp"));
        QCOMPARE(help->browser()->source().fragment(), QString::number(topic));
        help->close();
        if (window) window->hide();
    }

    void modeButtonsKeepNamingTheOtherFormAfterASwitch() {
        Program program;
        program.start();
        TForm1* form = program.form();
        program.bindImage(Pattern(64));
        form->Inhaltansehen3->trigger();
        Tdateiinhalt_ansehen* viewer = Forms().dateiinhalt_ansehen;
        TDateiauswahl* selection = Forms().Dateiauswahl;
        viewer->Button1Click();  // the viewer now shows hexadecimal values
        QVERIFY(viewer->hexMode() && !selection->hexMode());
        form->English1->trigger();
        QCOMPARE(viewer->Button1->text(), QStringLiteral("&Binary"));
        QCOMPARE(selection->Button1->text(), QStringLiteral("&Hexadecimal"));
        form->Deutsch1->trigger();
        QCOMPARE(viewer->Button1->text(), Utf8("&Binär"));
        QCOMPARE(selection->Button1->text(), QStringLiteral("&Hexadezimal"));
        viewer->Button1Click();  // back to characters: the viewer's own caption
        form->English1->trigger();
        QCOMPARE(viewer->Button1->text(), QStringLiteral("&Hexadecimal"));
    }
};

QTEST_MAIN(SettingsStartupTest)
#include "settings_startup_test.moc"
