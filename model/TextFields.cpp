#include "model/TextFields.h"

#include <QStringList>

#include <optional>

namespace {

// Walks the text, handing each field's name (what stands between its braces) to field, which
// gives its value or nothing to leave it as written; the rest is copied, "{{" and "}}" as one
// brace.
template <typename Field> QString walk(const QString& text, Field field)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool doubled = i + 1 < text.size() && text[i + 1] == c;
        if ((c == QLatin1Char('{') || c == QLatin1Char('}')) && doubled) {
            result += c;
            ++i;
            continue;
        }
        const qsizetype close = c == QLatin1Char('{') ? text.indexOf(QLatin1Char('}'), i + 1) : -1;
        const qsizetype nextOpen = text.indexOf(QLatin1Char('{'), i + 1);
        if (close < 0 || (nextOpen >= 0 && nextOpen < close)) {
            result += c;
            continue;
        }
        const QString name = text.mid(i + 1, close - i - 1);
        if (const auto value = field(name)) {
            result += *value;
            i = close;
        } else {
            result += c;
        }
    }
    return result;
}

// The field's name before any ':' ("exif" of "exif:DateTimeOriginal").
QString kindOf(const QString& name)
{
    return name.section(QLatin1Char(':'), 0, 0);
}

bool isField(const QString& name)
{
    static const QStringList plain{"filename", "date", "page", "pages", "n", "recipient"};
    return plain.contains(name) || (name.startsWith(QLatin1String("exif:")) && name.size() > 5);
}

} // namespace

namespace TextFields {

QString expand(const QString& text, const Values& values)
{
    return walk(text, [&values](const QString& name) -> std::optional<QString> {
        if (name == QLatin1String("filename"))
            return values.fileName;
        if (name == QLatin1String("date"))
            return values.date;
        if (name == QLatin1String("page"))
            return QString::number(values.page);
        if (name == QLatin1String("pages"))
            return QString::number(values.pages);
        if (name == QLatin1String("n"))
            return QString::number(values.number);
        if (name == QLatin1String("recipient"))
            return values.recipient;
        if (isField(name))
            return values.metadata ? values.metadata(name.mid(5)) : QString();
        return std::nullopt;
    });
}

bool uses(const QString& text, const QString& field)
{
    bool found = false;
    walk(text, [&](const QString& name) -> std::optional<QString> {
        found = found || (isField(name) && kindOf(name) == field);
        return std::nullopt;
    });
    return found;
}

bool variesPerPage(const QString& text)
{
    return uses(text, QStringLiteral("page")) || uses(text, QStringLiteral("pages"));
}

} // namespace TextFields
