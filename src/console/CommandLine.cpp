#include "console/CommandLine.h"

#include "core/Version.h"
#include "platform/qt/QtText.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>

namespace console {

CommandLine parseCommandLine(const QStringList& arguments, const QProcessEnvironment& environment) {
    CommandLine result;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Operator console for GPIB (IEEE 488) instruments."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption driver(
        QStringLiteral("driver"),
        QStringLiteral("Bus back end: auto (the GPIB library when its board answers, else the simulated "
                       "bench), sim, gpib, ...; \"--driver help\" lists them all. "
                       "Default: $VIREON_DRIVER, else auto."),
        QStringLiteral("NAME[:ARGS]"));
    const QCommandLineOption trace(
        QStringLiteral("trace"),
        QStringLiteral("Write every driver call to FILE (JSON Lines). Default: $VIREON_TRACE."),
        QStringLiteral("FILE"));
    parser.addOptions({help, version, driver, trace});

    if (!parser.parse(arguments)) {
        result.action = CommandLine::Action::Fail;
        result.text = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.action = CommandLine::Action::ShowHelp;
        // The command line is read before the application exists, so the
        // parser cannot name the program itself.
        QString text = parser.helpText();
        text.replace(
            0, text.indexOf(QLatin1Char('\n')),
            QStringLiteral("Usage: %1 [options]").arg(QFileInfo(arguments.value(0)).fileName()));
        result.text = text;
        return result;
    }
    if (parser.isSet(version)) {
        result.action = CommandLine::Action::ShowVersion;
        result.text = QStringLiteral("Vireon ") + platform::toQString(buildVersion().VersionText);
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.action = CommandLine::Action::Fail;
        result.text = QStringLiteral("unexpected argument \"%1\"")
                          .arg(parser.positionalArguments().constFirst());
        return result;
    }

    QString kind = environment.value(QStringLiteral("VIREON_DRIVER"));
    QString from = QStringLiteral("VIREON_DRIVER");
    if (parser.isSet(driver)) {
        kind = parser.value(driver);
        from = QStringLiteral("--driver");
    }
    if (kind.compare(QStringLiteral("help"), Qt::CaseInsensitive) == 0) {
        result.action = CommandLine::Action::ShowHelp;
        result.text = QString::fromStdString(bus::backEndList());
        return result;
    }
    if (!kind.isEmpty()) {
        std::string error;
        const auto parsed = bus::parseBackEndChoice(kind.toLocal8Bit().toStdString(), error);
        if (!parsed) {
            result.action = CommandLine::Action::Fail;
            result.text = QString::fromStdString(error) + QStringLiteral(" in ") + from;
            return result;
        }
        result.driver = *parsed;
        result.driverGiven = true;
    }

    const QString tracePath = parser.isSet(trace)
                                  ? parser.value(trace)
                                  : environment.value(QStringLiteral("VIREON_TRACE"));
    result.tracePath = tracePath.toLocal8Bit().toStdString();
    return result;
}

} // namespace console
