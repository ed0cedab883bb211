#include "shell/RemoteWindow.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "remote/QrCode.h"
#include "remote/RemoteHost.h"

namespace talvo {

namespace {

constexpr int kQrScale = 5;
constexpr int kQuietZone = 4;

}  // namespace

QImage QrImage(const QrMatrix &qr, int scale)
{
    if (qr.size == 0)
        return QImage();
    const int side = (qr.size + 2 * kQuietZone) * scale;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    for (int y = 0; y < qr.size; ++y)
        for (int x = 0; x < qr.size; ++x)
            if (qr.isDark(x, y))
                p.fillRect((x + kQuietZone) * scale, (y + kQuietZone) * scale, scale, scale, Qt::black);
    return image;
}

RemoteWindow::RemoteWindow(RemoteHost &host, QWidget *parent) : QDialog(parent), host_(host)
{
    setObjectName(QStringLiteral("RemoteWindow"));
    setWindowTitle(QString::fromLatin1(kRemoteWindowCaption));
    setModal(false);

    address_ = new QComboBox(this);
    address_->setObjectName(QStringLiteral("address"));
    port_ = new QSpinBox(this);
    port_->setObjectName(QStringLiteral("port"));
    port_->setRange(1, 65535);
    port_->setValue(kDefaultRemotePort);
    start_ = new QPushButton(this);
    start_->setObjectName(QStringLiteral("start"));
    url_ = new QLineEdit(this);
    url_->setObjectName(QStringLiteral("url"));
    url_->setReadOnly(true);
    url_->setMinimumWidth(360);
    qr_ = new QLabel(this);
    qr_->setObjectName(QStringLiteral("qr"));
    qr_->setAlignment(Qt::AlignCenter);
    qr_->setMinimumSize(200, 200);
    clients_ = new QLabel(this);
    clients_->setObjectName(QStringLiteral("clients"));
    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("problem"));
    problem_->setWordWrap(true);
    auto *close = new QPushButton(QStringLiteral("Close"), this);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Address"), address_);
    form->addRow(QStringLiteral("Port"), port_);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(start_);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(QStringLiteral("Open this address on the phone or tablet (or scan the code):"), this));
    layout->addWidget(url_);
    layout->addWidget(qr_, 1);
    layout->addWidget(clients_);
    layout->addWidget(problem_);
    layout->addLayout(buttons);

    connect(start_, &QPushButton::clicked, this, &RemoteWindow::StartClicked);
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    connect(&host_, &RemoteHost::runningChanged, this, &RemoteWindow::refresh);
    connect(&host_, &RemoteHost::clientCountChanged, this, &RemoteWindow::refresh);
    fillAddresses();
    refresh();
}

void RemoteWindow::fillAddresses()
{
    const QString current = address_->currentText();
    address_->clear();
    for (const QHostAddress &a : RemoteHost::OfferedAddresses())
        address_->addItem(a.isLoopback() ? QStringLiteral("%1 (this computer only)").arg(a.toString()) : a.toString(),
                          a.toString());
    const int at = address_->findText(current);
    address_->setCurrentIndex(at >= 0 ? at : 0);
}

void RemoteWindow::Open()
{
    if (!host_.isRunning())
        fillAddresses();
    refresh();
    show();
    raise();
    activateWindow();
}

void RemoteWindow::StartClicked()
{
    problem_->clear();
    if (host_.isRunning()) {
        host_.Stop();
        return;
    }
    QString error;
    const QHostAddress address(address_->currentData().toString());
    if (!host_.Start(address, static_cast<quint16>(port_->value()), &error))
        problem_->setText(QStringLiteral("The room remote cannot listen on %1 port %2: %3")
                              .arg(address.toString())
                              .arg(port_->value())
                              .arg(error));
    refresh();
}

void RemoteWindow::refresh()
{
    const bool running = host_.isRunning();
    start_->setText(running ? QStringLiteral("Stop") : QStringLiteral("Start"));
    address_->setEnabled(!running);
    port_->setEnabled(!running);
    if (running) {
        // Shown as it runs: a server started elsewhere (talvo --remote) shows its own address.
        const int at = address_->findData(host_.address().toString());
        if (at >= 0)
            address_->setCurrentIndex(at);
        port_->setValue(host_.port());
    }
    url_->setText(host_.pageUrl());
    // The host and port first: the token runs off the field's end, not the address.
    url_->setCursorPosition(0);
    const QImage image = QrImage(host_.qrCode(), kQrScale);
    qr_->setPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image));
    clients_->setText(running ? QStringLiteral("Pages connected: %1 of %2").arg(host_.clientCount()).arg(RemoteServerOptions().maxClients)
                              : QStringLiteral("Off"));
}

}  // namespace talvo
