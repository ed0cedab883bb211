#pragma once
// Tools > "Room Remote...": starts and stops the room remote, picks the address it listens on
// (loopback, or one of the machine's network addresses) and its port, and shows the page's
// address as text and as a QR code with the number of pages connected. Only presents the
// RemoteHost; not modal, so the desktop stays usable beside it.

#include <QDialog>
#include <QImage>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace talvo {

class RemoteHost;
struct QrMatrix;

inline constexpr const char *kRemoteWindowCaption = "Room Remote";

// The QR code as a picture: `scale` pixels per module and the four-module quiet zone around.
QImage QrImage(const QrMatrix &qr, int scale);

class RemoteWindow : public QDialog {
    Q_OBJECT
public:
    explicit RemoteWindow(RemoteHost &host, QWidget *parent = nullptr);

    // What the window shows, for the tests.
    QComboBox *addressBox() const { return address_; }
    QSpinBox *portBox() const { return port_; }
    QPushButton *startButton() const { return start_; }
    QLineEdit *urlField() const { return url_; }
    QLabel *qrLabel() const { return qr_; }
    QLabel *clientsLabel() const { return clients_; }
    QLabel *problemLabel() const { return problem_; }

    // "Start" / "Stop".
    void StartClicked();
    // Shows the window (and refreshes the addresses offered while stopped).
    void Open();

private:
    void refresh();
    void fillAddresses();

    RemoteHost &host_;
    QComboBox *address_;
    QSpinBox *port_;
    QPushButton *start_;
    QLineEdit *url_;
    QLabel *qr_;
    QLabel *clients_;
    QLabel *problem_;
};

}  // namespace talvo
