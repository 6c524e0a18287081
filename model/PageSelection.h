#pragma once

#include "model/Result.h"

#include <QString>

#include <vector>

// Which pages of a document a design stamps, stored as text: "all", "first", "allButFirst",
// "last", "odd", "even", or a list of pages and ranges such as "1-3,5,8-", where a negative number
// counts from the end ("-1" is the last page, "-3-" the last three).
class PageSelection
{
public:
    // Every page.
    PageSelection() = default;

    // Fails with the reason, in words, for a page 0, a range that runs backwards ("5-3"), or text
    // that is none of the above. Spaces around items are allowed.
    static Result<PageSelection> parse(const QString& text);
    // The selection a stored design holds. Text that does not parse (edited by hand, or written
    // by a later version) is kept as it is, to be stored back unchanged, and selects no page:
    // stampedPages() gives its reason instead.
    static PageSelection stored(const QString& text);

    // The text as stored.
    const QString& text() const { return m_text; }
    bool isAll() const { return m_text == QLatin1String("all"); }
    // Why stored text does not parse; empty when it does.
    const QString& error() const { return m_error; }

    // The selected pages of a document of pageCount pages, 1-based and ascending, each once. Pages
    // a list names beyond the document's end are not in it.
    std::vector<int> pagesOf(int pageCount) const;
    // The pages to stamp of a document of pageCount pages; fails, in words for the user, when the
    // text does not parse or selects none of them.
    Result<std::vector<int>> stampedPages(int pageCount) const;

    bool operator==(const PageSelection& other) const { return m_text == other.m_text; }

private:
    // Every step-th page from from to to, as written: negative counting from the end, to 0 for
    // "to the end".
    struct Range
    {
        int from = 1;
        int to = 0;
        int step = 1;
    };

    QString m_text = QStringLiteral("all");
    std::vector<Range> m_ranges{Range{}};
    QString m_error; // why stored text does not parse
};
