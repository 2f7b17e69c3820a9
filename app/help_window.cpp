#include "app/help_window.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "app/message_box.h"
#include "app/shared_state.h"

namespace varnok {

namespace {

QPointer<HelpWindow> g_window;

void AddDirectory(QStringList& list, const QString& dir) {
    if (dir.isEmpty()) return;
    const QString clean = QDir::cleanPath(QDir(dir).absolutePath());
    if (!list.contains(clean)) list << clean;
}

// Our help files are HTML. A file of the same name that is not, such as an
// old Windows help file kept beside the user's images in the working
// directory, is passed over instead of being shown as garbage.
bool IsHtmlHelpFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(1024).toLower();
    return head.contains("<html") || head.contains("<!doctype html");
}

}  // namespace

QStringList HelpSearchDirectories() {
    QStringList dirs;
    AddDirectory(dirs, QString::fromStdString(Shared().StartDirectory));
    if (QCoreApplication::instance()) {
        const QString appDir = QCoreApplication::applicationDirPath();
        AddDirectory(dirs, appDir + "/../help");
        AddDirectory(dirs, appDir + "/../share/varnok");
    }
    AddDirectory(dirs, QStringLiteral(VARNOK_DATA_DIR));
    return dirs;
}

QStringList HelpFileCandidates(const QString& helpFileName, const QStringList& directories) {
    QStringList candidates;
    if (helpFileName.isEmpty()) return candidates;
    candidates << QDir::cleanPath(QFileInfo(helpFileName).absoluteFilePath());
    const QString bare = QFileInfo(helpFileName).fileName();
    if (bare.isEmpty()) return candidates;
    for (const QString& dir : directories) {
        const QString path = QDir::cleanPath(dir + "/" + bare);
        if (!candidates.contains(path)) candidates << path;
    }
    return candidates;
}

QString FindHelpFile(const QString& helpFileName, const QStringList& directories) {
    for (const QString& path : HelpFileCandidates(helpFileName, directories)) {
        const QFileInfo info(path);
        if (info.isFile() && info.isReadable() && IsHtmlHelpFile(path)) return path;
    }
    return {};
}

QString FindHelpFile(const QString& helpFileName) {
    return FindHelpFile(helpFileName, HelpSearchDirectories());
}

QString MissingHelpFileMessage(const QString& helpFileName, const QStringList& searched,
                               bool german) {
    const QString name = helpFileName.isEmpty() ? QStringLiteral("?") : helpFileName;
    QString text = german ? QStringLiteral("Die Hilfedatei \"%1\" wurde nicht gefunden.").arg(name)
                          : QStringLiteral("The help file \"%1\" was not found.").arg(name);
    if (!searched.isEmpty()) {
        text += german ? QStringLiteral("\n\nGesucht wurde in:\n")
                       : QStringLiteral("\n\nLooked for:\n");
        text += searched.join('\n');
    }
    return text;
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("HelpWindow"));
    resize(680, 560);

    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setOpenExternalLinks(true);

    contentsButton_ = new QPushButton(this);
    backButton_ = new QPushButton(this);
    forwardButton_ = new QPushButton(this);
    closeButton_ = new QPushButton(this);
    contentsButton_->setObjectName(QStringLiteral("contentsButton"));
    backButton_->setObjectName(QStringLiteral("backButton"));
    forwardButton_->setObjectName(QStringLiteral("forwardButton"));
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    backButton_->setEnabled(false);
    forwardButton_->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contentsButton_);
    buttons->addWidget(backButton_);
    buttons->addWidget(forwardButton_);
    buttons->addStretch();
    buttons->addWidget(closeButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_);

    connect(contentsButton_, &QPushButton::clicked, this,
            [this] { browser_->verticalScrollBar()->setValue(0); });
    connect(backButton_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forwardButton_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(closeButton_, &QPushButton::clicked, this, &QWidget::close);
    connect(browser_, &QTextBrowser::backwardAvailable, backButton_, &QWidget::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forwardButton_, &QWidget::setEnabled);
    connect(browser_, &QTextBrowser::sourceChanged, this, [this] { updateTitle(); });

    setCaptions(Shared().LanguageGerman);
}

void HelpWindow::setCaptions(bool german) {
    german_ = german;
    contentsButton_->setText(german ? QStringLiteral("&Inhalt") : QStringLiteral("&Contents"));
    backButton_->setText(german ? QStringLiteral("&Zurück") : QStringLiteral("&Back"));
    forwardButton_->setText(german ? QStringLiteral("&Vor") : QStringLiteral("&Forward"));
    closeButton_->setText(german ? QStringLiteral("&Schließen") : QStringLiteral("&Close"));
    updateTitle();
}

void HelpWindow::updateTitle() {
    const QString title = browser_->documentTitle();
    setWindowTitle(!title.isEmpty() ? title
                   : german_        ? QStringLiteral("Varnok – Hilfe")
                                    : QStringLiteral("Varnok – Help"));
}

void HelpWindow::showTopic(const QString& path, int contextNumber) {
    setCaptions(Shared().LanguageGerman);
    if (!isVisible()) show();
    // The anchor is scrolled to only once the browser is laid out, so the
    // window is shown before the source is set.
    QUrl url = QUrl::fromLocalFile(path);
    url.setFragment(QString::number(contextNumber));
    const bool otherFile = path != file_;
    file_ = path;
    browser_->setSource(url, QTextDocument::HtmlResource);
    // A fresh file starts a fresh history: "back" never leads into the other
    // language's file.
    if (otherFile) browser_->clearHistory();
    updateTitle();
    raise();
    activateWindow();
}

void HelpWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ShowHelpTopic(QWidget* parent, const QString& helpFileName, int contextNumber) {
    const QStringList directories = HelpSearchDirectories();
    const QString path = FindHelpFile(helpFileName, directories);
    if (path.isEmpty()) {
        ShowMessage(
            parent, MessageKind::Error,
            MissingHelpFileMessage(helpFileName, HelpFileCandidates(helpFileName, directories),
                                   Shared().LanguageGerman));
        return;
    }
    // A window that is not a child of the active modal dialog would be
    // blocked by it, and help is asked for from inside the modal dialogs.
    QWidget* owner = parent ? parent->window() : nullptr;
    if (!g_window) {
        g_window = new HelpWindow(owner);
        g_window->setAttribute(Qt::WA_DeleteOnClose);
    } else if (g_window->parentWidget() != owner) {
        const QRect geometry = g_window->geometry();
        g_window->setParent(owner, g_window->windowFlags() | Qt::Window);
        g_window->setGeometry(geometry);
    }
    g_window->showTopic(path, contextNumber);
}

HelpWindow* CurrentHelpWindow() {
    return g_window.data();
}

}  // namespace varnok
