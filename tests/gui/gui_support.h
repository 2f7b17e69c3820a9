// Helpers shared by the window tests: message boxes and help requests
// recorded instead of shown, a program with its seven windows on the
// simulator in virtual time, and files in a temporary directory.
#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "adapter/port_backend.h"
#include "app/forms.h"
#include "app/help_request.h"
#include "app/main_window.h"
#include "app/message_box.h"
#include "app/port_session.h"
#include "app/shared_state.h"
#include "sim/simulator.h"

namespace varnok::guitest {

struct Message {
    QWidget* parent;
    MessageKind kind;
    QString text;
};

// Every message box of its lifetime, answered at once.
class MessageLog {
public:
    MessageLog() {
        SetMessageHook([this](QWidget* parent, MessageKind kind, const QString& text) {
            messages.push_back({parent, kind, text});
            if (onMessage) onMessage(messages.back());
        });
    }
    ~MessageLog() { SetMessageHook(nullptr); }
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    QStringList texts() const {
        QStringList list;
        for (const Message& m : messages) list << m.text;
        return list;
    }
    void clear() { messages.clear(); }

    std::vector<Message> messages;
    // Runs while the box would be open.
    std::function<void(const Message&)> onMessage;
};

// The help topics asked for.
class HelpLog {
public:
    HelpLog() {
        SetHelpHook([this](QWidget* parent, int topic) { requests.push_back({parent, topic}); });
    }
    ~HelpLog() { SetHelpHook(nullptr); }
    HelpLog(const HelpLog&) = delete;
    HelpLog& operator=(const HelpLog&) = delete;
    std::vector<std::pair<QWidget*, int>> requests;
};

inline QString Utf8(const char* text) {
    return QString::fromUtf8(text);
}

inline QByteArray Pattern(int size, unsigned seed = 1) {
    QByteArray bytes(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (int i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}

inline void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

// The simulator behind the open port, if the port is the simulator.
inline sim::Simulator* OpenSimulator() {
    return dynamic_cast<sim::Simulator*>(InstalledPort());
}

// Opens the chip file on its own (no program holding it), for setting up or
// inspecting what a run left behind.
inline std::unique_ptr<sim::Simulator> ChipFile(const QString& path, Chip model) {
    sim::Options options;
    options.chipFile = QFile::encodeName(path).toStdString();
    options.model = model;
    options.time = sim::TimeMode::Virtual;
    return sim::Simulator::Open(options);
}

inline void LoadChip(const QString& path, Chip model, const QByteArray& flash, bool lock1 = false,
                     bool lock2 = false) {
    auto chip = ChipFile(path, model);
    std::vector<std::uint8_t> bytes(flash.begin(), flash.end());
    bytes.resize(static_cast<std::size_t>(ChipCapacity(model)), 0xFF);
    chip->loadChip(bytes, lock1, lock2);
}

inline QByteArray Flash(const sim::ChipSnapshot& chip) {
    return QByteArray(reinterpret_cast<const char*>(chip.flash.data()),
                      static_cast<qsizetype>(chip.flash.size()));
}

inline QByteArray ChipFlash(const QString& path, Chip model) {
    return Flash(ChipFile(path, model)->chip());
}

// The adapter's idle state as the chip sees it: no programming voltage, RST
// low, neither shift register driving its pins.
inline bool PinsIdle(const sim::PinSnapshot& pins) {
    return !pins.vpp12V && !pins.rstHigh && !pins.dataOutputsEnabled && !pins.controlOutputsEnabled;
}

// Sends a key the way the keyboard does: to the control with the focus.
inline void Press(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
}

// Lets a dialog that was just shown run its activation.
inline void Settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// Runs `action` the first time the event loop turns, which during a run is
// inside its first wait.
inline void DuringNextEvents(std::function<void()> action) {
    QTimer::singleShot(0, qApp, std::move(action));
}

// The program with its seven windows, started on the simulator in virtual
// time with a chip file of its own, working in a directory of its own.
class Program {
public:
    explicit Program(QStringList extraFaults = {}, bool trace = false) {
        QVERIFY(dir.isValid());
        previousDirectory_ = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("state"))));
        Shared() = SharedState{};
        chipPath = dir.filePath(QStringLiteral("chip.bin"));
        args.port = "sim";
        args.simTime = "virtual";
        args.simChip = QFile::encodeName(chipPath).toStdString();
        for (const QString& fault : extraFaults) args.simFaults.push_back(fault.toStdString());
        if (trace) {
            tracePath = dir.filePath(QStringLiteral("trace.txt"));
            args.trace = QFile::encodeName(tracePath).toStdString();
        }
        PortSession::Configure(args, true);
        PrepareApplication();
        owner_ = CreateForms();
    }
    ~Program() {
        owner_.reset();
        PortSession::Shutdown();
        QApplication::restoreOverrideCursor();
        while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
        QDir::setCurrent(previousDirectory_);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    TForm1* form() const { return Forms().Form1; }
    // Shows the main window, which runs start-up.
    void start() {
        form()->show();
        Settle();
    }
    // Another chip file (and chip type) from here on; no dialog may hold the port.
    void useChip(Chip model, const QString& name) {
        chipPath = dir.filePath(name);
        args.simChip = QFile::encodeName(chipPath).toStdString();
        PortSession::Configure(args, true);
        form()->SelectChip(model);
    }
    QString file(const QString& name) const { return dir.filePath(name); }
    // Binds `path` as the image file, as accepting it in the selection dialog does.
    void chooseImage(const QString& path) {
        Shared().ImageFile = QFile::encodeName(path).toStdString();
        Shared().ImageFileBound = true;
        form()->ImageFileAccepted();
    }

    // Writes `bytes` to `name` in the program's directory and binds it.
    QString bindImage(const QByteArray& bytes, const QString& name = QStringLiteral("image.bin")) {
        const QString path = file(name);
        WriteBytes(path, bytes);
        chooseImage(path);
        return path;
    }

    QTemporaryDir dir;
    QString chipPath;
    QString tracePath;
    BackendArgs args;

private:
    std::unique_ptr<FormOwner> owner_;
    QString previousDirectory_;
};

// Runs varnok-cli with `arguments`; returns its exit code (-1 if it did not run).
inline int RunCli(const QStringList& arguments, QByteArray* errorOutput = nullptr) {
    QProcess cli;
    cli.setProgram(QStringLiteral(VARNOK_CLI_PATH));
    cli.setArguments(arguments);
    cli.start();
    if (!cli.waitForFinished(120000)) return -1;
    if (errorOutput) *errorOutput = cli.readAllStandardError();
    return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
}

}  // namespace varnok::guitest
