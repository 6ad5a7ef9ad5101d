#pragma once

#include "bus/drivers/DriverChoice.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <string>

namespace console {

// What the command line asks for.
struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Fail };
    Action action = Action::Run;
    // The chosen back end; `driver --help` prints the table instead.
    bus::BackEndChoice driver = bus::BackEndChoice{&bus::backEnds().front(), {}};
    // --driver or VIREON_DRIVER chose it; otherwise the remembered interface
    // may stand in.
    bool driverGiven = false;
    // Empty: no I/O trace.
    std::string tracePath;
    // The help or version text for standard output, or why the command line
    // was refused, for standard error.
    QString text;
};

// vireon [--driver NAME[:ARGS]|help] [--trace FILE] [--help] [--version]
// VIREON_DRIVER and VIREON_TRACE stand in for options not given; the command
// line wins. arguments[0] is the program.
CommandLine parseCommandLine(const QStringList& arguments, const QProcessEnvironment& environment);

} // namespace console
