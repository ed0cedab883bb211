// The device list window and its entry dialog: the file created through the window, adding,
// editing, deleting, hand edits, saves that fail, and what "OK" hands back.

#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>

#include "devices/DeviceEntryDialog.h"
#include "devices/DeviceListWindow.h"
#include "UiSupport.h"
#include "tests/support/DeviceListText.h"

namespace talvo::test {
namespace {

using testsupport::NewFileText;

struct Row {
    QString name, id, subid;
    friend bool operator==(const Row &, const Row &) = default;
    friend std::ostream &operator<<(std::ostream &os, const Row &r) {
        return os << '"' << r.name.toStdString() << "\" \"" << r.id.toStdString() << "\" \""
                  << r.subid.toStdString() << '"';
    }
};

class DeviceListWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path() const { return dir.filePath("DSPdevi.ini"); }

    DeviceListWindow &window() {
        if (!window_) {
            window_ = std::make_unique<DeviceListWindow>(path());
            window_->reportError = [this](QWidget *, const QString &text) { errors << text; };
        }
        return *window_;
    }

    Row row(int slot) {
        QTableWidget *g = window().grid();
        return {g->item(slot - 1, 0)->text(), g->item(slot - 1, 1)->text(), g->item(slot - 1, 2)->text()};
    }

    // Presses "ADD" on `slot`; the entry dialog is read into `offered`, then filled by `fill`
    // (nothing when null) and closed with "OK" or "Cancle".
    void Add(int slot, std::function<void(DeviceEntryDialog *)> fill, bool ok, DeviceEntry *offered = nullptr) {
        window().SetCurrentSlot(slot);
        DeviceEntryDialog *dialog = window().entryDialog();
        WhenShown(dialog, [=](QDialog *) {
            if (offered) *offered = dialog->Entry();
            if (fill) fill(dialog);
            (ok ? dialog->okButton() : dialog->cancelButton())->click();
        });
        window().addButton()->click();
    }

    QTemporaryDir dir;
    QStringList errors;
    std::unique_ptr<DeviceListWindow> window_;
};

TEST_F(DeviceListWindowTest, CreatingTheWindowCreatesAMissingFileWith255EmptySlots) {
    ASSERT_FALSE(QFile::exists(path()));
    DeviceListWindow &w = window();
    EXPECT_TRUE(w.openError().isEmpty()) << w.openError().toStdString();
    EXPECT_EQ(ReadAll(path()), NewFileText());

    w.show();
    Pump();
    EXPECT_EQ(w.windowTitle(), "Device ");
    QTableWidget *g = w.grid();
    ASSERT_EQ(g->rowCount(), 255);
    ASSERT_EQ(g->columnCount(), 3);
    EXPECT_EQ(g->horizontalHeaderItem(0)->text(), "Name");
    EXPECT_EQ(g->horizontalHeaderItem(1)->text(), "Add");
    EXPECT_EQ(g->horizontalHeaderItem(2)->text(), "Sub Add");
    // "VELK" in every new slot is not shown: the slots hold no device.
    for (int slot = 1; slot <= 255; ++slot) ASSERT_EQ(row(slot), Row{}) << "slot " << slot;
    EXPECT_EQ(w.addButton()->text(), "ADD");
    EXPECT_EQ(w.deleteButton()->text(), "Delete");
    EXPECT_EQ(w.okButton()->text(), "OK");
    EXPECT_EQ(w.cancelButton()->text(), "Cancle");
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(DeviceListWindowTest, AddOnAnEmptyRowOffersANewDeviceAndWritesTheSlot) {
    window().show();
    DeviceEntry offered;
    Add(4, [](DeviceEntryDialog *d) { d->nameEdit()->setText("Stage left"); d->idSpin()->setValue(12); }, true, &offered);

    EXPECT_EQ(offered, (DeviceEntry{true, "Device A", 1, 256}));
    EXPECT_EQ(window().entryDialog()->windowTitle(), "Device ");
    EXPECT_EQ(row(4), (Row{"Stage left", "12", "256"}));
    EXPECT_EQ(row(3), Row{});
    EXPECT_EQ(window().CurrentSlot(), 4);
    // Saved at once: a new list read from the file holds it.
    DeviceList fresh(path());
    ASSERT_TRUE(fresh.Reload());
    EXPECT_EQ(fresh.Entry(4), (DeviceEntry{true, "Stage left", 12, 256}));
    EXPECT_TRUE(ReadAll(path()).contains("[4]\r\nvi=1\r\nname=Stage left\r\nid=12\r\nsubid=256\r\n"));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(DeviceListWindowTest, AddOnAFilledRowEditsItInPlaceAndCancleChangesNothing) {
    window().show();
    Add(2, [](DeviceEntryDialog *d) { d->nameEdit()->setText("Balcony"); d->idSpin()->setValue(7); d->subIdSpin()->setValue(300); }, true);
    const QByteArray before = ReadAll(path());

    DeviceEntry offered;
    Add(2, [](DeviceEntryDialog *d) { d->nameEdit()->setText("Something else"); }, false, &offered);
    EXPECT_EQ(offered, (DeviceEntry{true, "Balcony", 7, 300}));
    EXPECT_EQ(row(2), (Row{"Balcony", "7", "300"}));
    EXPECT_EQ(ReadAll(path()), before);

    Add(2, [](DeviceEntryDialog *d) { d->nameEdit()->setText("Balcony rear"); d->subIdSpin()->setValue(301); }, true);
    EXPECT_EQ(row(2), (Row{"Balcony rear", "7", "301"}));
    EXPECT_EQ(window().list().Entry(2), (DeviceEntry{true, "Balcony rear", 7, 301}));
}

TEST_F(DeviceListWindowTest, TheEntryDialogKeepsNamesWithinTwentyCharactersAndTheSpinRanges) {
    DeviceEntryDialog *d = window().entryDialog();
    EXPECT_EQ(d->nameEdit()->maxLength(), 20);
    EXPECT_EQ(d->idSpin()->minimum(), 1);
    EXPECT_EQ(d->idSpin()->maximum(), 255);
    EXPECT_EQ(d->subIdSpin()->minimum(), 1);
    EXPECT_EQ(d->subIdSpin()->maximum(), 65535);
    // Typing: a twenty-first character and a tab are not taken.
    d->SetEntry(DeviceEntry{true, "", 1, 1});
    d->nameEdit()->insert("12345678901234567890X");
    d->nameEdit()->insert("\t");
    EXPECT_EQ(d->nameEdit()->text(), "12345678901234567890");
}

TEST_F(DeviceListWindowTest, DeleteEmptiesTheSlotInTheFileAndTheGrid) {
    window().show();
    Add(9, [](DeviceEntryDialog *d) { d->nameEdit()->setText("Sub bass"); d->idSpin()->setValue(40); }, true);
    ASSERT_EQ(row(9).name, "Sub bass");

    window().SetCurrentSlot(9);
    window().deleteButton()->click();
    EXPECT_EQ(row(9), Row{});
    EXPECT_TRUE(ReadAll(path()).contains("[9]\r\nvi=0\r\nname=\r\nid=1\r\nsubid=1\r\n"));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(DeviceListWindowTest, AHandEditedSlotWithoutNameShowsDevice) {
    QByteArray text = NewFileText();
    text.replace("[17]\r\nvi=0\r\nname=VELK\r\nid=1\r\nsubid=1\r\n", "[17]\r\nvi=1\r\nid=33\r\nsubid=abc\r\n");
    WriteAll(path(), text);
    window().show();
    Pump();
    EXPECT_EQ(row(17), (Row{"Device", "33", "1"}));

    // A hand edit made while the program runs shows the next time the window opens.
    window().hide();
    text.replace("[18]\r\nvi=0\r\n", "[18]\r\nvi=1\r\n");
    WriteAll(path(), text);
    window().show();
    Pump();
    EXPECT_EQ(row(18), (Row{"VELK", "1", "1"}));
}

TEST_F(DeviceListWindowTest, OkHandsBackTheCurrentRowsDeviceOrNothing) {
    window().show();
    Add(5, [](DeviceEntryDialog *d) { d->nameEdit()->setText("Delay tower"); d->idSpin()->setValue(21); d->subIdSpin()->setValue(1234); }, true);
    std::vector<DeviceEntry> chosen;
    int none = 0;
    QObject::connect(&window(), &DeviceListWindow::deviceChosen, [&](const DeviceEntry &e) { chosen.push_back(e); });
    QObject::connect(&window(), &DeviceListWindow::noDeviceChosen, [&] { ++none; });

    window().SetCurrentSlot(5);
    window().okButton()->click();
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(chosen[0], (DeviceEntry{true, "Delay tower", 21, 1234}));
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(window().result(), QDialog::Accepted);

    window().show();
    window().SetCurrentSlot(6);
    window().okButton()->click();
    EXPECT_EQ(chosen.size(), 1u);
    EXPECT_EQ(none, 1);

    window().show();
    window().cancelButton()->click();
    EXPECT_EQ(chosen.size(), 1u);
    EXPECT_EQ(none, 1);
    EXPECT_FALSE(window().isVisible());
}

TEST_F(DeviceListWindowTest, ASaveThatFailsIsReportedAndNotShownAsSaved) {
    // The list's folder is a plain file: nothing can be created under it.
    const QString blocker = dir.filePath("not-a-folder");
    WriteAll(blocker, "x");
    window_ = std::make_unique<DeviceListWindow>(blocker + "/DSPdevi.ini");
    window_->reportError = [this](QWidget *, const QString &text) { errors << text; };
    EXPECT_FALSE(window().openError().isEmpty());

    window().show();
    Pump();
    ASSERT_EQ(errors.size(), 1);  // told once, when the window opens
    errors.clear();

    Add(1, [](DeviceEntryDialog *d) { d->nameEdit()->setText("Lost"); }, true);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("Cannot save the device list")) << errors[0].toStdString();
    EXPECT_EQ(row(1), Row{});
}

}  // namespace
}  // namespace talvo::test
