#include "app/help_window.h"

#include <QDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

#include "app/message_box.h"
#include "app/settings.h"
#include "app/shared_state.h"
#include "chip/texts.h"

using namespace varnok;

namespace {

const int kTopics[] = {103, 104, 105, 108, 110};

QString SourceHelpDir() {
    return QDir::cleanPath(QFileInfo(QStringLiteral(__FILE__)).absolutePath() + "/../../help");
}

QString SourceHelpFile(const QString& name) {
    return SourceHelpDir() + "/" + name;
}

// Every named anchor of the document with the position of the text it marks.
QMap<QString, int> Anchors(const QTextDocument* doc) {
    QMap<QString, int> anchors;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            for (const QString& name : it.fragment().charFormat().anchorNames())
                anchors.insert(name, it.fragment().position());
    return anchors;
}

QStringList InternalLinks(const QTextDocument* doc) {
    QStringList links;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QString href = it.fragment().charFormat().anchorHref();
            if (href.startsWith('#')) links << href.mid(1);
        }
    return links;
}

// The document's text with every kind of line break as "\n" and runs of
// blanks as one, so a message can be looked for as the program writes it.
QString PlainText(const QTextDocument* doc) {
    QString text = doc->toPlainText();
    text.replace(QChar::LineSeparator, '\n').replace(QChar::ParagraphSeparator, '\n');
    text.replace(QChar::Nbsp, ' ');
    return text;
}

QString AsShown(const char* message) {
    return QString::fromUtf8(message).replace(QStringLiteral("\r"), QStringLiteral("\n"));
}

struct CapturedMessage {
    MessageKind kind;
    QString text;
};

}  // namespace

class HelpWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        Shared() = SharedState{};
        messages_.clear();
        SetMessageHook([this](QWidget*, MessageKind kind, const QString& text) {
            messages_.push_back({kind, text});
        });
        startCwd_ = QDir::currentPath();
    }

    void cleanup() {
        SetMessageHook(nullptr);
        QDir::setCurrent(startCwd_);
        delete CurrentHelpWindow();
    }

    void everyTopicOfBothFilesIsShownAtItsHeading_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("topic");
        for (const char* file : {"Varnok.hlp", "Englhelp.hlp"})
            for (int topic : kTopics)
                QTest::addRow("%s#%d", file, topic) << QString::fromLatin1(file) << topic;
    }

    void everyTopicOfBothFilesIsShownAtItsHeading() {
        QFETCH(QString, file);
        QFETCH(int, topic);
        Shared().LanguageGerman = file == "Varnok.hlp";
        ShowHelpTopic(nullptr, SourceHelpFile(file), topic);
        QVERIFY(messages_.empty());
        HelpWindow* window = CurrentHelpWindow();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTextBrowser* browser = window->browser();
        QCOMPARE(browser->source().fragment(), QString::number(topic));

        const QMap<QString, int> anchors = Anchors(browser->document());
        QVERIFY(anchors.contains(QString::number(topic)));
        QTextCursor cursor(browser->document());
        cursor.setPosition(anchors.value(QString::number(topic)));
        QCOMPARE(cursor.block().blockFormat().headingLevel(), 2);

        // The topic's heading is at the top of the view, or visible at all
        // when the document cannot scroll any further.
        const QScrollBar* bar = browser->verticalScrollBar();
        const QRect heading = browser->cursorRect(cursor);
        if (bar->value() < bar->maximum())
            QVERIFY2(qAbs(heading.top()) <= 4, qPrintable(QString::number(heading.top())));
        else
            QVERIFY(browser->viewport()->rect().contains(heading.topLeft()));
        QVERIFY(bar->value() > 0);
        QCOMPARE(window->windowTitle(), browser->documentTitle());
    }

    void eachFileHasTheFiveTopicsAndNoBrokenLinks_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("German") << "Varnok.hlp";
        QTest::newRow("English") << "Englhelp.hlp";
    }

    void eachFileHasTheFiveTopicsAndNoBrokenLinks() {
        QFETCH(QString, file);
        ShowHelpTopic(nullptr, SourceHelpFile(file), 110);
        QVERIFY(CurrentHelpWindow());
        const QTextDocument* doc = CurrentHelpWindow()->browser()->document();
        const QMap<QString, int> anchors = Anchors(doc);
        QCOMPARE(anchors.keys(), (QStringList{"103", "104", "105", "108", "110"}));
        for (const QString& link : InternalLinks(doc))
            QVERIFY2(anchors.contains(link), qPrintable(link));
        QVERIFY(!doc->metaInformation(QTextDocument::DocumentTitle).isEmpty());
    }

    void filesQuoteTheProgramsMessagesLetterForLetter_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("message");
        const Bilingual texts[] = {
            text::ImageUnreadable,    text::ImageTooLarge, text::LinkDefective, text::VerifyFailed,
            text::ProgrammingDone,    text::StatusStart,   text::StatusErase,   text::StatusProgram,
            text::StatusLockBits,     text::SaveNoScratch, text::SaveFailed,    text::EraseDone,
            text::EraseLinkDefective,
        };
        // The file-selection dialog's own messages.
        const Bilingual selection[] = {
            {"Datei kann nicht geöfnet werden!", "File can not be oppened!"},
            {"Lesefehler Datei!", "file read error!"},
            {"Kann gewählte Datei nicht öffnen!", "Can not open selected file!"},
        };
        // The viewer's, which has no topic of its own: the main window's topic tells.
        const Bilingual viewer[] = {
            {"Datei kann nicht gelesen werden!", "File is not readable!"},
            {"Lesefehler Datei!", "File read error!"},
        };
        int row = 0;
        for (const Bilingual& t : viewer) {
            QTest::addRow("de%d", row) << "Varnok.hlp" << AsShown(t.german);
            QTest::addRow("en%d", row++) << "Englhelp.hlp" << AsShown(t.english);
        }
        for (const Bilingual& t : texts) {
            QTest::addRow("de%d", row) << "Varnok.hlp" << AsShown(t.german);
            QTest::addRow("en%d", row++) << "Englhelp.hlp" << AsShown(t.english);
        }
        for (const Bilingual& t : selection) {
            QTest::addRow("de%d", row) << "Varnok.hlp" << AsShown(t.german);
            QTest::addRow("en%d", row++) << "Englhelp.hlp" << AsShown(t.english);
        }
        const QString settings = QString::fromStdString(CannotWriteSettingsMessage());
        QTest::newRow("de-settings") << "Varnok.hlp" << settings;
        QTest::newRow("en-settings") << "Englhelp.hlp" << settings;
    }

    void filesQuoteTheProgramsMessagesLetterForLetter() {
        QFETCH(QString, file);
        QFETCH(QString, message);
        QTextDocument doc;
        QFile in(SourceHelpFile(file));
        QVERIFY(in.open(QIODevice::ReadOnly));
        doc.setHtml(QString::fromUtf8(in.readAll()));
        QVERIFY2(PlainText(&doc).contains(message), qPrintable(message));
    }

    void missingFileIsReportedNotShown_data() {
        QTest::addColumn<bool>("german");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("German") << true << "Fehlt.hlp"
                                << "Die Hilfedatei \"Fehlt.hlp\" wurde nicht gefunden.";
        QTest::newRow("English") << false << "Missing.hlp"
                                 << "The help file \"Missing.hlp\" was not found.";
        QTest::newRow("NoName") << true << ""
                                << "Die Hilfedatei \"?\" wurde nicht gefunden.";
    }

    void missingFileIsReportedNotShown() {
        QFETCH(bool, german);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QTemporaryDir start;
        Shared().StartDirectory = start.path().toStdString();
        Shared().LanguageGerman = german;
        QVERIFY(QDir::setCurrent(start.path()));
        ShowHelpTopic(nullptr, name, 103);
        QCOMPARE(messages_.size(), std::size_t(1));
        QCOMPARE(messages_[0].kind, MessageKind::Error);
        QVERIFY2(messages_[0].text.startsWith(expected), qPrintable(messages_[0].text));
        if (!name.isEmpty()) QVERIFY(messages_[0].text.contains(start.path() + "/" + name));
        QVERIFY(!CurrentHelpWindow());
    }

    void searchTakesTheNameAsGivenThenTheStartDirectory() {
        QTemporaryDir work, start, data;
        auto put = [](const QString& path) {
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write("<html></html>") > 0;
        };
        QVERIFY(put(work.filePath("Varnok.hlp")));
        QVERIFY(put(start.filePath("Varnok.hlp")));
        QVERIFY(put(data.filePath("Varnok.hlp")));
        Shared().StartDirectory = start.path().toStdString();
        QVERIFY(QDir::setCurrent(work.path()));
        const QStringList dirs{start.path(), data.path()};

        // A bare name after a language switch: the working directory first.
        QCOMPARE(FindHelpFile("Varnok.hlp", dirs), work.filePath("Varnok.hlp"));
        QVERIFY(QFile::remove(work.filePath("Varnok.hlp")));
        QCOMPARE(FindHelpFile("Varnok.hlp", dirs), start.filePath("Varnok.hlp"));
        // The start-up name (start directory in front) that is not there any
        // more falls back to the later places.
        QVERIFY(QFile::remove(start.filePath("Varnok.hlp")));
        QCOMPARE(FindHelpFile(start.filePath("Varnok.hlp"), dirs), data.filePath("Varnok.hlp"));
        QCOMPARE(FindHelpFile("Englhelp.hlp", dirs), QString());
        // A directory of that name is no help file.
        QVERIFY(QDir(work.path()).mkdir("Englhelp.hlp"));
        QCOMPARE(FindHelpFile("Englhelp.hlp", dirs), QString());
    }

    // An old Windows help file of the same name kept among the images in the
    // working directory must not be shown as text.
    void aFileOfTheSameNameThatIsNotHtmlIsPassedOver() {
        QTemporaryDir work, start;
        QFile foreign(work.filePath("Varnok.hlp"));
        QVERIFY(foreign.open(QIODevice::WriteOnly));
        foreign.write(QByteArray("\x3F\x5F\x03\x00\x10\x00\x00\x00", 8) + QByteArray(500, '\0'));
        foreign.close();
        QFile ours(start.filePath("Varnok.hlp"));
        QVERIFY(ours.open(QIODevice::WriteOnly));
        ours.write("<!DOCTYPE html>\n<html><body><a name=\"110\"></a>Hilfe</body></html>\n");
        ours.close();
        QVERIFY(QDir::setCurrent(work.path()));
        QCOMPARE(FindHelpFile("Varnok.hlp", {start.path()}), start.filePath("Varnok.hlp"));
        QCOMPARE(FindHelpFile(work.filePath("Varnok.hlp"), {}), QString());
    }

    void searchDirectoriesStartWithTheStartDirectoryAndEndWithTheDataDirectory() {
        Shared().StartDirectory = "/srv/start";
        const QString app = QCoreApplication::applicationDirPath();
        QCOMPARE(HelpSearchDirectories(),
                 (QStringList{"/srv/start", QDir::cleanPath(app + "/../help"),
                              QDir::cleanPath(app + "/../share/varnok"),
                              QDir::cleanPath(QStringLiteral(VARNOK_DATA_DIR))}));
    }

    void buildTreeCopyIsFoundFromAnyWorkingDirectory() {
        // What a program run from the build tree relies on after a language
        // switch leaves the bare name.
        QTemporaryDir elsewhere;
        Shared().StartDirectory = elsewhere.path().toStdString();
        QVERIFY(QDir::setCurrent(elsewhere.path()));
        for (const char* name : {"Varnok.hlp", "Englhelp.hlp"}) {
            const QString found = FindHelpFile(QString::fromLatin1(name));
            QVERIFY2(!found.isEmpty(), name);
            QFile copy(found), source(SourceHelpFile(QString::fromLatin1(name)));
            QVERIFY(copy.open(QIODevice::ReadOnly) && source.open(QIODevice::ReadOnly));
            QCOMPARE(copy.readAll(), source.readAll());
        }
    }

    void helpIsUsableFromAModalDialog() {
        QDialog dialog;
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        ShowHelpTopic(&dialog, SourceHelpFile("Varnok.hlp"), 104);
        HelpWindow* window = CurrentHelpWindow();
        QVERIFY(window);
        QCOMPARE(window->parentWidget(), &dialog);
        QVERIFY(window->isWindow());
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // A click that goes through the window system, where the dialog's
        // modality would swallow it if the help window were blocked.
        auto* back = window->findChild<QPushButton*>(QStringLiteral("backButton"));
        QVERIFY(back);
        ShowHelpTopic(&dialog, SourceHelpFile("Varnok.hlp"), 110);
        QVERIFY(back->isEnabled());
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          back->mapTo(window, back->rect().center()));
        QCOMPARE(window->browser()->source().fragment(), QStringLiteral("104"));

        // The same window moves along when help is asked for elsewhere.
        QDialog other;
        ShowHelpTopic(&other, SourceHelpFile("Varnok.hlp"), 105);
        QCOMPARE(CurrentHelpWindow(), window);
        QCOMPARE(window->parentWidget(), &other);
        QVERIFY(window->isVisible());
        QCOMPARE(window->browser()->source().fragment(), QStringLiteral("105"));
    }

    void switchingLanguageShowsTheOtherFileWithAFreshHistory() {
        Shared().LanguageGerman = true;
        ShowHelpTopic(nullptr, SourceHelpFile("Varnok.hlp"), 103);
        ShowHelpTopic(nullptr, SourceHelpFile("Varnok.hlp"), 104);
        HelpWindow* window = CurrentHelpWindow();
        QVERIFY(window->browser()->isBackwardAvailable());
        const QString germanTitle = window->windowTitle();

        Shared().LanguageGerman = false;
        ShowHelpTopic(nullptr, SourceHelpFile("Englhelp.hlp"), 104);
        QCOMPARE(CurrentHelpWindow(), window);
        QCOMPARE(window->currentFile(), SourceHelpFile("Englhelp.hlp"));
        QVERIFY(!window->browser()->isBackwardAvailable());
        QVERIFY(window->windowTitle() != germanTitle);
        QVERIFY(PlainText(window->browser()->document()).contains("Programming the chip"));
    }

    void escapeClosesTheWindow() {
        ShowHelpTopic(nullptr, SourceHelpFile("Englhelp.hlp"), 110);
        HelpWindow* window = CurrentHelpWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::keyClick(window, Qt::Key_Escape);
        QTRY_VERIFY(!CurrentHelpWindow());
    }

private:
    std::vector<CapturedMessage> messages_;
    QString startCwd_;
};

QTEST_MAIN(HelpWindowTest)
#include "help_window_test.moc"
