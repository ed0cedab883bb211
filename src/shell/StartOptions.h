#pragma once
// The program's command line: what `talvo` was asked to do at start-up.
//
// --help and --version answer before anything else, without a display, whatever else the
// command line holds (QuickAnswerAsked, on the raw arguments). Everything else is parsed once
// into StartOptions after the application object was made: it takes Qt's own options
// (-platform, -style ...) out of the command line, and making it needs the display.

#include <optional>

#include <QString>
#include <QStringList>

#include "remote/RemoteHost.h"

namespace talvo {

// The text of --help, also printed after a refused command line.
const char *StartUsage();

enum class QuickAnswer { None, Help, Version };
// --help or -h, or --version, anywhere among the arguments (argv[0] is the program).
QuickAnswer QuickAnswerAsked(int argc, char **argv);

struct StartOptions {
    QString programFile;  // PROGRAM.VKP: opened at start-up, as File > Open... does
    bool demo = false;     // --demo: simulated amplifiers inside the program
    bool demoTcp = false;  // --tcp: the simulated amplifiers over TCP on the loopback address
    // --screenshot FILE: a picture of a window instead of the running program. `screenshot` is
    // whether the option was given; an empty FILE runs the program as usual.
    bool screenshot = false;
    QString screenshotPath;
    QString window = QStringLiteral("main");  // --window NAME: the window of the picture
    // --remote [HOST:]PORT: the room remote started with the program
    std::optional<ListenAddress> remote;

    // Why the command line is refused (one line, without the program's name); empty when it
    // is accepted.
    QString refusal;
};

// The arguments as QCoreApplication::arguments() gives them (the program first).
StartOptions ParseStartOptions(const QStringList &arguments);

}  // namespace talvo
