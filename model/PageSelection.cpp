#include "model/PageSelection.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

// A page number as written: an optional minus, then digits; nothing when it does not fit.
std::optional<int> pageNumber(const QString& text)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    return ok ? std::optional(number) : std::nullopt;
}

} // namespace

Result<PageSelection> PageSelection::parse(const QString& text)
{
    PageSelection selection;
    selection.m_text = text.trimmed();
    static const QList<std::pair<QString, Range>> words{{"all", {1, 0, 1}},         {"first", {1, 1, 1}},
                                                        {"allButFirst", {2, 0, 1}}, {"last", {-1, -1, 1}},
                                                        {"odd", {1, 0, 2}},         {"even", {2, 0, 2}}};
    for (const auto& [word, range] : words) {
        if (selection.m_text == word) {
            selection.m_ranges = {range};
            return selection;
        }
    }
    selection.m_ranges.clear();
    // An item: a page, or a page, a dash and an optional page; each page may be negative.
    static const QRegularExpression item(QStringLiteral("^\\s*(-?\\d+)\\s*(?:(-)\\s*(-?\\d+)?)?\\s*$"));
    for (const QString& part : selection.m_text.split(QLatin1Char(','))) {
        const QRegularExpressionMatch found = item.match(part);
        if (!found.hasMatch())
            return Result<PageSelection>::failure(
                QStringLiteral(
                    "“%1” is not a page, a range or one of all, first, allButFirst, last, odd, even")
                    .arg(part.trimmed()));
        const auto from = pageNumber(found.captured(1));
        const auto to = found.hasCaptured(3) ? pageNumber(found.captured(3)) : std::optional<int>(0);
        if (!from || !to)
            return Result<PageSelection>::failure(
                QStringLiteral("“%1” names a page no document has").arg(part.trimmed()));
        if (*from == 0 || (found.hasCaptured(3) && *to == 0))
            return Result<PageSelection>::failure(
                QStringLiteral("“%1” names a page 0; pages count from 1").arg(part.trimmed()));
        const Range range{*from, found.hasCaptured(2) ? *to : *from, 1};
        // Whether a range runs backwards is known before a document only when both ends count
        // the same way.
        if (range.to != 0 && (range.from > 0) == (range.to > 0) && range.from > range.to)
            return Result<PageSelection>::failure(QStringLiteral("“%1” runs backwards").arg(part.trimmed()));
        selection.m_ranges.push_back(range);
    }
    return selection;
}

std::vector<int> PageSelection::pagesOf(int pageCount) const
{
    const auto position = [pageCount](int written) {
        return written < 0 ? qint64(pageCount) + 1 + written : qint64(written);
    };
    std::vector<bool> chosen(size_t(std::max(pageCount, 0)) + 1, false);
    for (const Range& range : m_ranges) {
        const qint64 to = std::min(range.to == 0 ? pageCount : position(range.to), qint64(pageCount));
        // A range reaching before the first page starts with it; a single page outside is no page.
        qint64 page = position(range.from);
        if (page < 1)
            page += (1 - page + range.step - 1) / range.step * range.step;
        for (; page <= to; page += range.step)
            chosen[size_t(page)] = true;
    }
    std::vector<int> pages;
    for (int page = 1; page <= pageCount; ++page) {
        if (chosen[size_t(page)])
            pages.push_back(page);
    }
    return pages;
}

PageSelection PageSelection::stored(const QString& text)
{
    auto parsed = parse(text);
    if (parsed)
        return std::move(parsed).value();
    PageSelection unreadable;
    unreadable.m_text = text;
    unreadable.m_ranges.clear();
    unreadable.m_error = parsed.error();
    return unreadable;
}

Result<std::vector<int>> PageSelection::stampedPages(int pageCount) const
{
    if (!m_error.isEmpty())
        return Result<std::vector<int>>::failure(QStringLiteral("the design's page list does not read: ") +
                                                 m_error);
    std::vector<int> pages = pagesOf(pageCount);
    if (pages.empty())
        return Result<std::vector<int>>::failure(
            QStringLiteral("no page of it is in the design's page list"));
    return pages;
}
