// The image file selection: drive box, directory list and file list joined to
// a preview of the file under the cursor, as characters or hexadecimal values,
// and a line with its size. Accepting a file makes it the image file that the
// programming dialog burns and the viewer lists.
//
// File and directory names are kept as the bytes the system gave them, so a
// name that is not valid UTF-8 can still be previewed, accepted and opened;
// only its display passes through a decoding.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QHash>
#include <string>

#include "chip/run_reporter.h"
#include "chip/texts.h"
#include "files/listing.h"

class QComboBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QListWidget;
class QPushButton;

namespace varnok {
class ListingModel;
class ListingView;
}  // namespace varnok

class TDateiauswahl : public QDialog {
    Q_OBJECT

public:
    explicit TDateiauswahl(QWidget* parent = nullptr);

    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QPushButton* HelpBtn;
    QFrame* Bevel1;
    QListWidget* FileListBox1;
    QListWidget* DirectoryListBox1;
    QComboBox* DriveComboBox1;
    varnok::ListingView* ListBox1;
    QPushButton* Button1;
    QLabel* Label2;

    // Full path of the file selected in FileListBox1; empty when none is.
    QString selectedFilePath() const;
    QByteArray selectedFilePathBytes() const;
    // Shows `directory` in the lists and makes it the working directory;
    // false (nothing changed) if it cannot be entered.
    bool setDirectory(const QString& directory);
    bool setDirectoryBytes(const QByteArray& directory);
    QString directory() const;
    QByteArray directoryBytes() const { return directory_; }
    // Linux has no drive letters: the settings' single letter is accepted and
    // changes nothing, so the directory restored just before it stays. A
    // volume's mount point chooses that volume, as the drive box does.
    bool setDrive(const QString& drive);
    // The letter kept in the settings: every volume lies in the one tree, "C".
    QString drive() const;
    // Mount point of the volume that holds the directory shown.
    QString volume() const;

    bool hexMode() const { return HexMode; }
    varnok::ListingModel* previewModel() const { return previewModel_; }

    // The event handlers, named after their control and event.
    void FormCreate();
    void FormActivate();
    void FileListBox1MouseUp();
    void FileListBox1KeyPress(char key);
    void Button1Click();
    void OKBtnClick();
    void CancelBtnClick();
    void HelpBtnClick();
    // True when it has consumed the key.
    bool FormKeyUp(QKeyEvent* event);

signals:
    // A file has been accepted and bound as the image file: the main window
    // enables viewing and programming.
    void imageFileAccepted();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool FormKeyDown(QKeyEvent* event);
    void previewRequest();
    void BuildPreview();
    void showPreview(varnok::FileSnapshot snapshot);
    // A box of `kind`; when it closes the dialog is active again (FormActivate).
    void message(varnok::MessageKind kind, const varnok::Bilingual& text);
    void fillVolumes();
    void fillDirectoryList();
    void fillFileList();
    void DriveComboBox1Change(int index);
    void openDirectoryItem();
    int volumeIndexFor(const QByteArray& path) const;
    void setButton1Caption();

    bool HexMode = false;
    // The file under preview: every build reads it again from its first byte.
    std::string PreviewFile;
    QByteArray directory_;
    // Each volume's last directory, as each drive had its current directory.
    QHash<QByteArray, QByteArray> volumeDirectories_;
    varnok::ListingModel* previewModel_;
};
