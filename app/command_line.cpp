#include "app/command_line.h"

#include <QCommandLineParser>
#include <stdexcept>

#include "app/shared_state.h"

namespace varnok {

CommandLineResult ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Varnok: programs, reads out and erases AT89C1051/2051/4051 chips on a "
                       "parallel-port adapter."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Port: lpt1..lpt4, /dev/parportN, direct:ADDR or sim. Without it the "
                       "Hardware menu's LPT port is used through ppdev."),
        QStringLiteral("PORT"));
    const QCommandLineOption simChip(
        QStringLiteral("sim-chip"),
        QStringLiteral("Simulated chip file (default under $XDG_STATE_HOME/varnok/, one per "
                       "chip type, created erased)."),
        QStringLiteral("FILE"));
    const QCommandLineOption simTime(QStringLiteral("sim-time"),
                                     QStringLiteral("Simulator clock: virtual or real (default)."),
                                     QStringLiteral("MODE"), QStringLiteral("real"));
    const QCommandLineOption simFault(
        QStringLiteral("sim-fault"),
        QStringLiteral("Simulated fault: no-adapter, no-chip, stuck-p1=N:V, bad-cell=ADDR "
                       "(repeatable)."),
        QStringLiteral("FAULT"));
    const QCommandLineOption trace(
        QStringLiteral("trace"),
        QStringLiteral("Write the simulator's port trace to FILE; the simulator then stays open "
                       "from start to end."),
        QStringLiteral("FILE"));
    parser.addOptions({help, version, port, simChip, simTime, simFault, trace});

    CommandLineResult result;
    if (!parser.parse(arguments)) {
        result.exitCode = 1;
        result.output = QStringLiteral("varnok: ") + parser.errorText() + QLatin1Char('\n');
        return result;
    }
    if (parser.isSet(help)) {
        // Asked before the application exists, Qt does not know the name.
        result.output = parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                  QStringLiteral("varnok"));
        return result;
    }
    if (parser.isSet(version)) {
        result.output = QStringLiteral("varnok " VARNOK_VERSION "\n");
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.exitCode = 1;
        result.output = QStringLiteral("varnok: unexpected argument '%1'\n")
                            .arg(parser.positionalArguments().first());
        return result;
    }

    GuiOptions options;
    if (parser.isSet(port)) {
        options.backend.port = parser.value(port).toStdString();
        options.portGiven = true;
    }
    options.backend.simChip = parser.value(simChip).toStdString();
    options.backend.simTime = parser.value(simTime).toStdString();
    for (const QString& fault : parser.values(simFault))
        options.backend.simFaults.push_back(fault.toStdString());
    options.backend.trace = parser.value(trace).toStdString();
    try {
        ParseBackendArgs(options.backend, Chip::AT89C2051);
    } catch (const std::exception& e) {
        result.exitCode = 1;
        result.output =
            QStringLiteral("varnok: ") + QString::fromUtf8(e.what()) + QLatin1Char('\n');
        return result;
    }
    result.options = options;
    return result;
}

}  // namespace varnok
