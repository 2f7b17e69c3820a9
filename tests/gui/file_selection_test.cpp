// The file-selection dialog: preview in both forms, size line, toggle, accept
// with its size check, cancel, keys, and files that are not what they seemed.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>

#include "chip/brennbox_dialog.h"
#include "files/file_selection_dialog.h"
#include "files/file_viewer.h"
#include "files/listing.h"
#include "files/listing_model.h"
#include "files/listing_view.h"
#include "tests/gui/gui_support.h"

using namespace varnok;
using namespace varnok::guitest;

namespace {

QByteArray Bytes(int size) {
    QByteArray bytes;
    for (int i = 0; i < size; ++i) bytes.append(static_cast<char>('A' + i % 26));
    return bytes;
}

void Write(const QByteArray& path, const QByteArray& content) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, content.constData(), content.size()), content.size());
    ::close(fd);
}

// Fails reads from byte `at` on, as a bad sector would.
void FailReadsFrom(off_t at) {
    SetReadFunction([at](int fd, void* buffer, std::size_t count) -> ssize_t {
        const off_t position = ::lseek(fd, 0, SEEK_CUR);
        if (position >= at) {
            errno = EIO;
            return -1;
        }
        return ::read(fd, buffer, std::min<std::size_t>(count, at - position));
    });
}

QListWidgetItem* ItemOf(TDateiauswahl* dialog, const QByteArray& name) {
    for (int i = 0; i < dialog->FileListBox1->count(); ++i)
        if (dialog->FileListBox1->item(i)->data(Qt::UserRole).toByteArray() == name)
            return dialog->FileListBox1->item(i);
    return nullptr;
}

void ClickFile(TDateiauswahl* dialog, const QByteArray& name) {
    QListWidgetItem* item = ItemOf(dialog, name);
    QVERIFY2(item, name.constData());
    QTest::mouseClick(dialog->FileListBox1->viewport(), Qt::LeftButton, {},
                      dialog->FileListBox1->visualItemRect(item).center());
}

}  // namespace

class FileSelectionTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir* dir = nullptr;
    TDateiauswahl* dialog = nullptr;
    MessageLog* log = nullptr;
    HelpLog* help = nullptr;

    QByteArray path(const QByteArray& name) const {
        return QFile::encodeName(dir->path()) + '/' + name;
    }
    QByteArray file(const QByteArray& name, const QByteArray& content) {
        Write(path(name), content);
        dialog->setDirectory(dir->path());
        return path(name);
    }
    QListWidgetItem* item(const QByteArray& name) const { return ItemOf(dialog, name); }
    void click(const QByteArray& name) { ClickFile(dialog, name); }
    QStringList preview() const {
        QStringList lines;
        for (int i = 0; i < dialog->previewModel()->rowCount(); ++i)
            lines << dialog->previewModel()->lineText(i);
        return lines;
    }

private slots:
    void init() {
        dir = new QTemporaryDir;
        SharedState& s = Shared();
        s.LanguageGerman = true;
        s.ChipType = Chip::AT89C2051;
        s.ImageFile.clear();
        s.ImageFileBound = false;
        s.ImageFileName = "remembered.bin";
        log = new MessageLog;
        help = new HelpLog;
        dialog = new TDateiauswahl;
        QVERIFY(dialog->setDirectory(dir->path()));
        dialog->show();
        QApplication::setActiveWindow(dialog);
    }
    void cleanup() {
        delete dialog;
        SetReadFunction(nullptr);
        delete log;
        delete help;
        QDir::setCurrent(QDir::tempPath());
        // Names that are not UTF-8 defeat QTemporaryDir's own clean-up.
        if (DIR* d = ::opendir(QFile::encodeName(dir->path()).constData())) {
            while (const dirent* entry = ::readdir(d))
                if (entry->d_name[0] != '.') ::unlink(path(entry->d_name).constData());
            ::closedir(d);
        }
        delete dir;
    }

    void previewForms_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<int>("items");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("64 characters")
            << Bytes(64) << false << 3 << "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEF"
            << "";
        QTest::newRow("64 hexadecimal")
            << Bytes(64) << true << 9 << "41  42  43  44  45  46  47  48  "
            << "";
        QTest::newRow("empty characters") << QByteArray() << false << 1 << ""
                                          << "";
        QTest::newRow("empty hexadecimal") << QByteArray() << true << 1 << ""
                                           << "";
        QTest::newRow("02 AF 41 characters") << QByteArray("\x02\xAF\x41", 3) << false << 1 << "..A"
                                             << "..A";
        QTest::newRow("02 AF 41 hexadecimal")
            << QByteArray("\x02\xAF\x41", 3) << true << 1 << "02  AF  41  "
            << "02  AF  41  ";
        const QString bounds = QStringLiteral(". \x7F\u20AC.");
        QTest::newRow("20h to 80h as themselves")
            << QByteArray("\x1F\x20\x7F\x80\x81", 5) << false << 1 << bounds << bounds;
    }
    void previewForms() {
        QFETCH(QByteArray, content);
        QFETCH(bool, hex);
        QFETCH(int, items);
        QFETCH(QString, first);
        QFETCH(QString, last);
        if (hex) dialog->Button1->click();  // with no preview: only the form changes
        QCOMPARE(dialog->previewModel()->rowCount(), 0);
        file("image.bin", content);
        click("image.bin");
        const QStringList shown = preview();
        QCOMPARE(shown.size(), items);
        QCOMPARE(shown.first(), first);
        QCOMPARE(shown.last(), last);
        for (int i = 0; i + 1 < items; ++i) QCOMPARE(shown[i].size(), 32);
        QCOMPARE(dialog->Label2->text(), QStringLiteral("Dateigröße: %1 Byte").arg(content.size()));
        QVERIFY(log->messages.empty());
        // An empty file has no byte to read: the remembered name stays.
        QCOMPARE(Shared().ImageFileName, content.isEmpty() ? "remembered.bin" : "image.bin");
    }

    void toggleRebuildsAndNamesTheOtherForm_data() {
        QTest::addColumn<bool>("german");
        QTest::addColumn<QString>("toHex");
        QTest::addColumn<QString>("toCharacters");
        QTest::newRow("German") << true << "&Binär"
                                << "&Hexadezimal";
        QTest::newRow("English") << false << "&Binary"
                                 << "&Hexadecimal";
    }
    void toggleRebuildsAndNamesTheOtherForm() {
        QFETCH(bool, german);
        QFETCH(QString, toHex);
        QFETCH(QString, toCharacters);
        Shared().LanguageGerman = german;
        file("a.bin", Bytes(64));
        click("a.bin");
        QCOMPARE(preview().size(), 3);
        dialog->Button1->click();
        QVERIFY(dialog->hexMode());
        QCOMPARE(dialog->Button1->text(), toHex);
        QCOMPARE(preview().size(), 9);
        QCOMPARE(preview().first(), QStringLiteral("41  42  43  44  45  46  47  48  "));
        dialog->Button1->click();
        QCOMPARE(dialog->Button1->text(), toCharacters);
        QCOMPARE(preview().size(), 3);
        QCOMPARE(dialog->Label2->text(), german ? QStringLiteral("Dateigröße: 64 Byte")
                                                : QStringLiteral("File size: 64 Bytes"));
    }

    void acceptChecksTheSize_data() {
        QTest::addColumn<int>("chip");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("warned");
        QTest::newRow("2051 exactly") << int(Chip::AT89C2051) << 2048 << false;
        QTest::newRow("2051 one more") << int(Chip::AT89C2051) << 2049 << true;
        QTest::newRow("1051 1025") << int(Chip::AT89C1051) << 1025 << true;
        QTest::newRow("4051 1025") << int(Chip::AT89C4051) << 1025 << false;
        QTest::newRow("none counts 1024") << int(Chip::None) << 1025 << true;
    }
    void acceptChecksTheSize() {
        QFETCH(int, chip);
        QFETCH(int, size);
        QFETCH(bool, warned);
        Shared().ChipType = static_cast<Chip>(chip);
        const QByteArray image = file("image.bin", Bytes(size));
        dialog->FileListBox1->setCurrentItem(item("image.bin"));
        QSignalSpy accepted(dialog, &TDateiauswahl::imageFileAccepted);
        dialog->OKBtn->click();
        QCOMPARE(accepted.count(), 1);
        QCOMPARE(QByteArray::fromStdString(Shared().ImageFile), image);
        QVERIFY(Shared().ImageFileBound);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        if (warned) {
            QCOMPARE(int(log->messages.size()), 1);
            QCOMPARE(log->messages[0].kind, MessageKind::Warning);
            QCOMPARE(
                log->messages[0].text,
                QStringLiteral("Datei ist größer als der Speicherbereich des Mikrocontrollers!"));
        } else {
            QVERIFY(log->messages.empty());
        }
    }

    void acceptWithNothingSelected() {
        Shared().LanguageGerman = false;
        Shared().ImageFile = "/old/image.bin";
        QSignalSpy accepted(dialog, &TDateiauswahl::imageFileAccepted);
        dialog->OKBtn->click();
        QCOMPARE(accepted.count(), 1);
        QCOMPARE(Shared().ImageFile, std::string());
        QCOMPARE(log->texts(), QStringList{"Can not open selected file!"});
        QCOMPARE(log->messages[0].kind, MessageKind::Error);
        QVERIFY(dialog->isVisible());
    }

    void arrowKeysMoveWithoutPreview() {
        Shared().ChipType = Chip::AT89C1051;
        file("a.bin", Bytes(40));
        file("b.bin", Bytes(2000));
        click("a.bin");
        const QStringList shown = preview();
        const QString sizeLine = dialog->Label2->text();
        dialog->FileListBox1->setFocus();
        QTest::keyClick(dialog->FileListBox1, Qt::Key_Down);
        QCOMPARE(dialog->selectedFilePath(), QFile::decodeName(path("b.bin")));
        QCOMPARE(preview(), shown);
        QCOMPARE(dialog->Label2->text(), sizeLine);
        QCOMPARE(Shared().ImageFileName, "a.bin");
        // The toggle rebuilds the file previewed, and the name is still its name.
        dialog->Button1->click();
        QCOMPARE(preview().size(), 40 / 8 + 1);
        QCOMPARE(Shared().ImageFileName, "a.bin");
        dialog->FileListBox1->setFocus();
        // Accept concerns the file now selected: b.bin, too large for a 1051.
        QTest::keyClick(dialog->FileListBox1, Qt::Key_Return);
        QCOMPARE(QByteArray::fromStdString(Shared().ImageFile), path("b.bin"));
        QCOMPARE(int(log->messages.size()), 1);
        QCOMPARE(log->messages[0].kind, MessageKind::Warning);
        QVERIFY(!dialog->isVisible());
    }

    void cancelAfterPreviewKeepsOnlyTheName() {
        Shared().ImageFile = "/old/image.bin";
        file("seen.bin", Bytes(10));
        click("seen.bin");
        QSignalSpy accepted(dialog, &TDateiauswahl::imageFileAccepted);
        QTest::keyClick(dialog->FileListBox1, Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(accepted.count(), 0);
        QCOMPARE(Shared().ImageFile, "/old/image.bin");
        QCOMPARE(Shared().ImageFileName, "seen.bin");
        // The next showing starts with neither preview nor size line.
        dialog->show();
        QCOMPARE(dialog->previewModel()->rowCount(), 0);
        QVERIFY(dialog->Label2->text().isEmpty());
    }

    void keys() {
        file("a.bin", Bytes(5));
        dialog->FileListBox1->setCurrentItem(item("a.bin"));
        dialog->FileListBox1->setFocus();
        // Shift+Enter reaches the list as a carriage return: a preview.
        QTest::keyClick(dialog->FileListBox1, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(preview(), QStringList{"ABCDE"});
        QVERIFY(dialog->isVisible());
        QTest::keyRelease(dialog->FileListBox1, Qt::Key_F1, Qt::ControlModifier);
        QCOMPARE(help->requests.size(), 1u);
        QCOMPARE(help->requests[0].second, 103);
        // Enter on a focused push button presses that button, not OK.
        dialog->Button1->setFocus();
        QTest::keyClick(dialog->Button1, Qt::Key_Return);
        QVERIFY(dialog->hexMode());
        QVERIFY(dialog->isVisible());
    }

    // The focus starts in the drive box, and Tab walks the controls in the
    // dialog's order, the preview included, back round to the drive box.
    void focusStartsInTheDriveBoxAndTabFollowsTheOrder() {
        QCOMPARE(dialog->focusWidget(), static_cast<QWidget*>(dialog->DriveComboBox1));
        const QList<QWidget*> order{
            dialog->DirectoryListBox1, dialog->FileListBox1,  dialog->ListBox1,
            dialog->Button1,           dialog->OKBtn,         dialog->CancelBtn,
            dialog->HelpBtn,           dialog->DriveComboBox1};
        for (QWidget* next : order) {
            QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
            QCOMPARE(dialog->focusWidget(), next);
        }
    }

    void longAndUndecodableNames_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("remembered");
        QTest::newRow("150 letters") << QByteArray(150, 'n') << QByteArray(100, 'n');
        QByteArray umlauts;
        for (int i = 0; i < 120; ++i) umlauts += "\xC3\xA4";
        QTest::newRow("120 umlauts") << umlauts << umlauts.left(200);
        QTest::newRow("not UTF-8")
            << QByteArray("bad\xFF\xFE.bin") << QByteArray("bad\xFF\xFE.bin");
    }
    void longAndUndecodableNames() {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, remembered);
        const QByteArray image = file(name, Bytes(3));
        click(name);
        QVERIFY(log->messages.empty());
        QCOMPARE(preview(), QStringList{"ABC"});
        QCOMPARE(QByteArray::fromStdString(Shared().ImageFileName), remembered);
        dialog->OKBtn->click();
        QVERIFY(log->messages.empty());
        QCOMPARE(QByteArray::fromStdString(Shared().ImageFile), image);
    }

    // A listed file that has gone, or is no longer a regular file, by the
    // time it is clicked: a message, never a hang.
    void fileChangedUnderTheList_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("vanished") << 0;
        QTest::newRow("directory") << 1;
        QTest::newRow("fifo") << 2;
        QTest::newRow("device") << 3;
        QTest::newRow("unreadable") << 4;
    }
    void fileChangedUnderTheList() {
        QFETCH(int, kind);
        if (kind == 4 && ::geteuid() == 0) QSKIP("root reads any file");
        const QByteArray target = file("target", Bytes(5));
        QVERIFY(::unlink(target.constData()) == 0);
        switch (kind) {
            case 1:
                QVERIFY(::mkdir(target.constData(), 0755) == 0);
                break;
            case 2:
                QVERIFY(::mkfifo(target.constData(), 0644) == 0);
                break;
            case 3:
                QVERIFY(::symlink("/dev/zero", target.constData()) == 0);
                break;
            case 4:
                Write(target, "x");
                QVERIFY(::chmod(target.constData(), 0) == 0);
                break;
            default:
                break;
        }
        click("target");
        QCOMPARE(log->texts(), QStringList{"Datei kann nicht geöfnet werden!"});
        QCOMPARE(log->messages[0].kind, MessageKind::Error);
        QCOMPARE(dialog->previewModel()->rowCount(), 0);
        QVERIFY(dialog->Label2->text().isEmpty());
        log->clear();
        dialog->OKBtn->click();
        QCOMPARE(log->texts(), QStringList{"Kann gewählte Datei nicht öffnen!"});
        QVERIFY(dialog->isVisible());
    }

    void readErrorKeepsCompletedLinesUntilTheBoxCloses() {
        Shared().LanguageGerman = false;
        file("bad.bin", Bytes(100));
        FailReadsFrom(40);
        QStringList atMessage;
        log->onMessage = [&](const Message&) { atMessage = preview(); };
        click("bad.bin");
        QCOMPARE(log->texts(), QStringList{"file read error!"});
        QCOMPARE(atMessage, QStringList{"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEF"});
        // The dialog active again after the box: preview and size line empty.
        QCOMPARE(dialog->previewModel()->rowCount(), 0);
        QVERIFY(dialog->Label2->text().isEmpty());
        QCOMPARE(Shared().ImageFileName, "bad.bin");
    }

    void directoriesAndWorkingDirectory() {
        QVERIFY(QDir(dir->path()).mkdir("sub"));
        QVERIFY(QDir(dir->path()).mkdir(".hiddendir"));
        Write(path(".hidden"), "h");
        Write(path("sub/inner.bin"), "i");
        QVERIFY(::mkfifo(path("pipe").constData(), 0644) == 0);
        file("visible.bin", "v");
        QCOMPARE(QDir::currentPath(), QDir(dir->path()).canonicalPath());
        QCOMPARE(dialog->FileListBox1->count(), 1);
        QVERIFY(dialog->DirectoryListBox1->findItems(".hiddendir", Qt::MatchExactly).isEmpty());
        const QList<QListWidgetItem*> sub =
            dialog->DirectoryListBox1->findItems("sub", Qt::MatchExactly);
        QCOMPARE(sub.size(), 1);
        const QPoint at = dialog->DirectoryListBox1->visualItemRect(sub[0]).center();
        QTest::mouseClick(dialog->DirectoryListBox1->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(dialog->DirectoryListBox1->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(QDir::currentPath(), QDir(dir->path() + "/sub").canonicalPath());
        QCOMPARE(dialog->directory(), QDir::currentPath());
        QCOMPARE(dialog->FileListBox1->count(), 1);
        QCOMPARE(dialog->FileListBox1->item(0)->text(), "inner.bin");

        const QString before = dialog->directory();
        QVERIFY(!dialog->setDirectory(dir->path() + "/missing"));
        QVERIFY(!dialog->setDirectory(QString()));
        QCOMPARE(dialog->directory(), before);
        // The settings' drive letter is accepted and moves nothing.
        QVERIFY(dialog->setDrive("C"));
        QCOMPARE(dialog->drive(), "C");
        QCOMPARE(dialog->directory(), before);
        QVERIFY(dialog->DriveComboBox1->count() >= 1);
    }

    // Chosen with a preview in both forms, accepted, viewed and programmed.
    void fromTheMenuToTheChip() {
        Program program;
        program.start();
        TForm1* form = program.form();
        TDateiauswahl* selection = Forms().Dateiauswahl;
        const QString image = program.file(QStringLiteral("blink.bin"));
        const QByteArray bytes = Pattern(700);
        WriteBytes(image, bytes);
        int previewItems[2] = {};
        DuringNextEvents([&] {
            QVERIFY(selection->isVisible());
            QVERIFY(selection->setDirectory(program.dir.path()));
            ClickFile(selection, "blink.bin");
            previewItems[0] = selection->previewModel()->rowCount();
            selection->Button1->click();
            previewItems[1] = selection->previewModel()->rowCount();
            selection->OKBtn->click();
        });
        form->Dateiauswahl1->trigger();
        QCOMPARE(previewItems[0], 700 / 32 + 1);
        QCOMPARE(previewItems[1], 700 / 8 + 1);
        QCOMPARE(QFile::decodeName(QByteArray::fromStdString(Shared().ImageFile)), image);
        QVERIFY(form->Inhaltansehen3->isEnabled());
        QVERIFY(form->Brennen1->isEnabled());

        form->Inhaltansehen3->trigger();
        Tdateiinhalt_ansehen* viewer = Forms().dateiinhalt_ansehen;
        QVERIFY(viewer->isVisible());
        QCOMPARE(viewer->listingModel()->rowCount(), 700 / 56 + 1);
        QCOMPARE(viewer->windowTitle(), Utf8("Inhalt Datei ") + image + Utf8("   Größe:700 Byte"));

        Forms().Brennbox->show();
        Settle();
        Forms().Brennbox->OKButton->click();
        QCOMPARE(log->texts(), QStringList{Utf8("Programmierung erfolgreich!")});
        Forms().Brennbox->reject();
        const QByteArray flash = ChipFlash(program.chipPath, Chip::AT89C2051);
        QCOMPARE(flash.left(700), bytes);
    }
};

QTEST_MAIN(FileSelectionTest)

#include "file_selection_test.moc"
