#include "devices/IniDocument.h"

#include <QStringDecoder>

namespace talvo {

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

// The inverse: quotes are added exactly when the reader would otherwise lose something
// (leading or trailing spaces, or quotes of the value's own).
QString EncodeValue(const QString &value) {
    if (value != value.trimmed() || IsQuoted(value)) return u'"' + value + u'"';
    return value;
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

IniDocument IniDocument::Parse(const QByteArray &bytes) {
    IniDocument doc;
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
        Line entry{line, {}, {}};
        if (!trimmed.startsWith(u';') && !trimmed.startsWith(u'#')) {
            const qsizetype eq = line.indexOf(u'=');
            if (eq > 0) {
                const QString key = line.left(eq).trimmed();
                if (!key.isEmpty()) {
                    entry.key = key;
                    entry.value = line.mid(eq + 1);
                }
            }
        }
        doc.sections_.back().lines.push_back(std::move(entry));
    }
    doc.Reindex();
    return doc;
}

QByteArray IniDocument::Serialize() const {
    const QString lineEnd = QStringLiteral("\r\n");
    QString text;
    for (const Section &section : sections_) {
        if (section.hasHeader) text += section.header + lineEnd;
        for (const Line &line : section.lines) text += line.raw + lineEnd;
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
            // Keep the key as the file spells it; only the value changes.
            line.raw = line.key + u'=' + EncodeValue(value);
            line.value = EncodeValue(value);
            return true;
        }
        lastKey = i;
    }
    // A new key goes after the section's last key, ahead of any trailing blank lines or comments.
    const auto at = target->lines.begin() + (lastKey + 1);
    target->lines.insert(at, Line{raw, key, EncodeValue(value)});
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
