// What the chip dialogs have in common: a RunReporter made of their widgets,
// and the port that a dialog holds from its activation to its close.
#pragma once

#include <functional>

#include "chip/run_reporter.h"

class QLabel;
class QListWidget;
class QWidget;

namespace varnok {

class Gauge;

// Each part is optional: a dialog without a status line passes nullptr.
class DialogReporter : public RunReporter {
public:
    DialogReporter(QWidget* dialog, QLabel* status, Gauge* gauge, QListWidget* listing);
    ~DialogReporter() override;

    void setStatus(const std::string& text) override;
    void setGaugeMaximum(int maximum) override;
    void setGaugePosition(int position) override;
    // The busy pointer for the whole application; balanced however often it is called.
    void setBusy(bool busy) override;
    void message(MessageKind kind, const std::string& text) override;
    void clearListing() override;
    void addListingLine(const std::string& line) override;
    void processEvents() override;

    bool busy() const { return busy_; }
    // Told when the run turns the busy pointer on or off.
    std::function<void(bool)> onBusyChanged;

private:
    QWidget* dialog_;
    QLabel* status_;
    Gauge* gauge_;
    QListWidget* listing_;
    bool busy_ = false;
};

// The port a dialog needs between its activation and its close.
class PortHold {
public:
    ~PortHold() { release(); }
    // Opens the port unless this dialog holds it already; a failure is
    // reported over `parent` and returns false.
    bool acquire(QWidget* parent);
    void release();
    bool held() const { return held_; }

private:
    bool held_ = false;
};

// The general error report: the text of an error the run has no message of its own for.
void ReportRunError(QWidget* dialog, const std::exception& error);

}  // namespace varnok
