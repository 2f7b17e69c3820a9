// The file viewer: listing in both forms, caption, toggle captions, keys, and
// image files that cannot be read.
#include "files/file_viewer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QListWidget>
#include <QPushButton>

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
    for (int i = 0; i < size; ++i) bytes.append(static_cast<char>('a' + i % 26));
    return bytes;
}

}  // namespace

class FileViewerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir* dir = nullptr;
    TDateiauswahl* selection = nullptr;
    Tdateiinhalt_ansehen* viewer = nullptr;
    MessageLog* log = nullptr;

    QString image(const QByteArray& content, const QString& name = "image.bin") {
        const QString path = dir->filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) return {};
        file.close();
        Shared().ImageFile = QFile::encodeName(path).toStdString();
        return path;
    }
    int items() const { return viewer->listingModel()->rowCount(); }
    QString line(int i) const { return viewer->listingModel()->lineText(i); }

private slots:
    void init() {
        dir = new QTemporaryDir;
        Shared().LanguageGerman = true;
        Shared().ImageFile.clear();
        log = new MessageLog;
        log->onMessage = [](const Message& m) { QCOMPARE(m.kind, MessageKind::Error); };
        selection = new TDateiauswahl;
        QVERIFY(selection->setDirectory(dir->path()));
        viewer = new Tdateiinhalt_ansehen(nullptr);
    }
    void cleanup() {
        delete viewer;
        delete selection;
        SetReadFunction(nullptr);
        delete log;
        QDir::setCurrent(QDir::tempPath());
        delete dir;
    }

    void listingForms_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("fullLength");
        QTest::addColumn<QString>("last");
        QTest::newRow("2048 hexadecimal") << Bytes(2048) << true << 129 << 64 << "";
        QTest::newRow("2048 characters")
            << Bytes(2048) << false << 37 << 56 << QString::fromLatin1(Bytes(2048).right(32));
        QTest::newRow("56 characters") << Bytes(56) << false << 2 << 56 << "";
        QTest::newRow("empty") << QByteArray() << false << 1 << 0 << "";
        QTest::newRow("beyond any chip")
            << Bytes(5000) << false << 90 << 56 << QString::fromLatin1(Bytes(5000).right(16));
        QTest::newRow("02 AF 41 hexadecimal")
            << QByteArray("\x02\xAF\x41", 3) << true << 1 << 0 << "02  AF  41  ";
        // Every byte as its character, nothing replaced.
        QTest::newRow("02 AF 41 characters") << QByteArray("\x02\xAF\x41", 3) << false << 1 << 0
                                             << QStringLiteral(
                                                    "\x02\u00AF"
                                                    "A");
    }
    void listingForms() {
        QFETCH(QByteArray, content);
        QFETCH(bool, hex);
        QFETCH(int, count);
        QFETCH(int, fullLength);
        QFETCH(QString, last);
        const QString path = image(content);
        if (hex) viewer->Button1->click();  // nothing listed yet: only the form changes
        viewer->show();
        QVERIFY(log->messages.empty());
        QCOMPARE(items(), count);
        for (int i = 0; i + 1 < count; ++i) QCOMPARE(line(i).size(), fullLength);
        QCOMPARE(line(count - 1), last);
        QCOMPARE(viewer->windowTitle(),
                 QStringLiteral("Inhalt Datei %1   Größe:%2 Byte").arg(path).arg(content.size()));
    }

    void captionNamesTheListedFileNotTheSelectionsEntry() {
        Shared().LanguageGerman = false;
        image(Bytes(7), QStringLiteral("other.bin"));
        const QString path = image(Bytes(10));
        // The selection dialog points at another file (previewed, not accepted).
        QVERIFY(selection->setDirectory(dir->path()));
        selection->FileListBox1->setCurrentItem(
            selection->FileListBox1->findItems(QStringLiteral("other.bin"), Qt::MatchExactly)
                .value(0));
        viewer->show();
        QCOMPARE(viewer->windowTitle(), "file contains " + path + "   size:10 Byte");
    }

    void toggleCaptions_data() {
        QTest::addColumn<bool>("german");
        QTest::addColumn<QString>("toHex");
        QTest::addColumn<QString>("toCharacters");
        QTest::newRow("German") << true << "&Binär"
                                << "&Hexadezimal";
        QTest::newRow("English") << false << "&Binary"
                                 << "&Hexadicimal";
    }
    void toggleCaptions() {
        QFETCH(bool, german);
        QFETCH(QString, toHex);
        QFETCH(QString, toCharacters);
        Shared().LanguageGerman = german;
        image(Bytes(20));
        viewer->show();
        QCOMPARE(items(), 1);
        viewer->Button1->click();
        QCOMPARE(viewer->Button1->text(), toHex);
        QCOMPARE(line(0), "61  62  63  64  65  66  67  68  69  6A  6B  6C  6D  6E  6F  70  ");
        QCOMPARE(items(), 2);
        viewer->Button1->click();
        QCOMPARE(viewer->Button1->text(), toCharacters);
        QCOMPARE(items(), 1);
        // Form and caption survive the closing.
        viewer->Button1->click();
        viewer->OKButton->click();
        QVERIFY(!viewer->isVisible());
        viewer->show();
        QVERIFY(viewer->hexMode());
        QCOMPARE(viewer->Button1->text(), toHex);
        QCOMPARE(items(), 2);
    }

    void showingAgainListsOnce() {
        image(Bytes(100));
        viewer->show();
        viewer->OKButton->click();
        viewer->show();
        QCOMPARE(items(), 2);
        // Showing a visible viewer again only brings it forward.
        image(Bytes(500));
        viewer->show();
        QCOMPARE(items(), 2);
    }

    void unreadableImage_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("german");
        QTest::newRow("missing") << 0 << true;
        QTest::newRow("missing, English") << 0 << false;
        QTest::newRow("directory") << 1 << true;
        QTest::newRow("fifo") << 2 << true;
        QTest::newRow("device") << 3 << true;
        QTest::newRow("no permission") << 4 << true;
        QTest::newRow("empty path") << 5 << true;
    }
    void unreadableImage() {
        QFETCH(int, kind);
        QFETCH(bool, german);
        if (kind == 4 && ::geteuid() == 0) QSKIP("root reads any file");
        Shared().LanguageGerman = german;
        const QByteArray path = QFile::encodeName(dir->filePath("target"));
        switch (kind) {
            case 1:
                QVERIFY(::mkdir(path.constData(), 0755) == 0);
                break;
            case 2:
                QVERIFY(::mkfifo(path.constData(), 0644) == 0);
                break;
            case 3:
                QVERIFY(::symlink("/dev/zero", path.constData()) == 0);
                break;
            case 4:
                image("x", "target");
                QVERIFY(::chmod(path.constData(), 0) == 0);
                break;
            default:
                break;
        }
        Shared().ImageFile = kind == 5 ? std::string() : path.toStdString();
        viewer->setWindowTitle("before");
        viewer->show();
        QCOMPARE(log->texts(), QStringList{german ? "Datei kann nicht gelesen werden!"
                                                  : "File is not readable!"});
        QCOMPARE(items(), 0);
        QCOMPARE(viewer->windowTitle(), "before");
        // The toggle with an empty listing builds nothing.
        viewer->Button1->click();
        QCOMPARE(log->messages.size(), 1u);
        QVERIFY(viewer->hexMode());
    }

    void readErrorKeepsCompletedLines() {
        Shared().LanguageGerman = false;
        const QString path = image(Bytes(200));
        // Reads fail from byte 120 on.
        SetReadFunction([](int fd, void* buffer, std::size_t count) -> ssize_t {
            const off_t position = ::lseek(fd, 0, SEEK_CUR);
            if (position >= 120) {
                errno = EIO;
                return -1;
            }
            return ::read(fd, buffer, std::min<std::size_t>(count, 120 - position));
        });
        viewer->show();
        QCOMPARE(log->texts(), QStringList{"File read error!"});
        QCOMPARE(items(), 2);  // 112 of the 120 bytes read make whole lines
        QCOMPARE(line(1), QString::fromLatin1(Bytes(112).right(56)));
        QCOMPARE(viewer->windowTitle(), "file contains " + path + "   size:200 Byte");
    }

    void keys() {
        image(Bytes(10));
        viewer->show();
        QApplication::setActiveWindow(viewer);
        // Enter right after opening closes the viewer rather than toggling it.
        QCOMPARE(viewer->focusWidget(), static_cast<QWidget*>(viewer->OKButton));
        viewer->Button1->setFocus();
        QTest::keyClick(viewer->Button1, Qt::Key_Return);
        QVERIFY(viewer->isVisible());
        QVERIFY(viewer->hexMode());
        viewer->ListBox1->setFocus();
        QTest::keyClick(viewer->ListBox1, Qt::Key_Return);
        QVERIFY(!viewer->isVisible());
        viewer->show();
        viewer->ListBox1->setFocus();
        QTest::keyClick(viewer->ListBox1, Qt::Key_Escape);
        QVERIFY(!viewer->isVisible());
        viewer->show();
        viewer->ListBox1->setFocus();
        QTest::keyRelease(viewer->ListBox1, Qt::Key_Escape);
        QVERIFY(!viewer->isVisible());
    }
};

QTEST_MAIN(FileViewerTest)

#include "file_viewer_test.moc"
