// talvoctl: TALVO amplifier programs and frames from the command line.

#include <cstdio>
#include <cstring>
#include <memory>

#include <QCoreApplication>
#include <QGuiApplication>

#include "Commands.h"
#include "talvo/Version.h"

namespace {

const char *const kUsage =
    "Usage: talvoctl COMMAND [ARGS...]\n"
    "\n"
    "Commands:\n"
    "  show [--json] FILE             print a .VKP (112 bytes) or .DMP (2240 bytes) file\n"
    "  pack FILE.json OUT             write the .VKP or .DMP file that `show --json` describes\n"
    "  frame [--sub N] ID COMMAND [DATA...]\n"
    "                                 print a command frame's wire bytes in hex\n"
    "  send --port PORT --id N [--sub S] COMMAND [DATA...] [--repeat K]\n"
    "                                 send the frame K times on PORT (COMn, a device path, or\n"
    "                                 tcp://HOST:PORT for a serial server on the network),\n"
    "                                 paced as the program paces it; print each reply\n"
    "  search --port PORT [--range 1-64|65-128|129-192|193-255]\n"
    "                                 probe every ID of the range (default 1-64) and print\n"
    "                                 `ID n` for each amplifier that answers, then a summary\n"
    "  connect --port PORT --id N [--sub S] [--mute] [--save FILE.VKP]\n"
    "                                 connect as the Connect window does; print ONLINE or\n"
    "                                 OFFLINE, then the firmware, program and bridge lines;\n"
    "                                 --save writes the live program when all of it arrived;\n"
    "                                 ends with the disconnect (exit 1 when offline)\n"
    "  set --port PORT --id N [--sub S] [--mute] KEY=VALUE...\n"
    "                                 connect, send each change as its editor does (gain,\n"
    "                                 delay, limiter, phase of left/right, mode), disconnect;\n"
    "                                 `talvoctl set --help` lists the keys\n"
    "  test --port PORT --id N [--sub S] sine [FREQ]|noise|sweep [--level DB]\n"
    "                                 put the amplifier into the sine or noise test, set the\n"
    "                                 test signal's level and frequency or sweep it;\n"
    "                                 `talvoctl test --help` says more\n"
    "  memory ACTION --port PORT --id N [--sub S] ...\n"
    "                                 the amplifier's program memory: list, read, backup,\n"
    "                                 write, restore, delete, recall; `talvoctl memory --help`\n"
    "  remote --port PORT --id N [--sub S] [--mute] --listen [HOST:]PORT [--qr]\n"
    "                                 connect and keep the link, serve the room remote's phone\n"
    "                                 page and JSON API, print its address with the pairing\n"
    "                                 token; Ctrl+C disconnects; `talvoctl remote --help`\n"
    "  inventory --port PORT... [--range 1-64|65-128|129-192|193-255] [--json]\n"
    "                                 search every bus at once and read each amplifier found:\n"
    "                                 firmware, mode, running program\n"
    "  plot FILE.VKP OUT.png [--channel left|right|both]\n"
    "                                 draw the program's PEQ and crossover curves as a PNG\n"
    "  eq import FILTERS.txt PROGRAM.VKP OUT.VKP --channel left|right|both\n"
    "                                 put a room-measurement filter file into the program's\n"
    "                                 PEQ bands; print what became of each filter and the fit\n"
    "  eq export PROGRAM.VKP --channel left|right [--out FILE]\n"
    "                                 the channel's PEQ bands as a filter file\n"
    "  --version                      print the version\n"
    "  --help                         this text; COMMAND --help: that command's usage\n"
    "\n"
    "connect, set and memory list|backup|restore|recall also take an ID list (--id 1-8,12,5.2)\n"
    "and --port several times (PORT=LIST: the IDs that port holds): each bus runs at once, its\n"
    "amplifiers one after another, and a summary ends the run (--json for scripts); Ctrl+C\n"
    "stops cleanly.\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 refused (bad arguments or bad input).\n";

}  // namespace

int main(int argc, char *argv[])
{
    // Drawing text needs the GUI side of Qt; the picture is made off-screen, so no display is
    // needed unless the caller chose a platform.
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && !std::strcmp(argv[1], "plot")) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // The platform's own notes (a missing runtime folder and the like) are no concern of a
        // picture written to a file; talvoctl's errors go to stderr by themselves.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
            if (type == QtFatalMsg)
                std::fprintf(stderr, "talvoctl: %s\n", qPrintable(message));
        });
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QStringList args = QCoreApplication::arguments().mid(1);
    QTextStream out(stdout);
    QTextStream err(stderr);

    if (args.isEmpty() || args.first() == "--help" || args.first() == "-h" || args.first() == "help") {
        out << kUsage;
        return args.isEmpty() ? talvo::cli::kExitRefused : talvo::cli::kExitOk;
    }

    if (args.first() == "--version") {
        out << "talvoctl " << talvo::kVersion << '\n';
        return talvo::cli::kExitOk;
    }

    const QString command = args.takeFirst();
    if (const talvo::cli::CommandFunction run = talvo::cli::FindCommand(command))
        return run(args, out, err);
    err << "talvoctl: unknown command '" << command << "' (try talvoctl --help)\n";
    return talvo::cli::kExitRefused;
}
