#include "files/file_selection_dialog.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "app/help_request.h"
#include "app/icons.h"
#include "app/key_preview.h"
#include "app/message_box.h"
#include "app/shared_state.h"
#include "files/listing.h"
#include "files/listing_model.h"
#include "files/listing_view.h"

using varnok::Bilingual;
using varnok::MessageKind;
using varnok::Shared;

namespace {

namespace text {
constexpr Bilingual CannotOpenPreview{"Datei kann nicht geöfnet werden!",
                                      "File can not be oppened!"};
constexpr Bilingual PreviewReadError{"Lesefehler Datei!", "file read error!"};
constexpr Bilingual CannotOpenSelected{"Kann gewählte Datei nicht öffnen!",
                                       "Can not open selected file!"};
constexpr Bilingual TooLargeToList{"Datei ist zu groß, um sie vollständig im Speicher zu halten!",
                                   "File is too large to be held in memory completely!"};
constexpr Bilingual SizeLine{"Dateigröße: ", "File size: "};
constexpr Bilingual SizeUnit{" Byte", " Bytes"};
constexpr Bilingual ShowHexadecimal{"&Hexadezimal", "&Hexadecimal"};
constexpr Bilingual ShowCharacters{"&Binär", "&Binary"};
}  // namespace text

constexpr int kPathRole = Qt::UserRole;       // raw bytes of the full path (directories)
constexpr int kNameRole = Qt::UserRole;       // raw bytes of the name (files)
constexpr int kLevelRole = Qt::UserRole + 1;  // indentation of a directory item
constexpr int kHelpTopic = 103;
constexpr std::size_t kImageFileNameLimit = 100;

QString Text(const Bilingual& text) {
    return QString::fromUtf8(text(Shared().LanguageGerman));
}

QString Display(const QByteArray& raw) {
    return QFile::decodeName(raw);
}

QByteArray Join(const QByteArray& directory, const QByteArray& name) {
    return directory.endsWith('/') ? directory + name : directory + '/' + name;
}

QByteArray WorkingDirectory() {
    char* cwd = ::getcwd(nullptr, 0);
    if (!cwd) return QByteArrayLiteral("/");
    QByteArray result(cwd);
    std::free(cwd);
    return result;
}

struct DirectoryEntries {
    std::vector<QByteArray> directories;
    std::vector<QByteArray> files;
};

// Hidden entries (a leading dot) are left out. What is neither a directory
// nor a regular file (FIFO, device, socket, dangling link) is no image file
// and not listed either: it would only fail to open.
DirectoryEntries ReadDirectory(const QByteArray& path) {
    DirectoryEntries entries;
    DIR* dir = ::opendir(path.constData());
    if (!dir) return entries;
    const int fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        struct stat st;
        if (::fstatat(fd, entry->d_name, &st, 0) != 0) continue;
        if (S_ISDIR(st.st_mode))
            entries.directories.emplace_back(entry->d_name);
        else if (S_ISREG(st.st_mode))
            entries.files.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    const auto byName = [](const QByteArray& a, const QByteArray& b) {
        const int order = Display(a).compare(Display(b), Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    };
    std::sort(entries.directories.begin(), entries.directories.end(), byName);
    std::sort(entries.files.begin(), entries.files.end(), byName);
    return entries;
}

// The directory list draws the path from the root down, each level indented.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented(option);
        indented.rect.adjust(index.data(kLevelRole).toInt() * 8, 0, 0, 0);
        QStyledItemDelegate::paint(painter, indented, index);
    }
};

// The file list reports a released mouse button after it has handled it
// itself, so the selection it makes on the click is in place.
class FileList : public QListWidget {
public:
    using QListWidget::QListWidget;
    std::function<void()> onMouseUp;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QListWidget::mouseReleaseEvent(event);
        if (onMouseUp) onMouseUp();
    }
};

}  // namespace

TDateiauswahl::TDateiauswahl(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Dateiauswahl"));
    setWindowTitle(QStringLiteral("Auswahl der zu brennenden Datei"));
    setWindowIcon(varnok::ProgramIcon());
    setModal(true);
    QFont dialogFont(QStringLiteral("MS Sans Serif"));
    dialogFont.setPixelSize(11);
    dialogFont.setBold(true);
    setFont(dialogFont);
    setFixedSize(520, 366);

    // The frame first, so that it lies beneath the controls it encloses.
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    Bevel1->setGeometry(8, 16, 505, 281);

    DriveComboBox1 = new QComboBox(this);
    DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
    DriveComboBox1->setGeometry(16, 24, 193, 22);

    DirectoryListBox1 = new QListWidget(this);
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    DirectoryListBox1->setGeometry(16, 48, 193, 100);
    DirectoryListBox1->setItemDelegate(new IndentDelegate(DirectoryListBox1));
    DirectoryListBox1->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* files = new FileList(this);
    FileListBox1 = files;
    FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
    FileListBox1->setGeometry(16, 152, 193, 132);
    FileListBox1->setSelectionMode(QAbstractItemView::SingleSelection);

    previewModel_ = new varnok::ListingModel(this);
    ListBox1 = new varnok::ListingView(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(224, 24, 281, 212);
    ListBox1->setModel(previewModel_);
    ListBox1->setRowHeight(16);
    QFont previewFont(QStringLiteral("Arial"));
    previewFont.setPixelSize(13);
    previewFont.setBold(false);  // said outright, or the dialog's bold is inherited
    ListBox1->setFont(previewFont);
    QPalette previewPalette = ListBox1->palette();
    previewPalette.setColor(QPalette::Base, palette().color(QPalette::Window));
    previewPalette.setColor(QPalette::Text, Qt::black);
    ListBox1->setPalette(previewPalette);

    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(224, 244, 281, 14);
    QFont sizeFont(QStringLiteral("Arial"));
    sizeFont.setPixelSize(11);
    sizeFont.setBold(false);
    Label2->setFont(sizeFont);
    QPalette sizePalette = Label2->palette();
    sizePalette.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
    Label2->setPalette(sizePalette);

    Button1 = new QPushButton(this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(224, 260, 281, 25);

    OKBtn = new QPushButton(varnok::GlyphIcon(varnok::Glyph::Ok), QStringLiteral("&OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(8, 324, 121, 37);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(varnok::GlyphIcon(varnok::Glyph::Cancel),
                                QStringLiteral("&Abbrechen"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(196, 324, 121, 37);
    HelpBtn =
        new QPushButton(varnok::GlyphIcon(varnok::Glyph::Help), QStringLiteral("Hilfe"), this);
    HelpBtn->setObjectName(QStringLiteral("HelpBtn"));
    HelpBtn->setGeometry(384, 324, 121, 37);

    setTabOrder(DriveComboBox1, DirectoryListBox1);
    setTabOrder(DirectoryListBox1, FileListBox1);
    setTabOrder(FileListBox1, ListBox1);
    setTabOrder(ListBox1, Button1);
    setTabOrder(Button1, OKBtn);
    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, HelpBtn);
    DriveComboBox1->setFocus();

    connect(OKBtn, &QPushButton::clicked, this, &TDateiauswahl::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TDateiauswahl::CancelBtnClick);
    connect(HelpBtn, &QPushButton::clicked, this, &TDateiauswahl::HelpBtnClick);
    connect(Button1, &QPushButton::clicked, this, &TDateiauswahl::Button1Click);
    connect(DriveComboBox1, &QComboBox::activated, this, &TDateiauswahl::DriveComboBox1Change);
    connect(DirectoryListBox1, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) {
                DirectoryListBox1->setCurrentItem(item);
                openDirectoryItem();
            });
    files->onMouseUp = [this] { FileListBox1MouseUp(); };
    new varnok::KeyPreview(this, [this](QKeyEvent* event) { return FormKeyDown(event); });

    FormCreate();
    directory_ = WorkingDirectory();
    volumeDirectories_.clear();
    fillVolumes();
    fillDirectoryList();
    fillFileList();
}

void TDateiauswahl::FormCreate() {
    HexMode = false;
    Button1->setText(QStringLiteral("&Hexadezimal"));
}

// ---- directories and volumes ----

QString TDateiauswahl::directory() const {
    return Display(directory_);
}

bool TDateiauswahl::setDirectory(const QString& directory) {
    return setDirectoryBytes(QFile::encodeName(directory));
}

bool TDateiauswahl::setDirectoryBytes(const QByteArray& directory) {
    if (directory.isEmpty() || directory.contains('\0')) {
        errno = ENOENT;
        return false;
    }
    if (::chdir(directory.constData()) != 0) return false;
    directory_ = WorkingDirectory();
    fillVolumes();
    const int volume = DriveComboBox1->currentIndex();
    if (volume >= 0)
        volumeDirectories_[DriveComboBox1->itemData(volume).toByteArray()] = directory_;
    fillDirectoryList();
    fillFileList();
    return true;
}

bool TDateiauswahl::setDrive(const QString& drive) {
    if (drive.isEmpty()) return false;
    if (drive.size() == 1) return true;
    const int index = DriveComboBox1->findData(QFile::encodeName(drive));
    if (index < 0) return false;
    const QByteArray root = DriveComboBox1->itemData(index).toByteArray();
    if (DriveComboBox1->currentIndex() == index) return true;
    return setDirectoryBytes(volumeDirectories_.value(root, root));
}

QString TDateiauswahl::drive() const {
    return QStringLiteral("C");
}

QString TDateiauswahl::volume() const {
    return Display(DriveComboBox1->currentData().toByteArray());
}

int TDateiauswahl::volumeIndexFor(const QByteArray& path) const {
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < DriveComboBox1->count(); ++i) {
        const QByteArray root = DriveComboBox1->itemData(i).toByteArray();
        const bool holds = root == "/" || path == root || path.startsWith(Join(root, {}));
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

void TDateiauswahl::fillVolumes() {
    std::vector<std::pair<QByteArray, QString>> volumes;
    for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
        if (!storage.isValid() || !storage.isReady()) continue;
        const QByteArray root = QFile::encodeName(storage.rootPath());
        QString label = storage.rootPath();
        if (!storage.name().isEmpty() && storage.name() != storage.rootPath())
            label += QStringLiteral("  [") + storage.name() + QLatin1Char(']');
        volumes.emplace_back(root, label);
    }
    if (std::none_of(volumes.begin(), volumes.end(), [](const auto& v) { return v.first == "/"; }))
        volumes.emplace_back(QByteArrayLiteral("/"), QStringLiteral("/"));
    std::sort(volumes.begin(), volumes.end());
    volumes.erase(std::unique(volumes.begin(), volumes.end(),
                              [](const auto& a, const auto& b) { return a.first == b.first; }),
                  volumes.end());

    const QSignalBlocker blocker(DriveComboBox1);
    DriveComboBox1->clear();
    for (const auto& [root, label] : volumes) DriveComboBox1->addItem(label, root);
    DriveComboBox1->setCurrentIndex(volumeIndexFor(directory_));
}

void TDateiauswahl::fillDirectoryList() {
    DirectoryListBox1->clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const auto add = [this](const QIcon& icon, const QByteArray& name, const QByteArray& path,
                            int level) {
        auto* item = new QListWidgetItem(icon, Display(name), DirectoryListBox1);
        item->setData(kPathRole, path);
        item->setData(kLevelRole, level);
        return item;
    };

    QListWidgetItem* current = add(open, QByteArrayLiteral("/"), QByteArrayLiteral("/"), 0);
    QByteArray path;
    int level = 0;
    for (const QByteArray& part : directory_.split('/')) {
        if (part.isEmpty()) continue;
        path += '/' + part;
        current = add(open, part, path, ++level);
    }
    for (const QByteArray& name : ReadDirectory(directory_).directories)
        add(closed, name, Join(directory_, name), level + 1);
    DirectoryListBox1->setCurrentItem(current);
}

void TDateiauswahl::fillFileList() {
    FileListBox1->clear();
    for (const QByteArray& name : ReadDirectory(directory_).files) {
        auto* item = new QListWidgetItem(Display(name), FileListBox1);
        item->setData(kNameRole, name);
    }
}

void TDateiauswahl::openDirectoryItem() {
    const QListWidgetItem* item = DirectoryListBox1->currentItem();
    if (!item) return;
    const QByteArray path = item->data(kPathRole).toByteArray();
    if (path == directory_) return;
    if (!setDirectoryBytes(path)) {
        const int error = errno;
        fillDirectoryList();
        ShowMessage(
            this, MessageKind::Error,
            Display(path) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)));
        FormActivate();
    }
}

void TDateiauswahl::DriveComboBox1Change(int index) {
    const QByteArray root = DriveComboBox1->itemData(index).toByteArray();
    if (root.isEmpty() || index == volumeIndexFor(directory_)) return;
    const QByteArray remembered = volumeDirectories_.value(root, root);
    if (setDirectoryBytes(remembered) || (remembered != root && setDirectoryBytes(root))) return;
    const int error = errno;
    {
        const QSignalBlocker blocker(DriveComboBox1);
        DriveComboBox1->setCurrentIndex(volumeIndexFor(directory_));
    }
    ShowMessage(
        this, MessageKind::Error,
        Display(root) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)));
    FormActivate();
}

// ---- the file list and the preview ----

QByteArray TDateiauswahl::selectedFilePathBytes() const {
    const QList<QListWidgetItem*> selected = FileListBox1->selectedItems();
    if (selected.isEmpty()) return {};
    return Join(directory_, selected.first()->data(kNameRole).toByteArray());
}

QString TDateiauswahl::selectedFilePath() const {
    return Display(selectedFilePathBytes());
}

void TDateiauswahl::message(MessageKind kind, const Bilingual& text) {
    ShowMessage(this, kind, Text(text));
    FormActivate();
}

void TDateiauswahl::FormActivate() {
    previewModel_->clear();
    Label2->clear();
}

void TDateiauswahl::FileListBox1MouseUp() {
    previewRequest();
}

void TDateiauswahl::FileListBox1KeyPress(char key) {
    if (key == '\r') previewRequest();
}

void TDateiauswahl::previewRequest() {
    previewModel_->clear();
    PreviewFile = selectedFilePathBytes().toStdString();
    // With nothing selected (an empty directory, a click below the last
    // file) there is nothing to preview and nothing worth a message.
    if (PreviewFile.empty()) {
        Label2->clear();
        return;
    }
    const varnok::ListingFormat format = varnok::PreviewFormat(HexMode);
    varnok::FileSnapshot snapshot =
        varnok::FileSnapshot::Read(PreviewFile, varnok::ListingModel::ByteLimit(format));
    if (!snapshot.opened()) {
        message(MessageKind::Error, text::CannotOpenPreview);
        return;
    }
    Label2->setText(Text(text::SizeLine) + QString::number(snapshot.size()) + Text(text::SizeUnit));
    showPreview(std::move(snapshot));
}

void TDateiauswahl::BuildPreview() {
    previewModel_->clear();
    const varnok::ListingFormat format = varnok::PreviewFormat(HexMode);
    varnok::FileSnapshot snapshot =
        varnok::FileSnapshot::Read(PreviewFile, varnok::ListingModel::ByteLimit(format));
    if (!snapshot.opened()) return;
    showPreview(std::move(snapshot));
}

void TDateiauswahl::showPreview(varnok::FileSnapshot snapshot) {
    if (snapshot.status() == varnok::FileSnapshot::Status::TooLarge) {
        message(MessageKind::Error, text::TooLargeToList);
        return;
    }
    // The name of the file actually read, once a byte of it has been read.
    if (!snapshot.bytes().empty()) {
        const std::string::size_type slash = PreviewFile.rfind('/');
        Shared().ImageFileName = varnok::CutToCharacters(
            slash == std::string::npos ? PreviewFile : PreviewFile.substr(slash + 1),
            kImageFileNameLimit);
    }
    const bool readFailed = snapshot.status() == varnok::FileSnapshot::Status::ReadFailed;
    previewModel_->setListing(varnok::Listing(std::move(snapshot), varnok::PreviewFormat(HexMode)));
    if (readFailed) message(MessageKind::Error, text::PreviewReadError);
}

void TDateiauswahl::setButton1Caption() {
    Button1->setText(Text(HexMode ? text::ShowCharacters : text::ShowHexadecimal));
}

void TDateiauswahl::Button1Click() {
    HexMode = !HexMode;
    setButton1Caption();
    if (previewModel_->rowCount() >= 1) BuildPreview();
}

// ---- accept, cancel, help, keys ----

void TDateiauswahl::OKBtnClick() {
    const Bilingual& tooLarge = varnok::text::ImageTooLarge;
    varnok::SharedState& s = Shared();
    s.ImageFile = selectedFilePathBytes().toStdString();
    s.ImageFileBound = true;
    emit imageFileAccepted();
    const std::uint64_t capacity = static_cast<std::uint64_t>(varnok::ChipCapacity(s.ChipType));
    const std::optional<std::uint64_t> size = varnok::OpenedFileSize(s.ImageFile);
    if (!size) {
        message(MessageKind::Error, text::CannotOpenSelected);
        return;
    }
    if (*size > capacity) message(MessageKind::Warning, tooLarge);
    accept();
}

void TDateiauswahl::CancelBtnClick() {
    reject();
}

void TDateiauswahl::HelpBtnClick() {
    varnok::RequestHelp(this, kHelpTopic);
}

bool TDateiauswahl::FormKeyDown(QKeyEvent* event) {
    if (event->type() == QEvent::KeyRelease) return FormKeyUp(event);
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (modifiers == Qt::NoModifier) {
            // The focused push button, else the default button.
            if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
                button->click();
            else
                OKBtn->click();
            return true;
        }
        if (modifiers == Qt::ShiftModifier) {
            // The carriage return reaches the control as a typed character.
            if (focusWidget() == FileListBox1) {
                FileListBox1KeyPress('\r');
                return true;
            }
            if (focusWidget() == DirectoryListBox1) {
                openDirectoryItem();
                return true;
            }
        }
        return false;
    }
    if (key == Qt::Key_Escape && modifiers == Qt::NoModifier) {
        CancelBtn->click();
        return true;
    }
    return false;
}

bool TDateiauswahl::FormKeyUp(QKeyEvent* event) {
    if (event->isAutoRepeat()) return false;
    if (event->key() == Qt::Key_F1) {
        HelpBtn->click();
        return true;
    }
    if (event->key() == Qt::Key_Escape) {
        reject();
        return true;
    }
    return false;
}

void TDateiauswahl::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        // Mounts come and go between showings.
        fillVolumes();
        // Named after the form not shown, in the language of this showing.
        setButton1Caption();
        FormActivate();
    }
    QDialog::showEvent(event);
}

void TDateiauswahl::hideEvent(QHideEvent* event) {
    // The next showing empties the preview anyway; its memory goes now.
    if (!event->spontaneous()) previewModel_->clear();
    QDialog::hideEvent(event);
}
