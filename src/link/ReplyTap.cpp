#include "link/ReplyTap.h"

namespace talvo {

QString ReplyFrame::describe() const
{
    QString text = QStringLiteral("reply ID %1 command %2 length %3 data").arg(address).arg(command).arg(length);
    for (std::uint8_t b : data)
        text += QStringLiteral(" %1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    return text;
}

void ReplyFrameTap::feed(QByteArrayView bytes)
{
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        const bool sync = b == 252 && previous_ == 251 && beforePrevious_ == 250;
        beforePrevious_ = previous_;
        previous_ = b;
        if (sync) {
            current_ = ReplyFrame{};
            taken_ = 0;
            continue;
        }
        if (taken_ < 0)
            continue;
        ++taken_;
        if (taken_ == 1)
            current_.address = b;
        else if (taken_ == 2)
            current_.length = b;
        else if (taken_ == 3)
            current_.command = b;
        else
            current_.data[static_cast<std::size_t>(taken_ - 4)] = b;
        if (taken_ == kBytesAfterSync) {
            taken_ = -1;
            if (onFrame_)
                onFrame_(current_);
        }
    }
}

}  // namespace talvo
