#include "remote/QrCode.h"

#include <qrencode.h>

namespace talvo {

QrMatrix EncodeQr(const QByteArray &text)
{
    QrMatrix m;
    QRcode *code = QRcode_encodeData(static_cast<int>(text.size()),
                                     reinterpret_cast<const unsigned char *>(text.constData()), 0, QR_ECLEVEL_M);
    if (!code)
        return m;
    m.size = code->width;
    m.dark.resize(static_cast<std::size_t>(m.size) * static_cast<std::size_t>(m.size));
    for (std::size_t i = 0; i < m.dark.size(); ++i)
        m.dark[i] = (code->data[i] & 1) != 0;  // the lowest bit: a dark module
    QRcode_free(code);
    return m;
}

}  // namespace talvo
