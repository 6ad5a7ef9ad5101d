#include "bus/drivers/DriverChoice.h"
#include "console/CommandLine.h"
#include "console/InterfaceDialog.h"
#include "console/Options.h"
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

    bus::BackEndChoice start = line.driver;
    // The interface chosen in an earlier run, unless the command line or the
    // environment names one.
    if (!line.driverGiven) {
        std::string ignored;
        const auto remembered = settings.read(console::kSettingsSection, console::kInterfaceKey);
        if (remembered && !remembered->empty()) {
            if (auto parsed = bus::parseBackEndChoice(
                    QString::fromStdU16String(*remembered).toLocal8Bit().toStdString(), ignored))
                start = *parsed;
        }
    }
    bus::DriverSelection selection = bus::selectDriver(start, line.tracePath, traceStopped);
    if (!selection.driver && start.backEnd != line.driver.backEnd) {
        // A remembered adapter that is not plugged in does not stop the start.
        printLine(stderr, "vireon: the interface chosen before cannot be used: " + selection.error);
        start = line.driver;
        selection = bus::selectDriver(start, line.tracePath, traceStopped);
    }
    std::string running =
        std::string(start.backEnd->name) + (start.args.empty() ? "" : ":" + start.args);
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
        bool interfaceChosen = false;
        {
            console::ManualForm form({*selection.driver, selection.simulated, boxes, exit,
                                      fileDialogs, shell, settings, dataFolder});
            form.benchCommands().setSaveBench(selection.saveBench);
            form.benchCommands().setCurrentBackEnd(running);
            form.Form_Load();
            const std::string adapter = console::interfaceCaption(running);
            if (!adapter.empty())
                form.setWindowTitle(form.windowTitle() + QStringLiteral(" [") +
                                    QString::fromLocal8Bit(adapter) + QStringLiteral("]"));
            form.show();
            // A window that replaces another is not always activated by the
            // desktop, and its first activation loads the options.
            form.activateWindow();
            const int code = QApplication::exec();
            next = form.benchCommands().requestedBackEnd();
            interfaceChosen = form.benchCommands().interfaceChosen();
            if (next.empty()) return code;
        }
        // The window closed to start again on a bench from a file; one that
        // cannot be used is reported and the bench before it comes back.
        selection = {};
        bus::DriverSelection chosen = bus::selectDriver(next, line.tracePath, traceStopped);
        if (chosen.driver) {
            selection = std::move(chosen);
            running = next;
            if (interfaceChosen)
                settings.write(console::kSettingsSection, console::kInterfaceKey,
                               QString::fromLocal8Bit(next).toStdU16String());
            continue;
        }
        if (interfaceChosen) {
            boxes.show(u"The interface cannot be used:\n" +
                           QString::fromStdString(chosen.error).toStdU16String(),
                       u"Interface", platform::Buttons::Ok, platform::Icon::Exclamation);
            selection = bus::selectDriver(running, line.tracePath, traceStopped);
            continue;
        }
        boxes.show(
            u"The bench cannot be used:\n" + QString::fromStdString(chosen.error).toStdU16String(),
            u"Simulated Bench from File", platform::Buttons::Ok, platform::Icon::Exclamation);
        selection = bus::selectDriver(running, line.tracePath, traceStopped);
    }
}
