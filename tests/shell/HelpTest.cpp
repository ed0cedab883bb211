#include <QDir>
#include <QFile>

#include "link/Settings.h"
#include "shell/HelpFile.h"
#include "ShellFixture.h"

namespace talvo::test {
namespace {

void Put(const QString &dir, const char *name = "VELK.chm") {
    QFile f(QDir(dir).filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

struct LookupCase {
    const char *name;
    bool inWorkingDir;
    bool inInstallDir;
    bool installPathSet;
    int expect;  // 0 none, 1 working directory, 2 installation directory
};

const LookupCase kLookup[] = {
    {"BothPrefersWorkingDir", true, true, true, 1},
    {"OnlyWorkingDir", true, false, true, 1},
    {"OnlyInstallDir", false, true, true, 2},
    {"Neither", false, false, true, 0},
    {"NoInstallPathAndNotInWorkingDir", false, true, false, 0},
};

class HelpLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(HelpLookup, FindsTheFile) {
    const LookupCase &c = GetParam();
    QTemporaryDir work, install;
    if (c.inWorkingDir) Put(work.path());
    if (c.inInstallDir) Put(install.path());
    const QString found = LocateHelpFile(work.path(), c.installPathSet ? install.path() : QString());
    const QString expected[] = {QString(), QDir(work.path()).filePath("VELK.chm"),
                                QDir(install.path()).filePath("VELK.chm")};
    EXPECT_EQ(found, expected[c.expect]);
}

INSTANTIATE_TEST_SUITE_P(, HelpLookup, ::testing::ValuesIn(kLookup),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(HelpLookupEdge, AFolderNamedLikeTheFileIsNotTheFile) {
    QTemporaryDir work, install;
    ASSERT_TRUE(QDir(work.path()).mkdir("VELK.chm"));
    Put(install.path());
    EXPECT_EQ(LocateHelpFile(work.path(), install.path()), QDir(install.path()).filePath("VELK.chm"));
}

// Help > Content through the main window: the working directory of the process, then
// `installpath` from the settings.
class HelpContent : public ShellFixture {
protected:
    void SetUp() override {
        ShellFixture::SetUp();
        previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(work.path()));
    }
    void TearDown() override {
        QDir::setCurrent(previous);
        ShellFixture::TearDown();
    }
    QString previous;
    QTemporaryDir work, install;
};

TEST_F(HelpContent, OpensTheWorkingDirectorysFileFirst) {
    Put(work.path());
    Put(install.path());
    ASSERT_TRUE(Settings::SetInstallPath(install.path()));
    window().Content1Click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(QFileInfo(opened[0]).canonicalFilePath(), QFileInfo(work.filePath("VELK.chm")).canonicalFilePath());
    EXPECT_TRUE(told.empty());
}

TEST_F(HelpContent, OpensTheInstallationsFileWhenTheWorkingDirectoryHasNone) {
    Put(install.path());
    ASSERT_TRUE(Settings::SetInstallPath(install.path()));
    window().Content1Click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QDir(install.path()).filePath("VELK.chm"));
}

TEST_F(HelpContent, WarnsWhenNeitherHasIt) {
    ASSERT_TRUE(Settings::SetInstallPath(install.path()));
    window().Content1Click();
    EXPECT_TRUE(opened.empty());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].icon, QMessageBox::Warning);
    EXPECT_EQ(told[0].caption, "TALVO");
    EXPECT_EQ(told[0].text, "Can not open VELK.chm.");
}

TEST_F(HelpContent, NoViewerForTheFileShowsNothing) {
    Put(work.path());
    openSucceeds = false;
    window().Content1Click();
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_TRUE(told.empty());
}

}  // namespace
}  // namespace talvo::test
