#include "render/breakPageTreeLoops.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <set>

namespace {

// Returns the number of pages beneath node; path holds the nodes above it.
long long repairNode(QPDFObjectHandle node, std::set<QPDFObjGen>& path)
{
    QPDFObjectHandle kids = node.getKey("/Kids");
    if (!kids.isArray())
        return 1;
    path.insert(node.getObjGen());
    QPDFObjectHandle keptKids = QPDFObjectHandle::newArray();
    long long pages = 0;
    for (auto& kid : kids.getArrayAsVector()) {
        // A kid that is no dictionary is no page either; one already above would loop.
        if (!kid.isDictionary() || (kid.isIndirect() && path.count(kid.getObjGen())))
            continue;
        keptKids.appendItem(kid);
        pages += repairNode(kid, path);
    }
    path.erase(node.getObjGen());
    if (keptKids.getArrayNItems() != kids.getArrayNItems())
        node.replaceKey("/Kids", keptKids);
    node.replaceKey("/Count", QPDFObjectHandle::newInteger(pages));
    return pages;
}

} // namespace

void breakPageTreeLoops(QPDF& pdf)
{
    std::set<QPDFObjGen> path;
    repairNode(pdf.getRoot().getKey("/Pages"), path);
    pdf.warn(qpdf_e_pages, "page tree", 0, "a loop in the page tree was broken");
    pdf.updateAllPagesCache();
}
