#include "chip/run_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>

#include "app/gauge.h"
#include "app/message_box.h"
#include "app/port_session.h"

namespace varnok {

DialogReporter::DialogReporter(QWidget* dialog, QLabel* status, Gauge* gauge, QListWidget* listing)
    : dialog_(dialog), status_(status), gauge_(gauge), listing_(listing) {}

DialogReporter::~DialogReporter() {
    setBusy(false);
}

void DialogReporter::setStatus(const std::string& text) {
    if (!status_) return;
    status_->setText(QString::fromStdString(text));
    status_->adjustSize();
}

void DialogReporter::setGaugeMaximum(int maximum) {
    if (gauge_) gauge_->setMaxValue(maximum);
}

void DialogReporter::setGaugePosition(int position) {
    if (gauge_) gauge_->setProgress(position);
}

void DialogReporter::setBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
    if (onBusyChanged) onBusyChanged(busy);
}

void DialogReporter::message(MessageKind kind, const std::string& text) {
    ShowMessage(dialog_, kind, QString::fromStdString(text));
}

void DialogReporter::clearListing() {
    if (listing_) listing_->clear();
}

void DialogReporter::addListingLine(const std::string& line) {
    if (listing_) listing_->addItem(QString::fromStdString(line));
}

void DialogReporter::processEvents() {
    QCoreApplication::processEvents();
}

bool PortHold::acquire(QWidget* parent) {
    if (held_) return true;
    held_ = PortSession::Acquire(parent);
    return held_;
}

void PortHold::release() {
    if (!held_) return;
    held_ = false;
    PortSession::Release();
}

void ReportRunError(QWidget* dialog, const std::exception& error) {
    ShowMessage(dialog, MessageKind::Error, QString::fromUtf8(error.what()));
}

}  // namespace varnok
