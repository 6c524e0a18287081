#pragma once

#include "model/TextFields.h"
#include "model/WatermarkSnapshot.h"
#include "render/MarkPlacement.h"

#include <QImage>
#include <QRectF>
#include <QTextLayout>

#include <memory>
#include <vector>

class QElapsedTimer;
class QPainter;

// A design made ready to draw, once for any number of copies and targets: its text laid out in
// its font, or its picture decoded. The mark's own space is centred on the mark, y down; its
// units are the laid-out text's points or the picture's pixels.
class PreparedMark
{
public:
    // Text: lays it out, printing the first two timing lines when timed. Picture: decodes it (see
    // drawWatermark for what draws nothing). Placeholders (spans of the text, values not known
    // yet) are drawn in grey, unless the text is drawn as outlines.
    explicit PreparedMark(const WatermarkSnapshot& settings, bool timed = true,
                          const std::vector<TextFields::Span>& placeholders = {});
    ~PreparedMark();
    PreparedMark(const PreparedMark&) = delete;
    PreparedMark& operator=(const PreparedMark&) = delete;

    // A picture design, whether or not its picture decoded (one that did not draws nothing).
    bool isPicture() const { return m_isPicture; }

    // Where the copies go on a target of this size, in points (see MarkPlacement::of).
    std::vector<MarkPlacement> placementsOn(const QSizeF& target) const;

    // Draws one copy; the painter's space is the target's, in points, y down.
    void draw(QPainter& painter, const MarkPlacement& copy, const QSizeF& target) const;

    // Draws the mark in its own space, for a drawing placed elsewhere with its own matrix: text
    // as glyph outlines when asked, of a picture only the given pixels.
    void drawOwn(QPainter& painter, bool outlines, const QRect& pixels) const;

    // Whether text drawn by this copy is too large for readers to draw as text.
    bool needsOutlines(const MarkPlacement& copy) const;
    // The picture's pixels that can show on the target; all of them for text.
    QRect visiblePixels(const MarkPlacement& copy, const QSizeF& target) const;
    QRect allPixels() const { return m_picture.rect(); }
    // Where the mark's ink lies in its own space; of a picture, where the given pixels lie.
    QRectF ownExtent(const QRect& pixels) const;

    // True for a design without a picture, otherwise whether its picture decodes; fills the
    // calling thread's picture cache.
    static bool pictureDecodes(const WatermarkSnapshot& settings);

    // Prints the time since timer started, the third timing line of text.
    void printDrawingTime(const QElapsedTimer& timer) const;

private:
    QRectF ownBox() const;
    QTransform pixelsToPoints(double scale) const;

    WatermarkSnapshot m_settings;
    bool m_isPicture = false;
    bool m_timed = true;
    std::unique_ptr<QTextLayout> m_layout; // text only
    QSizeF m_textSize;
    double m_naturalScale = 1;
    double m_laidOutSize = 1;
    QImage m_picture;
    QRectF m_extent;
};
