// File > New, Open... and Save... in the main window, with the file dialogs and questions
// answered by the test.

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "ShellFixture.h"
#include "editors/DelayModel.h"
#include "editors/EditorModels.h"
#include "link/Settings.h"
#include "programs/ProgramFile.h"
#include "state/ProgramApply.h"

namespace talvo::test {
namespace {

class ProgramFileMenu : public ShellFixture {
protected:
    QString file(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    static void Write(const QString &path, const QByteArray &bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray Read(const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QByteArray Bytes(const RecordImage &r) { return QByteArray(reinterpret_cast<const char *>(r.data()), kRecordSize); }
    // A record with the left delay at 3.50 ms and the name "Bass".
    static RecordImage Delayed() {
        Program p = DecodeProgram(DefaultProgram());
        p.left.delay = 3.5;
        const char name[] = "Bass      ";
        std::copy(name, name + kNameSize, p.name.begin());
        return EncodeProgram(p);
    }
    QString label() { return window().openedFileLabel()->text(); }

    QTemporaryDir dir;
};

TEST_F(ProgramFileMenu, SavingWithoutExtensionWritesVkpWithTheGatheredProgram) {
    window();
    saveChoices = {file("stage")};
    window().Save1Click();
    const QByteArray saved = Read(file("stage.VKP"));
    ASSERT_EQ(saved.size(), kRecordSize);
    EXPECT_EQ(saved.left(kNameSize), QByteArray("stage     "));
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(told.empty());
}

TEST_F(ProgramFileMenu, DecliningTheOverwriteThenCancellingLeavesTheFile) {
    Write(file("Main Hall.VKP"), "keep me");
    saveChoices = {file("Main Hall.VKP")};  // then cancelled
    answer = QMessageBox::Cancel;
    window().Save1Click();
    EXPECT_EQ(saveDialogs, 2);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].icon, QMessageBox::Warning);
    EXPECT_EQ(asked[0].caption, "Save file");
    EXPECT_EQ(asked[0].text, file("Main Hall.VKP") + " already exist, Overwrite this file?");
    EXPECT_EQ(asked[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(Read(file("Main Hall.VKP")), QByteArray("keep me"));
}

TEST_F(ProgramFileMenu, AcceptingTheOverwriteReplacesTheFile) {
    Write(file("Main Hall.VKP"), "old");
    saveChoices = {file("Main Hall.VKP")};
    answer = QMessageBox::Ok;
    window().Save1Click();
    EXPECT_EQ(Read(file("Main Hall.VKP")).left(kNameSize), QByteArray("Main Hall "));
}

TEST_F(ProgramFileMenu, AFailedSaveTellsTheOperatorNamingTheFile) {
    const QString path = file("missing/folder/x.VKP");
    saveChoices = {path};
    window().Save1Click();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(told[0].text.contains(path)) << told[0].text.toStdString();
}

TEST_F(ProgramFileMenu, OpenAppliesTheFileAndNamesItWithoutSending) {
    Write(file("Bass.VKP"), Bytes(Delayed()));
    Write(file("other.VKP"), QByteArray(5, 'x'));
    openSelections = {file("Bass.VKP"), file("other.VKP")};
    openChoices = {file("Bass.VKP")};
    window().Open1Click();
    EXPECT_EQ(labelWhileOpen, "OPENED FILE:other.VKP   PROGRAM NAME:Default   ");
    EXPECT_EQ(label(), "OPENED FILE:Bass.VKP");
    EXPECT_EQ(app().editorModels().delay(kLeftChannel).position(), 350);
    EXPECT_EQ(app().state().link.pendingFrames.load(), 0);
    EXPECT_EQ(app().state().link.sendEnabled.load(), 0);
    EXPECT_TRUE(told.empty());
}

TEST_F(ProgramFileMenu, AnUnreadableFileTellsTheOperatorAndAppliesNothing) {
    Write(file("Bass.VKP"), Bytes(Delayed()));
    openChoices = {file("Bass.VKP")};
    window().Open1Click();
    openChoices = {file("gone.VKP")};
    window().Open1Click();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].text.contains(file("gone.VKP")));
    EXPECT_EQ(app().editorModels().delay(kLeftChannel).position(), 350);
    EXPECT_EQ(label(), "OPENED FILE:");
}

class WrongLength : public ProgramFileMenu, public ::testing::WithParamInterface<int> {};

// The default program stands in for a file of the wrong length, and the operator is told so;
// such a file is not remembered under Open Recent.
TEST_P(WrongLength, OpensAsTheDefaultProgramAndSaysSo) {
    Write(file("Bass.VKP"), Bytes(Delayed()));
    openChoices = {file("Bass.VKP")};
    window().Open1Click();
    Write(file("odd.VKP"), QByteArray(GetParam(), '\x01'));
    openChoices = {file("odd.VKP")};
    window().Open1Click();
    EXPECT_EQ(app().editorModels().delay(kLeftChannel).position(), 0);
    EXPECT_EQ(app().state().programBuffer, DefaultProgram());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].icon, QMessageBox::Warning);
    EXPECT_EQ(told[0].text, file("odd.VKP") + QStringLiteral(" is not a program file: it is %1 bytes long, and a program "
                                                             "file is exactly 112. The default program was loaded.")
                                                  .arg(GetParam()));
    EXPECT_EQ(Settings::RecentProgramFiles(), QStringList{file("Bass.VKP")});
}

INSTANTIATE_TEST_SUITE_P(Lengths, WrongLength, ::testing::Values(0, 111, 113),
                         [](const auto &info) { return "Bytes" + std::to_string(info.param); });

// A program file with a value no editor produces (the kind random bytes give) is refused,
// naming the file and the field, by Open... and by a file named at start-up alike: the editors
// keep what they showed and the file is not remembered.
TEST_F(ProgramFileMenu, AFileWithValuesNoEditorProducesIsRefused) {
    RecordImage garbage = DefaultProgram();
    garbage[10] = 60;                                    // mode 60: taken as Stereo, not refused
    garbage[16 + 3] = 110, garbage[16 + 4] = 20;         // left band 1 at +110.20 dB
    Write(file("Bass.VKP"), Bytes(Delayed()));
    Write(file("odd.VKP"), Bytes(garbage));
    const std::vector<std::pair<const char *, std::function<void()>>> ways = {
        {"Open...", [this] { openChoices = {file("odd.VKP")}; window().Open1Click(); }},
        {"start-up", [this] { window().OpenProgramFile(file("odd.VKP")); }},
    };
    for (const auto &[way, open] : ways) {
        SCOPED_TRACE(way);
        told.clear();
        window().OpenProgramFile(file("Bass.VKP"));
        const RecordImage before = app().state().programBuffer;
        open();
        ASSERT_EQ(told.size(), 1u);
        EXPECT_EQ(told[0].icon, QMessageBox::Critical);
        EXPECT_EQ(told[0].text,
                  file("odd.VKP") + QStringLiteral(" is refused: left.peq[0].gain: 110.2 is out of range (-12 to 12)"));
        EXPECT_EQ(app().state().programBuffer, before);
        EXPECT_EQ(app().editorModels().delay(kLeftChannel).position(), 350);
        EXPECT_EQ(label(), "OPENED FILE:");
        EXPECT_EQ(Settings::RecentProgramFiles(), QStringList{file("Bass.VKP")});
        EXPECT_EQ(app().state().link.pendingFrames.load(), 0);
    }
}

TEST_F(ProgramFileMenu, NewAppliesTheDefaultProgram) {
    Write(file("Bass.VKP"), Bytes(Delayed()));
    openChoices = {file("Bass.VKP")};
    window().Open1Click();
    window().New1Click();
    EXPECT_EQ(label(), "OPENED FILE:NEW FILE");
    EXPECT_EQ(app().editorModels().delay(kLeftChannel).position(), 0);
}

TEST_F(ProgramFileMenu, Program21RefusesNewAndOpen) {
    window();
    app().state().link.linkActive = kYes;
    app().state().currentProgram = 21;
    window().New1Click();
    window().Open1Click();
    EXPECT_EQ(openDialogs, 0);
    ASSERT_EQ(told.size(), 2u);
    for (const Prompt &p : told) {
        EXPECT_EQ(p.caption, "DOWNLOAD PROGRAM");
        EXPECT_EQ(p.text, "NO.21 PROGRAM Can not be Refresh... ");
    }
    EXPECT_EQ(label(), "OPENED FILE:");
    app().state().link.linkActive = 0;
}

TEST_F(ProgramFileMenu, ShortcutsAreCtrlNOS) {
    EXPECT_EQ(window().action("New1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_EQ(window().action("Open1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(window().action("Save1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
}

// The entries of File > Open Recent as the operator sees them when the menu opens.
struct RecentEntry {
    QString text;
    bool enabled;
    QAction *action;
};

std::vector<RecentEntry> RecentEntries(MainWindow &window) {
    QMenu *recent = window.findChild<QMenu *>(QStringLiteral("OpenRecent1"));
    EXPECT_NE(recent, nullptr);
    if (!recent) return {};
    emit recent->aboutToShow();
    std::vector<RecentEntry> entries;
    for (QAction *a : recent->actions())
        if (!a->objectName().isEmpty()) entries.push_back({a->text(), a->isEnabled(), a});
    return entries;
}

TEST_F(ProgramFileMenu, OpenRecentListsOpenedAndSavedFilesNewestFirstAndGreysMissingOnes) {
    Write(file("Bass.VKP"), Bytes(Delayed()));
    openChoices = {file("Bass.VKP")};
    window().Open1Click();
    saveChoices = {file("Hall")};
    window().Save1Click();
    openChoices = {file("gone.VKP")};  // unreadable: not remembered
    window().Open1Click();

    std::vector<RecentEntry> entries = RecentEntries(window());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].text, "&1 " + QDir::toNativeSeparators(file("Hall.VKP")));
    EXPECT_EQ(entries[1].text, "&2 " + QDir::toNativeSeparators(file("Bass.VKP")));
    EXPECT_TRUE(entries[0].enabled && entries[1].enabled);

    QFile::remove(file("Hall.VKP"));
    entries = RecentEntries(window());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_FALSE(entries[0].enabled);
    EXPECT_TRUE(entries[1].enabled);
}

TEST_F(ProgramFileMenu, ChoosingARecentFileOpensItAsOpenDoes) {
    Write(file("Bass.VKP"), Bytes(Delayed()));
    openChoices = {file("Bass.VKP")};
    window().Open1Click();
    window().New1Click();
    ASSERT_EQ(app().editorModels().delay(kLeftChannel).position(), 0);

    const std::vector<RecentEntry> entries = RecentEntries(window());
    ASSERT_EQ(entries.size(), 1u);
    entries[0].action->trigger();
    Pump();
    EXPECT_EQ(openDialogs, 1);  // no dialog for a recent file
    EXPECT_EQ(app().editorModels().delay(kLeftChannel).position(), 350);
    EXPECT_EQ(label(), "OPENED FILE:Bass.VKP");
    EXPECT_EQ(app().state().link.pendingFrames.load(), 0);
}

TEST_F(ProgramFileMenu, OpenRecentIsUsableExactlyWhenOpenIs) {
    QMenu *recent = window().findChild<QMenu *>(QStringLiteral("OpenRecent1"));
    ASSERT_NE(recent, nullptr);
    window().action("Open1")->setEnabled(false);
    EXPECT_FALSE(recent->menuAction()->isEnabled());
    window().action("Open1")->setEnabled(true);
    EXPECT_TRUE(recent->menuAction()->isEnabled());
}

TEST_F(ProgramFileMenu, AFileOpenedAtStartUpIsAppliedAndNamedLikeOpen) {
    Write(file("Bass.VKP"), Bytes(Delayed()));
    window().OpenProgramFile(file("Bass.VKP"));
    EXPECT_EQ(openDialogs, 0);
    EXPECT_EQ(app().editorModels().delay(kLeftChannel).position(), 350);
    EXPECT_EQ(label(), "OPENED FILE:Bass.VKP");
    EXPECT_EQ(Settings::RecentProgramFiles(), QStringList{file("Bass.VKP")});

    window().OpenProgramFile(file("gone.VKP"));
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].text.contains(file("gone.VKP")));
    EXPECT_EQ(app().editorModels().delay(kLeftChannel).position(), 350);
}

}  // namespace
}  // namespace talvo::test
