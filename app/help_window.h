// The program's own help window, and where it finds the help files.
//
// A help file is one HTML document with an anchor per context number (103 file
// selection, 104 programming, 105 read-out, 108 erase, 110 main window). The
// name handed in may be a full path (start-up puts the start directory in
// front) or a bare name (a language switch leaves it so). It is looked for:
//   1. as given: absolute, or relative to the working directory, which follows
//      the file-selection dialog;
//   2. by its bare name in the directory the program was started from;
//   3. in help/ beside the directory of the executable (a build tree);
//   4. in share/varnok beside the directory of the executable (an installed
//      tree that was moved after installation);
//   5. in the data directory the program was installed for (VARNOK_DATA_DIR).
// A file of that name that is not HTML does not count, and the search goes on.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QPushButton;
class QTextBrowser;

namespace varnok {

// The directories of steps 2 to 5, in order, without duplicates.
QStringList HelpSearchDirectories();
// Every path tried for `helpFileName`, in order: the name as given, then its
// bare name in each of `directories`.
QStringList HelpFileCandidates(const QString& helpFileName, const QStringList& directories);
// The first candidate that is a readable HTML file; empty if there is none.
QString FindHelpFile(const QString& helpFileName, const QStringList& directories);
QString FindHelpFile(const QString& helpFileName);

// What the user is told when no help file is found, in the interface language.
QString MissingHelpFileMessage(const QString& helpFileName, const QStringList& searched,
                               bool german);

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows `path` scrolled to the topic; the file is loaded only if it is not
    // the one already shown. A number without an anchor shows the file's start.
    void showTopic(const QString& path, int contextNumber);

    QTextBrowser* browser() const { return browser_; }
    QString currentFile() const { return file_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setCaptions(bool german);
    void updateTitle();

    QTextBrowser* browser_;
    QPushButton* contentsButton_;
    QPushButton* backButton_;
    QPushButton* forwardButton_;
    QPushButton* closeButton_;
    QString file_;
    bool german_ = true;
};

// Finds `helpFileName`, shows topic `contextNumber` in the one help window and
// brings it to the front. The window belongs to `parent`'s window, so that it
// can be used while that window is a modal dialog. A help file that cannot be
// found gives a message box listing where it was looked for.
void ShowHelpTopic(QWidget* parent, const QString& helpFileName, int contextNumber);

// The help window if one is open, else nullptr.
HelpWindow* CurrentHelpWindow();

}  // namespace varnok
