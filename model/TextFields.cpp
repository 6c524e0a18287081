#include "model/TextFields.h"

#include <QDate>
#include <QLocale>
#include <QStringList>

#include <optional>

namespace {

bool isField(const QString& name);

// Walks the text, handing each field's name (what stands between its braces) to field, which
// gives its value or nothing to leave it as written; the rest is copied, "{{" and "}}" as one
// brace, or, when escaped, as they were, with the values' braces doubled, so the result is a text
// with fields again.
// Fields left as written are listed in unfilled, when given.
template <typename Field>
QString walk(const QString& text, Field field, bool escaped = false,
             std::vector<TextFields::Span>* unfilled = nullptr)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool doubled = i + 1 < text.size() && text[i + 1] == c;
        if ((c == QLatin1Char('{') || c == QLatin1Char('}')) && doubled) {
            result += escaped ? QString(2, c) : QString(c);
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
            result += escaped ? QString(*value)
                                    .replace(QLatin1Char('{'), QLatin1String("{{"))
                                    .replace(QLatin1Char('}'), QLatin1String("}}"))
                              : *value;
            i = close;
        } else {
            if (unfilled && isField(name))
                unfilled->push_back({result.size(), close - i + 1});
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

// The value of the field of that name, when values give it.
std::optional<QString> valueOf(const QString& name, const TextFields::Values& values)
{
    const auto number = [](const std::optional<int>& value) {
        return value ? std::optional(QString::number(*value)) : std::nullopt;
    };
    if (name == QLatin1String("filename"))
        return values.fileName;
    if (name == QLatin1String("date"))
        return values.date;
    if (name == QLatin1String("page"))
        return number(values.page);
    if (name == QLatin1String("pages"))
        return number(values.pages);
    if (name == QLatin1String("n"))
        return number(values.number);
    if (name == QLatin1String("recipient"))
        return values.recipient;
    if (isField(name) && values.metadata)
        return values.metadata(name.mid(5));
    return std::nullopt;
}

} // namespace

namespace TextFields {

QString today()
{
    return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
}

QString expand(const QString& text, const Values& values)
{
    return walk(text, [&values](const QString& name) { return valueOf(name, values); });
}

QString expand(const QString& text, const Values& values, std::vector<Span>& unfilled)
{
    return walk(
        text, [&values](const QString& name) { return valueOf(name, values); }, false, &unfilled);
}

QString fill(const QString& text, const Values& values)
{
    return walk(
        text, [&values](const QString& name) { return valueOf(name, values); }, true);
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

WatermarkSnapshot onPage(WatermarkSnapshot design, int page, int pages)
{
    if (design.type != WatermarkType::text)
        return design;
    Values values;
    values.page = page;
    values.pages = pages;
    design.text = expand(design.text, values);
    return design;
}

} // namespace TextFields
