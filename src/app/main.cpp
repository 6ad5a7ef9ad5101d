#include "bus/drivers/DriverChoice.h"
#include "console/CommandLine.h"
#include "console/ManualForm.h"
#include "platform/DataFolder.h"
#include "platform/qt/QtDataFolder.h"
#include "platform/qt/QtFileDialogs.h"
#include "platform/qt/QtMessageBoxes.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/QtShell.h"

#include <QApplication>

#include <cstdio>
#include <string>

namespace {

void printLine(std::FILE* stream, const std::string& text) {
    std::fprintf(stream, "%s\n", text.c_str());
    std::fflush(stream);
}

QStringList argumentsOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

int main(int argc, char* argv[]) {
    // Help and version must work without a display, so the command line is
    // read before the application connects to one.
    const console::CommandLine line = console::parseCommandLine(
        argumentsOf(argc, argv), QProcessEnvironment::systemEnvironment());
    switch (line.action) {
    case console::CommandLine::Action::ShowHelp:
    case console::CommandLine::Action::ShowVersion:
        printLine(stdout, line.text.trimmed().toStdString());
        return 0;
    case console::CommandLine::Action::Fail:
        printLine(stderr, "vireon: " + line.text.toStdString() + " (see --help)");
        return 2;
    case console::CommandLine::Action::Run:
        break;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vireon"));
    // Lets Wayland desktops match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.vireon.Vireon"));
    platform::QtMessageBoxes boxes;

    platform::QtProgramExit exit;
    platform::QtFileDialogs fileDialogs;
    platform::QtShell shell;
    platform::QtSettingsStore settings;
    platform::LocalDataFolder dataFolder = platform::systemDataFolder();
    const auto traceStopped = [](const std::string& why) {
        printLine(stderr, "vireon: I/O trace stopped: " + why);
    };

    bus::DriverSelection selection = bus::selectDriver(line.driver, line.tracePath, traceStopped);
    std::string running = std::string(line.driver.backEnd->name) +
                          (line.driver.args.empty() ? "" : ":" + line.driver.args);
    for (;;) {
        for (const std::string& note : selection.notes)
            printLine(stderr, "vireon: " + note);
        if (!selection.driver) {
            printLine(stderr, "vireon: cannot start: " + selection.error);
            boxes.show(u"The console cannot start:\n" +
                           QString::fromStdString(selection.error).toStdU16String(),
                       u"Vireon", platform::Buttons::Ok, platform::Icon::Critical);
            return 1;
        }

        std::string next;
        {
            console::ManualForm form({*selection.driver, selection.simulated, boxes, exit,
                                      fileDialogs, shell, settings, dataFolder});
            form.benchCommands().setSaveBench(selection.saveBench);
            form.Form_Load();
            form.show();
            // A window that replaces another is not always activated by the
            // desktop, and its first activation loads the options.
            form.activateWindow();
            const int code = QApplication::exec();
            next = form.benchCommands().requestedBackEnd();
            if (next.empty()) return code;
        }
        // The window closed to start again on a bench from a file; one that
        // cannot be used is reported and the bench before it comes back.
        selection = {};
        bus::DriverSelection chosen = bus::selectDriver(next, line.tracePath, traceStopped);
        if (chosen.driver) {
            selection = std::move(chosen);
            running = next;
            continue;
        }
        boxes.show(
            u"The bench cannot be used:\n" + QString::fromStdString(chosen.error).toStdU16String(),
            u"Simulated Bench from File", platform::Buttons::Ok, platform::Icon::Exclamation);
        selection = bus::selectDriver(running, line.tracePath, traceStopped);
    }
}
