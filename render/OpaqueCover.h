#pragma once

#include <QRectF>
#include <QTransform>

#include <set>
#include <string>
#include <string_view>
#include <vector>

// Follows a page's content as ContentScanner splits it, to learn whether something certainly
// opaque is painted over the whole of an area of the page: an image (inline, or an XObject the
// page's resources must then show to be opaque) or a filled rectangle. Only paint in a state that
// cannot let anything beneath show counts: no clip but a rectangle around the whole area, no
// graphics state but the plain ones named, no optional content, text not clipping. Anything it
// cannot be sure of counts as covering nothing, so a mark beneath is never judged hidden wrongly.
class OpaqueCover
{
public:
    // area: in the page's default user space. plainStates: the names (without their slash) of
    // the page's graphics state dictionaries that leave paint opaque and unblended.
    OpaqueCover(const QRectF& area, std::set<std::string> plainStates);

    // A number, name (without its slash), keyword or operator, in content order. tooLong: longer
    // than the scanner keeps, so its text is cut short.
    void word(std::string_view text, bool name, bool tooLong);
    // A string, array or dictionary begins where an operand stands.
    void otherOperand();
    // An inline image's data begins: a stencil mask (/ImageMask true) or an image in the colour
    // space given (the word after /ColorSpace), its data filtered or as it is.
    void inlineImage(bool stencil, std::string_view colourSpace, bool filtered);

    // Whether a filled rectangle or an inline image covers the area.
    bool coveredOutright() const { return m_outright; }
    // The XObjects painted over the whole area, by name: any of them that is an opaque image
    // covers it.
    const std::vector<std::string>& coveringXObjects() const { return m_xobjects; }

private:
    struct State
    {
        QTransform ctm;
        bool uncertain = false; // clipped, blended, translucent: paint may not hide what is beneath
        bool plainFill = true;  // the fill colour is a device colour, always opaque ink
    };
    enum class Path
    {
        none,
        rectangle, // one rectangle, m_rectangle
        other,
    };
    struct Operand
    {
        std::string text; // a number's or name's text
        bool name = false;
        bool usable = false; // a whole number or name, not another kind of operand
    };

    void apply(std::string_view op);
    void paintPath(std::string_view op);
    bool paintsOpaque() const;
    bool covers(const QTransform& unitSquare) const;
    bool numbers(size_t count, double* values) const;
    const std::string* onlyName() const;
    void push(Operand operand);

    QRectF m_area;
    std::set<std::string> m_plainStates;
    State m_state;
    std::vector<State> m_saved;
    std::vector<bool> m_marked; // open marked-content sections: true for optional content
    int m_optional = 0;         // of them, how many are optional content
    bool m_gaveUp = false;      // nesting too deep to follow
    Path m_path = Path::none;
    QTransform m_rectangle; // the unit square onto the path's rectangle, in default user space
    bool m_clipPending = false;
    // The operands since the last operator: the first, and the last few.
    static constexpr size_t kept = 6;
    Operand m_first;
    Operand m_last[kept];
    size_t m_count = 0;
    bool m_outright = false;
    std::vector<std::string> m_xobjects;
};
