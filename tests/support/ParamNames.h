#pragma once
// Readable names for parameterised cases, so that `ctest -R` can pick them and a failure names
// its case. GoogleTest allows only letters, digits and '_' in a name.

#include <string>
#include <string_view>

#include <QString>
#include <QStringList>

namespace talvo::testsupport {

// Letters and digits kept, every run of other characters one '_'; "Empty" for nothing left.
inline std::string TestName(std::string_view text)
{
    std::string name;
    for (const char c : text) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (keep)
            name += c;
        else if (!name.empty() && name.back() != '_')
            name += '_';
    }
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    return name.empty() ? std::string("Empty") : name;
}

// A case's arguments as its name, numbered so that two cases that differ only in punctuation
// ("1.5" and "1,5") stay apart.
inline std::string ArgumentsName(const QStringList &args, std::size_t index)
{
    return TestName(args.join(QLatin1Char(' ')).toStdString()) + "_" + std::to_string(index);
}

// Generator for cases with a `name` member.
struct ByNameField {
    template <class Info>
    std::string operator()(const Info &info) const
    {
        return std::string(info.param.name);
    }
};

// Generator for cases with an `args` member (a QStringList).
struct ByArgs {
    template <class Info>
    std::string operator()(const Info &info) const
    {
        return ArgumentsName(info.param.args, info.index);
    }
};

}  // namespace talvo::testsupport
