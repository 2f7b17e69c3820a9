// varnok: the windows of the programmer.
#include <QApplication>
#include <cstdio>

#include "app/command_line.h"
#include "app/forms.h"
#include "app/main_window.h"
#include "app/port_session.h"

namespace {

int Finish(const varnok::CommandLineResult& command) {
    std::fputs(command.output.toLocal8Bit().constData(), command.exitCode == 0 ? stdout : stderr);
    return command.exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    QStringList raw;
    for (int i = 0; i < argc; ++i) raw << QString::fromLocal8Bit(argv[i]);
    // Help and version need no display, so they are answered before the
    // application connects to one.
    for (const QString& argument : raw.mid(1)) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h") ||
            argument == QLatin1String("--version"))
            return Finish(varnok::ParseCommandLine(raw));
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("varnok"));
    QApplication::setApplicationVersion(QStringLiteral(VARNOK_VERSION));
    // Qt has taken its own options (-platform and the like) out by now.
    const varnok::CommandLineResult command =
        varnok::ParseCommandLine(QCoreApplication::arguments());
    if (!command.options) return Finish(command);
    varnok::PortSession::Configure(command.options->backend, command.options->portGiven);
    varnok::PrepareApplication();

    const auto forms = varnok::CreateForms();
    TForm1* main = varnok::Forms().Form1;
    QObject::connect(main, &TForm1::programEnded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    main->show();
    const int status = app.exec();
    varnok::PortSession::Shutdown();
    return status;
}
