// The read-out dialog: reads the chip's whole code memory into the scratch
// file "output.tmp", lists it as text while reading, and saves copies of it.
#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>

#include "chip/run_dialog.h"

class QFileDialog;
class QFrame;
class QListWidget;
class QPushButton;

class TAuslesenDlg : public QDialog {
    Q_OBJECT

public:
    explicit TAuslesenDlg(QWidget* parent = nullptr);
    ~TAuslesenDlg() override;

    QPushButton* OKBtn;
    QFrame* Panel1;
    QListWidget* ListBox1;
    varnok::Gauge* Gauge1;
    QPushButton* StartBTN;
    QFileDialog* SaveDialog1;
    QPushButton* HelpBtn;
    QPushButton* speicher_btn;

    // Steps 2 to 6 of the save, onto `target`: what speicher_btnClick does
    // once the user has chosen a name. False when nothing was saved (the user
    // has been told why).
    bool SaveScratchTo(const QString& target);
    // The scratch file of the last read-out (absolute), or "output.tmp" in the
    // working directory when there has been none since the dialog opened.
    QString scratchPath() const;

public slots:
    void FormActivate();
    void StartBTNClick();
    void speicher_btnClick();
    void OKBtnClick();
    void HelpBtnClick();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool FormKeyDown(QKeyEvent* event);
    void FormClose();
    // After a run: StartBTN enabled, with the focus back if the run took it.
    void EnableStart();

    std::unique_ptr<varnok::DialogReporter> reporter_;
    varnok::PortHold port_;
    QString scratch_;  // the file this dialog's read-out created, until the close deletes it
    QPointer<QWidget> lastFocus_;
    bool closePending_ = false;
    bool startHadFocus_ = false;
};
