#pragma once
// A small initialisation-file document in the usual bracketed syntax:
//
//   [section]
//   key=value
//
// It behaves like the classic profile-string functions operators know from hand-editing such
// files: section and key names are matched without regard to case, the first occurrence wins,
// whitespace around names and values is ignored and one pair of matching quotes around a value
// is removed. Unlike a settings store it keeps the file as it was written: sections stay in
// their order, keys in theirs, and comments, blank lines and unknown keys survive a rewrite;
// only the lines that change are regenerated.
//
// Settings files written by hand often carry a comment after a value ("RS232=3  ; COM3");
// parsed with InlineComments::Allowed, an unquoted ';' ends the value, the comment stays on its
// line when the value changes, and a value holding ';' is written in quotes. The device list
// keeps the profile functions' reading, where ';' after '=' is part of the value.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QIODevice;

namespace talvo {

// Reads what `device` holds, up to `limit` bytes and one more, so that the caller can tell a
// file over the limit. It reads in pieces: asking for limit + 1 bytes at once would set aside
// the whole limit for every small file.
QByteArray ReadAtMost(QIODevice &device, qint64 limit);

class IniDocument {
public:
    enum class InlineComments { NotAllowed, Allowed };

    IniDocument() = default;
    explicit IniDocument(InlineComments comments) : inlineComments_(comments == InlineComments::Allowed) {}

    // Reads UTF-8 text (with or without a byte-order mark); bytes that are not valid UTF-8 are
    // read as Latin-1, so a file written in a Western code page still loads. LF and CRLF both work.
    static IniDocument Parse(const QByteArray &bytes, InlineComments comments = InlineComments::NotAllowed);

    // UTF-8, CRLF line ends unless told otherwise, a blank line before every section but the
    // first one added here.
    QByteArray Serialize(QStringView lineEnd = u"\r\n") const;

    bool IsEmpty() const;
    bool HasSection(const QString &section) const;
    std::optional<QString> Value(const QString &section, const QString &key) const;
    // The section's keys as the file spells them, each once, in file order.
    QStringList Keys(const QString &section) const;

    // Sets a key, adding the section at the end and the key after the section's last key when
    // they are missing. Refuses (returns false, changes nothing) a value or name that could not
    // be read back as written: one holding a control character such as a line break, or a
    // section or key name with brackets, '=' or surrounding spaces.
    bool SetValue(const QString &section, const QString &key, const QString &value);

    // Whether SetValue would store this value.
    static bool IsStorableValue(const QString &value);

private:
    struct Line {
        QString raw;   // the text as read or as last generated, without line end
        QString key;   // empty unless this is a key line
        QString value; // the raw value text after '=' (decoded on lookup)
        QString comment; // an inline comment from its ';' on, with the spaces before it
    };
    struct Section {
        QString name;  // the preamble before the first header has no name
        QString header;
        bool hasHeader = false;
        std::vector<Line> lines;
    };

    QString EncodeValue(const QString &value) const;
    Section *FindSection(const QString &section);
    const Section *FindSection(const QString &section) const;
    void Reindex();

    bool inlineComments_ = false;
    std::vector<Section> sections_{Section{}};  // sections_[0] is the preamble
    QHash<QString, int> index_;                 // case-folded name -> first section with it
};

}  // namespace talvo
