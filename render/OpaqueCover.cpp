#include "render/OpaqueCover.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace {

// Deeper nesting of saved states is not followed: no paint after it counts.
constexpr size_t mostNesting = 4096;
// XObjects noted as covering the area, at most: pages paint one or two so.
constexpr size_t mostXObjects = 8;
// How far outside the painted unit square a corner of the area may lie, in the square's units.
constexpr double slack = 1e-6;

bool startsNumber(char c)
{
    return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// A number as PDF writes one: a sign, digits and at most one point. Readers differ on anything
// else (an exponent, two signs), so it does not read.
bool readNumber(const std::string& text, double& value)
{
    const std::string_view magnitude =
        std::string_view(text).substr(text.starts_with('+') || text.starts_with('-'));
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (std::none_of(magnitude.begin(), magnitude.end(), isDigit) ||
        std::count(magnitude.begin(), magnitude.end(), '.') > 1 ||
        !std::all_of(magnitude.begin(), magnitude.end(), [&](char c) { return c == '.' || isDigit(c); }))
        return false;
    const char* start = text.data() + (text.starts_with('+') ? 1 : 0); // from_chars takes a minus sign only
    return std::from_chars(start, text.data() + text.size(), value).ec == std::errc();
}

bool isDeviceSpace(std::string_view name)
{
    return name == "DeviceGray" || name == "DeviceRGB" || name == "DeviceCMYK";
}

bool isFill(std::string_view op)
{
    return op == "f" || op == "F" || op == "f*" || op == "B" || op == "B*" || op == "b" || op == "b*";
}

bool paintsPath(std::string_view op)
{
    return isFill(op) || op == "S" || op == "s" || op == "n";
}

} // namespace

OpaqueCover::OpaqueCover(const QRectF& area, std::set<std::string> plainStates)
    : m_area(area.normalized()), m_plainStates(std::move(plainStates))
{}

void OpaqueCover::word(std::string_view text, bool name, bool tooLong)
{
    if (name) {
        push({std::string(text), true, !tooLong && text.find('#') == std::string_view::npos});
        return;
    }
    const bool number = !text.empty() && startsNumber(text.front());
    if (number || text == "true" || text == "false" || text == "null") {
        push({std::string(text), false, number && !tooLong});
        return;
    }
    apply(tooLong ? std::string_view() : text);
    m_count = 0;
}

void OpaqueCover::otherOperand()
{
    push({});
}

// Unfiltered data is whole as readers read it: they take as many bytes as the image needs, and
// data cut short is made up at the end of the content. Filtered data may break off anywhere.
void OpaqueCover::inlineImage(bool stencil, std::string_view colourSpace, bool filtered)
{
    static constexpr std::array<std::string_view, 8> opaqueSpaces{
        "/G", "/RGB", "/CMYK", "/DeviceGray", "/DeviceRGB", "/DeviceCMYK", "/I", "/Indexed"};
    const bool opaque =
        !stencil && !filtered &&
        std::find(opaqueSpaces.begin(), opaqueSpaces.end(), colourSpace) != opaqueSpaces.end();
    if (opaque && paintsOpaque() && covers(m_state.ctm))
        m_outright = true;
}

void OpaqueCover::push(Operand operand)
{
    if (m_count == 0)
        m_first = operand;
    m_last[m_count % kept] = std::move(operand);
    ++m_count;
}

// The operands of the operator just read, when they are exactly count numbers.
bool OpaqueCover::numbers(size_t count, double* values) const
{
    if (m_count != count || count > kept)
        return false;
    for (size_t i = 0; i < count; ++i) {
        const Operand& operand = m_last[i];
        if (operand.name || !operand.usable || !readNumber(operand.text, values[i]))
            return false;
    }
    return true;
}

// The operator's one operand when it is a name.
const std::string* OpaqueCover::onlyName() const
{
    return m_count == 1 && m_first.name && m_first.usable ? &m_first.text : nullptr;
}

void OpaqueCover::apply(std::string_view op)
{
    double values[kept] = {};
    if (op == "q") {
        m_gaveUp = m_gaveUp || m_saved.size() >= mostNesting;
        if (!m_gaveUp)
            m_saved.push_back(m_state);
    } else if (op == "Q") {
        // A Q without its q restores the state the page began in, as the brackets around it do.
        m_state = m_saved.empty() ? State() : m_saved.back();
        if (!m_saved.empty())
            m_saved.pop_back();
    } else if (op == "cm") {
        if (numbers(6, values))
            m_state.ctm =
                QTransform(values[0], values[1], values[2], values[3], values[4], values[5]) * m_state.ctm;
        else
            m_state.uncertain = true;
    } else if (op == "gs") {
        const std::string* name = onlyName();
        m_state.uncertain = m_state.uncertain || !name || !m_plainStates.contains(*name);
    } else if (op == "Tr") {
        // Modes 4 to 7 add the text to the clip.
        m_state.uncertain = m_state.uncertain || !numbers(1, values) || !(values[0] >= 0 && values[0] <= 3);
    } else if (op == "cs") {
        const std::string* name = onlyName();
        m_state.plainFill = name && isDeviceSpace(*name);
    } else if (op == "g" || op == "rg" || op == "k") {
        m_state.plainFill = numbers(op == "g" ? 1 : op == "rg" ? 3 : 4, values);
    } else if (op == "BDC" || op == "BMC") {
        const bool optional = m_count == 0 || !m_first.name || !m_first.usable || m_first.text == "OC";
        m_marked.push_back(optional);
        m_optional += optional;
    } else if (op == "EMC") {
        if (!m_marked.empty()) {
            m_optional -= m_marked.back();
            m_marked.pop_back();
        }
    } else if (op == "re") {
        const bool one = m_path == Path::none && numbers(4, values);
        m_path = one ? Path::rectangle : Path::other;
        if (one)
            m_rectangle = QTransform(values[2], 0, 0, values[3], values[0], values[1]) * m_state.ctm;
    } else if (op == "m" || op == "l" || op == "c" || op == "v" || op == "y" ||
               (op == "h" && m_path != Path::rectangle)) {
        m_path = Path::other;
    } else if (op == "W" || op == "W*") {
        m_clipPending = true;
    } else if (paintsPath(op)) {
        paintPath(op);
    } else if (op == "Do") {
        const std::string* name = onlyName();
        if (name && paintsOpaque() && covers(m_state.ctm) && m_xobjects.size() < mostXObjects &&
            std::find(m_xobjects.begin(), m_xobjects.end(), *name) == m_xobjects.end())
            m_xobjects.push_back(*name);
    }
}

// A clip takes effect after the path is painted; a rectangle around the whole area takes nothing
// of it away.
void OpaqueCover::paintPath(std::string_view op)
{
    const bool rectangle = m_path == Path::rectangle && covers(m_rectangle);
    if (isFill(op) && rectangle && m_state.plainFill && paintsOpaque())
        m_outright = true;
    if (m_clipPending && !rectangle)
        m_state.uncertain = true;
    m_clipPending = false;
    m_path = Path::none;
}

bool OpaqueCover::paintsOpaque() const
{
    return !m_state.uncertain && m_optional == 0 && !m_gaveUp;
}

// Whether the unit square, mapped into default user space, holds the whole area.
bool OpaqueCover::covers(const QTransform& unitSquare) const
{
    bool invertible = false;
    const QTransform inverse = unitSquare.inverted(&invertible);
    if (!invertible || m_area.isEmpty())
        return false;
    for (const QPointF corner :
         {m_area.topLeft(), m_area.topRight(), m_area.bottomLeft(), m_area.bottomRight()}) {
        const QPointF inside = inverse.map(corner);
        if (!(inside.x() >= -slack && inside.x() <= 1 + slack && inside.y() >= -slack &&
              inside.y() <= 1 + slack))
            return false;
    }
    return true;
}
