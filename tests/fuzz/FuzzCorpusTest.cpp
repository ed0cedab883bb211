// Replays every saved fuzz input (tests/fuzz/corpus/<target>/) through the entry function its
// fuzz target drives: inputs that once broke a decoder, and the seeds that show each target
// the shape of its input. Each must pass the target's checks under the sanitizers.

#include <gtest/gtest.h>

#include <ostream>

#include <QDir>
#include <QFile>

#include "fuzz/FuzzEntries.h"
#include "tests/support/ParamNames.h"

namespace talvo::fuzz {
namespace {

struct SavedInput {
    const Entry *entry;
    QString path;
    std::string name;
};

// A failure names the file, not the bytes of the parameter.
void PrintTo(const SavedInput &input, std::ostream *os) { *os << input.path.toStdString(); }

std::vector<SavedInput> SavedInputs()
{
    std::vector<SavedInput> inputs;
    for (const Entry &entry : Entries()) {
        const QDir dir(QStringLiteral(TALVO_FUZZ_CORPUS) + QLatin1Char('/') + QLatin1String(entry.name));
        for (const QString &file : dir.entryList(QDir::Files, QDir::Name))
            inputs.push_back({&entry, dir.filePath(file),
                              testsupport::TestName(std::string(entry.name) + "_" + file.toStdString())});
    }
    return inputs;
}

class FuzzCorpus : public ::testing::TestWithParam<SavedInput> {};

TEST_P(FuzzCorpus, PassesTheTargetsChecks)
{
    QFile file(GetParam().path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(GetParam().path);
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(GetParam().entry->run(bytes), QString());
}

INSTANTIATE_TEST_SUITE_P(Saved, FuzzCorpus, ::testing::ValuesIn(SavedInputs()),
                         [](const auto &info) { return info.param.name; });

// Every target has inputs to start from, so that none is replayed by nobody.
TEST(FuzzCorpusFolders, EveryTargetHasSavedInputs)
{
    for (const Entry &entry : Entries()) {
        const QDir dir(QStringLiteral(TALVO_FUZZ_CORPUS) + QLatin1Char('/') + QLatin1String(entry.name));
        EXPECT_FALSE(dir.entryList(QDir::Files).isEmpty()) << entry.name;
    }
}

}  // namespace
}  // namespace talvo::fuzz
