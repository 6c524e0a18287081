// Writes the sample document the design editor previews, resources/Lorem_Ipsum.pdf: two Letter
// pages of filler text set like an ordinary report, so a design is judged against real type.
//
// Re-run after changing this file (the output is committed, not generated at build time):
//   cmake --build build --target make-sample-pdf && QT_QPA_PLATFORM=offscreen build/make-sample-pdf
//   resources/Lorem_Ipsum.pdf

#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QString>
#include <QStringList>
#include <QTextLayout>

#include <cstdio>

namespace {

constexpr double pageWidth = 612;
constexpr double pageHeight = 792;
constexpr double margin = 72;

const QStringList paragraphs = {
    QStringLiteral(
        "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt ut "
        "labore et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud exercitation ullamco "
        "laboris nisi ut aliquip ex ea commodo consequat. Duis aute irure dolor in reprehenderit in "
        "voluptate velit esse cillum dolore eu fugiat nulla pariatur. Excepteur sint occaecat cupidatat "
        "non proident, sunt in culpa qui officia deserunt mollit anim id est laborum."),
    QStringLiteral(
        "Sed ut perspiciatis unde omnis iste natus error sit voluptatem accusantium doloremque "
        "laudantium, totam rem aperiam, eaque ipsa quae ab illo inventore veritatis et quasi architecto "
        "beatae vitae dicta sunt explicabo. Nemo enim ipsam voluptatem quia voluptas sit aspernatur aut "
        "odit aut fugit, sed quia consequuntur magni dolores eos qui ratione voluptatem sequi nesciunt."),
    QStringLiteral(
        "Neque porro quisquam est, qui dolorem ipsum quia dolor sit amet, consectetur, adipisci velit, "
        "sed quia non numquam eius modi tempora incidunt ut labore et dolore magnam aliquam quaerat "
        "voluptatem. Ut enim ad minima veniam, quis nostrum exercitationem ullam corporis suscipit "
        "laboriosam, nisi ut aliquid ex ea commodi consequatur."),
    QStringLiteral(
        "Quis autem vel eum iure reprehenderit qui in ea voluptate velit esse quam nihil molestiae "
        "consequatur, vel illum qui dolorem eum fugiat quo voluptas nulla pariatur. At vero eos et "
        "accusamus et iusto odio dignissimos ducimus qui blanditiis praesentium voluptatum deleniti "
        "atque corrupti quos dolores et quas molestias excepturi sint occaecati cupiditate non "
        "provident, similique sunt in culpa qui officia deserunt mollitia animi, id est laborum et "
        "dolorum fuga."),
    QStringLiteral(
        "Et harum quidem rerum facilis est et expedita distinctio. Nam libero tempore, cum soluta nobis "
        "est eligendi optio cumque nihil impedit quo minus id quod maxime placeat facere possimus, omnis "
        "voluptas assumenda est, omnis dolor repellendus. Temporibus autem quibusdam et aut officiis "
        "debitis aut rerum necessitatibus saepe eveniet ut et voluptates repudiandae sint et molestiae "
        "non recusandae."),
    QStringLiteral(
        "Itaque earum rerum hic tenetur a sapiente delectus, ut aut reiciendis voluptatibus maiores "
        "alias consequatur aut perferendis doloribus asperiores repellat. Nulla facilisi. Pellentesque "
        "habitant morbi tristique senectus et netus et malesuada fames ac turpis egestas. Vestibulum "
        "tortor quam, feugiat vitae, ultricies eget, tempor sit amet, ante."),
};

// One block of text: a heading or a paragraph, with the space it wants above it.
struct Block
{
    QString text;
    QFont font;
    double spaceAbove = 0;
    Qt::Alignment alignment = Qt::AlignJustify;
};

QFont fontOf(const QString& family, double points, QFont::Weight weight = QFont::Normal)
{
    QFont font(family);
    font.setPointSizeF(points);
    font.setWeight(weight);
    // Unhinted metrics keep the spacing the same at the writer's resolution and in a viewer.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QList<Block> documentBlocks()
{
    const QFont body = fontOf(QStringLiteral("DejaVu Serif"), 10.5);
    const QFont heading = fontOf(QStringLiteral("DejaVu Sans"), 12.5, QFont::Bold);
    QList<Block> blocks;
    blocks.append({QStringLiteral("Lorem Ipsum"), fontOf(QStringLiteral("DejaVu Sans"), 24, QFont::Bold), 0,
                   Qt::AlignLeft});
    blocks.append({QStringLiteral("A sample document for previewing watermark designs"),
                   fontOf(QStringLiteral("DejaVu Serif"), 12, QFont::Normal), 6, Qt::AlignLeft});
    const QStringList headings = {QStringLiteral("1. Introduction"), QStringLiteral("2. Background"),
                                  QStringLiteral("3. Discussion")};
    for (int i = 0; i < paragraphs.size() * 2; ++i) {
        if (i % 4 == 0)
            blocks.append({headings.at(i / 4 % headings.size()), heading, 22, Qt::AlignLeft});
        blocks.append({paragraphs.at(i % paragraphs.size()), body, i % 4 == 0 ? 8.0 : 9.0});
    }
    return blocks;
}

// Sets the blocks in the text column page after page, in device units of the writer.
void typeset(QPdfWriter& writer, const QList<Block>& blocks)
{
    const double unit = writer.resolution() / 72.0;
    const double left = margin * unit;
    const double columnWidth = (pageWidth - 2 * margin) * unit;
    const double bottom = (pageHeight - margin) * unit;
    QPainter painter(&writer);
    painter.setPen(QColor(25, 25, 25));
    int pageNumber = 1;
    double y = margin * unit;

    const auto drawFooter = [&] {
        painter.setFont(fontOf(QStringLiteral("DejaVu Serif"), 9));
        painter.drawText(QRectF(left, bottom + 24 * unit, columnWidth, 14 * unit), Qt::AlignHCenter,
                         QString::number(pageNumber));
    };

    for (const Block& block : blocks) {
        QTextLayout layout(block.text, block.font, &writer);
        QTextOption option(block.alignment);
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        double height = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(columnWidth);
            line.setPosition(QPointF(0, height));
            height += line.height() * 1.18;
        }
        layout.endLayout();

        y += block.spaceAbove * unit;
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            if (y + line.height() > bottom) {
                drawFooter();
                writer.newPage();
                ++pageNumber;
                y = margin * unit;
            }
            line.draw(&painter, QPointF(left, y - line.y()));
            y += line.height() * 1.18;
        }
    }
    drawFooter();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("Usage: make-sample-pdf OUTPUT.pdf\n", stderr);
        return 2;
    }

    QPdfWriter writer(QString::fromLocal8Bit(argv[1]));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF()));
    writer.setResolution(1200);
    writer.setTitle(QStringLiteral("Lorem Ipsum"));
    writer.setCreator(QStringLiteral("Dador Aduravuzo"));
    typeset(writer, documentBlocks());
    return 0;
}
