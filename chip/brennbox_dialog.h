// The programming dialog: burns the chosen image file into the chip, with
// erase, a link check and a verify for every byte, and the lock bits on request.
#pragma once

#include <QDialog>
#include <memory>

#include "chip/run_dialog.h"

class QCheckBox;
class QLabel;
class QPushButton;

class TBrennbox : public QDialog {
    Q_OBJECT

public:
    explicit TBrennbox(QWidget* parent = nullptr);

    QLabel* Label1;  // the file
    QLabel* Label2;  // its size
    QCheckBox* CheckBox1;
    varnok::Gauge* Gauge1;
    QLabel* status;
    QPushButton* OKButton;
    QPushButton* BitBtn1;
    QPushButton* hilfebtn;

    // Bytes programmed and read back correctly in the last run.
    int bytesDone() const { return BytesDone; }

public slots:
    void FormActivate();
    void OKButtonClick();
    void BitBtn1Click();
    void hilfebtnClick();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool FormKeyUp(QKeyEvent* event);
    void FormClose();

    std::unique_ptr<varnok::DialogReporter> reporter_;
    varnok::PortHold port_;
    int BytesDone = 0;
    bool closePending_ = false;
    bool activationPending_ = false;  // shown, but FormActivate has not run yet
    int keyDown_ = 0;                 // Escape or F1 while its press, seen here, awaits its release
};
