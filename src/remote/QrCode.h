#pragma once
// A QR code as a square of modules, made with libqrencode: what the Room Remote window draws
// and `talvoctl remote` prints. No drawing here.

#include <vector>

#include <QByteArray>

namespace talvo {

struct QrMatrix {
    int size = 0;             // modules per side, without the quiet zone; 0 when nothing was made
    std::vector<bool> dark;   // size x size, row by row

    bool isDark(int x, int y) const { return dark[static_cast<std::size_t>(y * size + x)]; }
};

// The text as a QR code (byte mode, error correction level M). Empty when it does not fit.
QrMatrix EncodeQr(const QByteArray &text);

}  // namespace talvo
