#include "programs/IniDocument.h"

#include <algorithm>

#include <QIODevice>
#include <QStringDecoder>

namespace talvo {

QByteArray ReadAtMost(QIODevice &device, qint64 limit)
{
    constexpr qint64 kPiece = 64 * 1024;
    QByteArray bytes;
    while (bytes.size() <= limit) {
        const QByteArray piece = device.read(std::min(kPiece, limit + 1 - bytes.size()));
        if (piece.isEmpty()) break;
        bytes += piece;
    }
    return bytes;
}

namespace {

bool HasControlCharacter(const QString &text) {
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) return true;
    return false;
}

bool IsQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

bool IsQuoted(const QString &text) {
    return text.size() >= 2 && IsQuote(text.front()) && text.front() == text.back();
}

// What a reader makes of the text after '=': surrounding whitespace goes, then one pair of
// matching quotes.
QString DecodeValue(const QString &raw) {
    QString value = raw.trimmed();
    if (IsQuoted(value)) value = value.mid(1, value.size() - 2);
    return value;
}

// Where an inline comment starts in the text after '=': the first ';' after the value, moved
// back over the spaces before it; -1 when there is none. A value in quotes ends at the last
// quote of its kind that only spaces or a comment follow, so a ';' inside it is the value's.
qsizetype InlineCommentStart(const QString &raw) {
    qsizetype from = 0;
    qsizetype first = 0;
    while (first < raw.size() && raw.at(first).isSpace()) ++first;
    if (first < raw.size() && IsQuote(raw.at(first))) {
        for (qsizetype j = raw.size() - 1; j > first; --j) {
            if (raw.at(j) != raw.at(first)) continue;
            const QString rest = raw.mid(j + 1).trimmed();
            if (rest.isEmpty() || rest.startsWith(u';')) {
                from = j + 1;
                break;
            }
        }
    }
    qsizetype at = raw.indexOf(u';', from);
    if (at < 0) return -1;
    while (at > 0 && raw.at(at - 1).isSpace()) --at;
    return at;
}

bool IsBlank(const QString &raw) {
    return raw.trimmed().isEmpty();
}

QString DecodeText(const QByteArray &bytes) {
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF")) view = view.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(view);
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(view);
}

}  // namespace

// The inverse of DecodeValue: quotes are added exactly when the reader would otherwise lose
// something (leading or trailing spaces, quotes of the value's own, or a ';' that would start an
// inline comment).
QString IniDocument::EncodeValue(const QString &value) const {
    if (value != value.trimmed() || IsQuoted(value) || (inlineComments_ && value.contains(u';')))
        return u'"' + value + u'"';
    return value;
}

IniDocument IniDocument::Parse(const QByteArray &bytes, InlineComments comments) {
    IniDocument doc(comments);
    const QString text = DecodeText(bytes);
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.pop_back();  // the final line end
    for (QString &line : lines) {
        if (line.endsWith(u'\r')) line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'[')) {
            Section section;
            const qsizetype close = trimmed.indexOf(u']');
            section.name = (close >= 0 ? trimmed.mid(1, close - 1) : trimmed.mid(1)).trimmed();
            section.header = line;
            section.hasHeader = true;
            doc.sections_.push_back(std::move(section));
            continue;
        }
        Line entry{line, {}, {}, {}};
        if (!trimmed.startsWith(u';') && !trimmed.startsWith(u'#')) {
            const qsizetype eq = line.indexOf(u'=');
            if (eq > 0) {
                const QString key = line.left(eq).trimmed();
                if (!key.isEmpty()) {
                    entry.key = key;
                    entry.value = line.mid(eq + 1);
                    const qsizetype comment = doc.inlineComments_ ? InlineCommentStart(entry.value) : -1;
                    if (comment >= 0) {
                        entry.comment = entry.value.mid(comment);
                        entry.value.truncate(comment);
                    }
                }
            }
        }
        doc.sections_.back().lines.push_back(std::move(entry));
    }
    doc.Reindex();
    return doc;
}

QByteArray IniDocument::Serialize(QStringView lineEnd) const {
    QString text;
    for (const Section &section : sections_) {
        if (section.hasHeader) {
            text += section.header;
            text += lineEnd;
        }
        for (const Line &line : section.lines) {
            text += line.raw;
            text += lineEnd;
        }
    }
    return text.toUtf8();
}

bool IniDocument::IsEmpty() const {
    return sections_.size() == 1 && sections_[0].lines.empty();
}

bool IniDocument::HasSection(const QString &section) const {
    return FindSection(section) != nullptr;
}

std::optional<QString> IniDocument::Value(const QString &section, const QString &key) const {
    const Section *found = FindSection(section);
    if (!found) return std::nullopt;
    for (const Line &line : found->lines)
        if (!line.key.isEmpty() && line.key.compare(key, Qt::CaseInsensitive) == 0)
            return DecodeValue(line.value);
    return std::nullopt;
}

QStringList IniDocument::Keys(const QString &section) const {
    QStringList keys;
    if (const Section *found = FindSection(section)) {
        for (const Line &line : found->lines)
            if (!line.key.isEmpty() && !keys.contains(line.key, Qt::CaseInsensitive)) keys.append(line.key);
    }
    return keys;
}

bool IniDocument::IsStorableValue(const QString &value) {
    return !HasControlCharacter(value);
}

bool IniDocument::SetValue(const QString &section, const QString &key, const QString &value) {
    if (section.isEmpty() || section != section.trimmed() || HasControlCharacter(section) ||
        section.contains(u'[') || section.contains(u']'))
        return false;
    if (key.isEmpty() || key != key.trimmed() || HasControlCharacter(key) || key.contains(u'=') ||
        key.startsWith(u'[') || key.startsWith(u';') || key.startsWith(u'#'))
        return false;
    if (!IsStorableValue(value)) return false;

    Section *target = FindSection(section);
    if (!target) {
        // Keep a blank line between the sections this document adds.
        if (!IsEmpty()) {
            Section &last = sections_.back();
            const bool endsBlank = last.lines.empty() ? !last.hasHeader : IsBlank(last.lines.back().raw);
            if (!endsBlank) last.lines.push_back(Line{});
        }
        Section added;
        added.name = section;
        added.header = u'[' + section + u']';
        added.hasHeader = true;
        sections_.push_back(std::move(added));
        index_.insert(section.toCaseFolded(), static_cast<int>(sections_.size() - 1));
        target = &sections_.back();
    }

    const QString raw = key + u'=' + EncodeValue(value);
    qsizetype lastKey = -1;
    for (qsizetype i = 0; i < static_cast<qsizetype>(target->lines.size()); ++i) {
        Line &line = target->lines[static_cast<size_t>(i)];
        if (line.key.isEmpty()) continue;
        if (line.key.compare(key, Qt::CaseInsensitive) == 0) {
            // Keep the key as the file spells it and an inline comment where it stood; only
            // the value changes.
            const qsizetype commentColumn = line.raw.size() - line.comment.trimmed().size();
            line.value = EncodeValue(value);
            line.raw = line.key + u'=' + line.value;
            if (!line.comment.isEmpty()) {
                const QString comment = line.comment.trimmed();
                line.raw += QString(std::max<qsizetype>(1, commentColumn - line.raw.size()), u' ') + comment;
                line.comment = line.raw.mid(line.key.size() + 1 + line.value.size());
            }
            return true;
        }
        lastKey = i;
    }
    // A new key goes after the section's last key, ahead of any trailing blank lines or comments.
    const auto at = target->lines.begin() + (lastKey + 1);
    target->lines.insert(at, Line{raw, key, EncodeValue(value), {}});
    return true;
}

IniDocument::Section *IniDocument::FindSection(const QString &section) {
    const auto it = index_.constFind(section.trimmed().toCaseFolded());
    return it == index_.cend() ? nullptr : &sections_[static_cast<size_t>(*it)];
}

const IniDocument::Section *IniDocument::FindSection(const QString &section) const {
    const auto it = index_.constFind(section.trimmed().toCaseFolded());
    return it == index_.cend() ? nullptr : &sections_[static_cast<size_t>(*it)];
}

void IniDocument::Reindex() {
    index_.clear();
    for (size_t i = 1; i < sections_.size(); ++i) {
        const QString folded = sections_[i].name.toCaseFolded();
        if (!index_.contains(folded)) index_.insert(folded, static_cast<int>(i));
    }
}

}  // namespace talvo
