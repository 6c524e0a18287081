#include "render/PageTree.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <set>
#include <vector>

namespace {

bool isNode(QPDFObjectHandle object)
{
    return object.isDictionary() && object.getKey("/Kids").isArray();
}

// One node on the walk's stack: its kids, the next to look at, and what the mend keeps.
struct Frame
{
    QPDFObjectHandle node;
    std::vector<QPDFObjectHandle> kids;
    size_t next = 0;
    QPDFObjectHandle kept = QPDFObjectHandle::newArray();
    long long pages = 0;
};

} // namespace

PageTree::PageTree(QPDF& pdf) : m_pdf(pdf)
{
    walk(nullptr);
}

std::vector<QPDFObjGen> PageTree::repair()
{
    std::vector<QPDFObjGen> mended;
    walk(&mended);
    m_pdf.warn(qpdf_e_pages, "page tree", 0, "the page tree was mended");
    m_pdf.updateAllPagesCache();
    return mended;
}

// Mends the tree as it goes when mended is given, adding each node it changes.
void PageTree::walk(std::vector<QPDFObjGen>* mended)
{
    QPDFObjectHandle root = m_pdf.getRoot();
    QPDFObjectHandle top = root.getKey("/Pages");
    if (!isNode(top))
        return;
    std::set<QPDFObjGen> met{top.getObjGen()};
    std::vector<Frame> stack;
    stack.push_back({top, top.getKey("/Kids").getArrayAsVector()});
    m_depth = 1;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.kids.size()) {
            QPDFObjectHandle count = frame.node.getKey("/Count");
            const bool kidsLeftOut = frame.kept.getArrayNItems() != static_cast<int>(frame.kids.size());
            if (mended && (kidsLeftOut || !count.isInteger() || count.getIntValue() != frame.pages)) {
                if (kidsLeftOut)
                    frame.node.replaceKey("/Kids", frame.kept);
                frame.node.replaceKey("/Count", QPDFObjectHandle::newInteger(frame.pages));
                mended->push_back(frame.node.getObjGen());
            }
            const long long pages = frame.pages;
            stack.pop_back();
            if (!stack.empty())
                stack.back().pages += pages;
            continue;
        }
        QPDFObjectHandle kid = frame.kids[frame.next++];
        const bool node = isNode(kid);
        // A page met before is left out too, as poppler and MuPDF show it once.
        if (!kid.isDictionary() || kid.isSameObjectAs(root) ||
            (kid.isIndirect() && !met.insert(kid.getObjGen()).second)) {
            m_needsRepair = true;
            continue;
        }
        frame.kept.appendItem(kid);
        if (!node) {
            ++frame.pages;
            continue;
        }
        if (static_cast<int>(stack.size()) + 1 > m_depth)
            m_depth = static_cast<int>(stack.size()) + 1;
        if (m_depth > depthLimit)
            return;
        stack.push_back({kid, kid.getKey("/Kids").getArrayAsVector()});
    }
}
