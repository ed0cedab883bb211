// talvoctl eq: measured EQ in and out. `import` reads a room-measurement filter file into the
// PEQ bands of a program file and says what became of every filter and how well the bands fit;
// `export` writes a program's bands as such a file for the measurement software.

#include "CliSupport.h"
#include "Commands.h"
#include "peq/MeasuredEq.h"
#include "programs/ProgramFile.h"
#include "programs/Windows1252.h"
#include "state/ProgramApply.h"

namespace talvo::cli {

namespace {

constexpr const char *kName = "eq";

const char *const kEqUsage =
    "usage: talvoctl eq import FILTERS.txt PROGRAM.VKP OUT.VKP --channel left|right|both\n"
    "       talvoctl eq export PROGRAM.VKP --channel left|right [--out FILE]\n"
    "\n"
    "import: reads a filter-settings file as room-measurement software writes it, one filter a\n"
    "line (\"Filter  1: ON  PK  Fc 63.0 Hz  Gain -5.0 dB  Q 4.00\" or \"Filter: ON PK Fc 63 Hz\n"
    "Gain -5.0 dB Q 4.00\"; OFF filters, comments and other lines are skipped), puts it into the\n"
    "three PEQ bands of the channel(s) of PROGRAM.VKP and writes the program as OUT.VKP; every\n"
    "other byte of the program stays as it was. A peaking filter becomes a band: frequency to\n"
    "the next step of the PEQ grid, gain to 0.1 dB within -12..+12, Q to the nearest Q the\n"
    "editor offers (tenths, 0.4..128); of more than three, the three with the largest effect\n"
    "on the response are kept. Shelf, pass and other filters are not imported; a band no\n"
    "filter is left for becomes FLAT. Prints what became of every filter and the fit: the\n"
    "largest difference in dB between the response the file's peaking filters ask for and the\n"
    "one the bands give, over 20 Hz-20 kHz (361 points, peaking filters at 48 kHz). OUT.VKP is\n"
    "written to a temporary file that then replaces it.\n"
    "\n"
    "export: writes the channel's three bands as a filter-settings file (\"Filter  1: ON  PK\n"
    "Fc ... Hz  Gain ... dB  Q ...\", a FLAT band as OFF) on standard output, or with --out to\n"
    "FILE, written to a temporary file that then replaces FILE. Importing it gives back the\n"
    "same bands.\n"
    "\n"
    "Exit status: 0 done; 1 a file could not be written; 2 refused, nothing written: bad\n"
    "arguments, a filter file that is empty, has no peaking filter that is ON, or has a value\n"
    "that is not a number or a frequency or Q no band can take (the line is named), a program\n"
    "file that is not one program record or holds a value no editor produces.\n";

// "left" / "right" (/ "both" where allowed) to the channels it names; empty when it names none.
std::vector<int> ChannelsNamed(const QString &text, bool bothAllowed)
{
    if (text == QLatin1String("left"))
        return {kLeftChannel};
    if (text == QLatin1String("right"))
        return {kRightChannel};
    if (bothAllowed && text == QLatin1String("both"))
        return {kLeftChannel, kRightChannel};
    return {};
}

// The program file as every reader of one takes it: one record, every value one an editor
// produces. Refused (the line written) otherwise.
std::optional<RecordImage> ReadProgram(const QString &path, QTextStream &err, int &status)
{
    RecordImage record{};
    const FileResult read = ReadCheckedRecordFile(path, record);
    if (!read.ok()) {
        status = Refuse(err, kName, read.message + QStringLiteral("; nothing written"));
        return std::nullopt;
    }
    return record;
}

// A written file's failure: a target that is no regular file is refused, anything else failed.
int WriteFailure(const FileResult &written, QTextStream &err)
{
    if (written.status == FileResult::Status::NotRegularFile)
        return Refuse(err, kName, written.message);
    err << "talvoctl eq: " << written.message << '\n';
    err.flush();
    return kExitFailed;
}

int Import(const CommandLine &line, QTextStream &out, QTextStream &err)
{
    if (line.positional.size() != 3)
        return Refuse(err, kName, QStringLiteral("import takes FILTERS.txt PROGRAM.VKP OUT.VKP (see talvoctl eq --help)"));
    if (line.value(QStringLiteral("--out")))
        return Refuse(err, kName, QStringLiteral("--out goes with export; import writes OUT.VKP"));
    const std::optional<QString> channelText = line.value(QStringLiteral("--channel"));
    if (!channelText)
        return Refuse(err, kName, QStringLiteral("missing --channel left|right|both"));
    const std::vector<int> channels = ChannelsNamed(*channelText, true);
    if (channels.empty())
        return Refuse(err, kName, QStringLiteral("--channel '%1' is not left, right or both").arg(*channelText));
    const QString &filtersPath = line.positional[0];
    const QString &programPath = line.positional[1];
    const QString &outPath = line.positional[2];

    const MeasuredEqRead read = ReadMeasuredEqFile(filtersPath);
    if (!read.ok())
        return Refuse(err, kName, read.error + QStringLiteral("; nothing written"));
    int status = kExitOk;
    std::optional<RecordImage> record = ReadProgram(programPath, err, status);
    if (!record)
        return status;

    const Program program = DecodeProgram(*record);
    std::vector<EqImportPlan> plans;
    for (int channel : channels) {
        const ChannelSettings &settings = channel == kLeftChannel ? program.left : program.right;
        plans.push_back(PlanEqImport(*read.eq, settings.peq));
        StoreBands(*record, channel, plans.back().bands, plans.back().flats);
    }
    const FileResult written = WriteRecordFile(outPath, *record);
    if (!written.ok())
        return WriteFailure(written, err);

    for (std::size_t i = 0; i < channels.size(); ++i) {
        out << (channels[i] == kLeftChannel ? "LEFT" : "RIGHT") << " channel:\n";
        for (const EqReportLine &report : plans[i].report)
            out << "  " << report.text << '\n';
        out << "  fit: " << FitText(plans[i]) << '\n';
    }
    out << "wrote " << outPath << '\n';
    out.flush();
    return kExitOk;
}

int Export(const CommandLine &line, QTextStream &out, QTextStream &err)
{
    if (line.positional.size() != 1)
        return Refuse(err, kName, QStringLiteral("export takes PROGRAM.VKP (see talvoctl eq --help)"));
    const std::optional<QString> channelText = line.value(QStringLiteral("--channel"));
    if (!channelText)
        return Refuse(err, kName, QStringLiteral("missing --channel left|right"));
    const std::vector<int> channels = ChannelsNamed(*channelText, false);
    if (channels.empty())
        return Refuse(err, kName, QStringLiteral("--channel '%1' is not left or right (a filter file holds one channel)")
                                      .arg(*channelText));
    int status = kExitOk;
    const std::optional<RecordImage> record = ReadProgram(line.positional[0], err, status);
    if (!record)
        return status;

    const Program program = DecodeProgram(*record);
    const int channel = channels.front();
    const ChannelSettings &settings = channel == kLeftChannel ? program.left : program.right;
    const QString heading = QStringLiteral("TALVO program \"%1\", %2 channel")
                                .arg(ProgramNameText(program.name).trimmed(),
                                     channel == kLeftChannel ? QStringLiteral("LEFT") : QStringLiteral("RIGHT"));
    const QString text = FilterFileText(settings.peq, settings.flat, heading);

    if (const std::optional<QString> outPath = line.value(QStringLiteral("--out"))) {
        const FileResult written = WriteFileAtomically(*outPath, text.toUtf8());
        if (!written.ok())
            return WriteFailure(written, err);
        out << "wrote " << *outPath << '\n';
    } else {
        out << text;
    }
    out.flush();
    return kExitOk;
}

}  // namespace

int RunEqCommand(const QStringList &args, QTextStream &out, QTextStream &err)
{
    if (HelpAsked(args, out, kEqUsage))
        return kExitOk;
    if (args.isEmpty())
        return Refuse(err, kName, QStringLiteral("give import or export (see talvoctl eq --help)"));
    const QString action = args.first();
    if (action != QLatin1String("import") && action != QLatin1String("export"))
        return Refuse(err, kName, QStringLiteral("unknown action '%1': import or export (see talvoctl eq --help)").arg(action));
    QString problem;
    const CommandLineSpec spec{{QStringLiteral("--channel"), QStringLiteral("--out")}, {}, true};
    const std::optional<CommandLine> line = ParseCommandLine(args.mid(1), spec, problem);
    if (!line)
        return Refuse(err, kName, problem + QStringLiteral(" (see talvoctl eq --help)"));
    return action == QLatin1String("import") ? Import(*line, out, err) : Export(*line, out, err);
}

}  // namespace talvo::cli
