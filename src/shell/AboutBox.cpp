#include "shell/AboutBox.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "shell/AppIcon.h"
#include "shell/InterfaceTexts.h"

namespace talvo {

namespace {
constexpr QSize kAboutSize{221, 127};
const QColor kTeal(0, 128, 128);
}  // namespace

AboutBox::AboutBox(InterfaceTexts &texts, QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setModal(true);
    setFixedSize(kAboutSize);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, kTeal);
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(AppIconPixmap(32));
    icon->setFixedSize(34, 34);

    QFont small = font();
    small.setPointSizeF(qMin(small.pointSizeF(), 8.5));
    auto makeLabel = [&](const char *name, const char *text, bool bold = false) {
        auto *label = new QLabel(QString::fromLatin1(text), this);
        label->setObjectName(QString::fromLatin1(name));
        QFont f = small;
        f.setBold(bold);
        label->setFont(f);
        return label;
    };
    QLabel *version = makeLabel("ProductName", kAboutVersionText, true);
    QLabel *revision = makeLabel("Version", kAboutRevisionText);
    QLabel *date = makeLabel("Copyright", kAboutDateText);
    QLabel *models = makeLabel("Comments", kAboutModelsText);
    models->setWordWrap(true);
    hidden_ = makeLabel("Label1", "");
    hidden_->hide();

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("OKButton"));
    ok_->setDefault(true);
    ok_->setFixedWidth(64);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(0);
    grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(version, 0, 1);
    grid->addWidget(revision, 1, 1);
    grid->addWidget(date, 2, 1);
    grid->addWidget(models, 3, 0, 1, 2);
    grid->addWidget(ok_, 4, 0, 1, 2, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(3, 1);

    texts.Register(this, [this] { ApplyTexts(); });
}

void AboutBox::ApplyTexts() { setWindowTitle(QStringLiteral("About")); }

void AboutBox::PrepareToShow() {
    hidden_->clear();
    setWindowTitle(QStringLiteral("About"));
    ok_->setText(QStringLiteral("OK"));
}

}  // namespace talvo
