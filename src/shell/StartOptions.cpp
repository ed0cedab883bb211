#include "shell/StartOptions.h"

#include <cstring>

#include <QCommandLineParser>

#include "shell/Screenshot.h"

namespace talvo {

namespace {

const char kUsage[] =
    "Usage: talvo [--demo [--tcp]] [--remote [HOST:]PORT] [--screenshot FILE [--window NAME]] [PROGRAM.VKP]\n"
    "  PROGRAM.VKP        open this program file at start-up, as File > Open... does\n"
    "  --remote [HOST:]PORT\n"
    "                     start the room remote (Tools > Room Remote...) with the program: the\n"
    "                     phone page and HTTP API on HOST (loopback unless given: an IPv4\n"
    "                     address, [IPv6], localhost or any) at PORT; its address with the\n"
    "                     pairing token goes to stderr\n"
    "  --demo             run on simulated amplifiers (IDs 1 and 3) on a pseudo-terminal inside\n"
    "                     the program; the remembered COM port is left as it is\n"
    "  --tcp              with --demo: reach them over TCP on the loopback address instead, as\n"
    "                     through a serial server on the network (tcp://127.0.0.1:PORT)\n"
    "  --screenshot FILE  save the main window as a PNG image after start-up, then quit\n"
    "  --window NAME      with --screenshot: the window to save instead: connect (the Connect\n"
    "                     window with the device list's first device), search (the Search window\n"
    "                     after a search of IDs 1..64), devices (the device list), or an editor\n"
    "                     with a program applied: gain-left, gain-right, delay-left,\n"
    "                     delay-right, limiter-left, limiter-right, peq-left, peq-right,\n"
    "                     xover-left, xover-right; sine (the sine generator in sine test\n"
    "                     mode) or main-sine (the main window in sine test mode);\n"
    "                     memory (after a Refresh, with --demo), manage, program-name;\n"
    "                     remote (the room remote started on loopback), eq-import (File >\n"
    "                     Import EQ... of a measurement's filter file)\n"
    "  --version          print the version\n"
    "  -h, --help         show this text\n";

bool HasArgument(int argc, char **argv, const char *name, const char *alias = nullptr)
{
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], name) || (alias && !std::strcmp(argv[i], alias)))
            return true;
    return false;
}

}  // namespace

const char *StartUsage() { return kUsage; }

QuickAnswer QuickAnswerAsked(int argc, char **argv)
{
    if (HasArgument(argc, argv, "--help", "-h"))
        return QuickAnswer::Help;
    if (HasArgument(argc, argv, "--version"))
        return QuickAnswer::Version;
    return QuickAnswer::None;
}

StartOptions ParseStartOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption demo(QStringLiteral("demo"));
    const QCommandLineOption demoTcp(QStringLiteral("tcp"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption window(QStringLiteral("window"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption remote(QStringLiteral("remote"), QString(), QStringLiteral("[HOST:]PORT"));
    parser.addOptions({demo, demoTcp, screenshot, window, remote});

    StartOptions options;
    QString why;
    if (!parser.parse(arguments)) {
        options.refusal = parser.errorText();
        return options;
    }
    const QStringList files = parser.positionalArguments();
    options.programFile = files.value(0);
    options.demo = parser.isSet(demo);
    options.demoTcp = parser.isSet(demoTcp);
    options.screenshot = parser.isSet(screenshot);
    options.screenshotPath = parser.value(screenshot);
    if (parser.isSet(window))
        options.window = parser.value(window);

    if (files.size() > 1)
        options.refusal = QStringLiteral("unexpected argument '%1' (one program file at most)").arg(files.value(1));
    else if (options.demoTcp && !options.demo)
        options.refusal = QStringLiteral("--tcp goes with --demo");
    else if (parser.isSet(remote) && !(options.remote = ParseListenAddress(parser.value(remote), why)))
        options.refusal = QStringLiteral("--remote: %1").arg(why);
    else if (parser.isSet(window) && !options.screenshot)
        options.refusal = QStringLiteral("--window goes with --screenshot");
    else if (parser.isSet(window) && !ScreenshotWindows().contains(options.window))
        options.refusal = QStringLiteral("unknown window '%1'").arg(options.window);
    return options;
}

}  // namespace talvo
