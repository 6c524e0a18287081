#pragma once

#include <qpdf/QPDFObjGen.hh>

#include <vector>

class QPDF;

// A document's page tree as readers walk it: from the catalogue's /Pages, depth first, each node
// followed once, where it is first met. The walk keeps its own stack, so no tree can exhaust the
// thread's, and meets each node once, so a tree whose kids repeat a node at every level takes
// linear time, not time exponential in its depth.
class PageTree
{
public:
    // Deeper trees are refused: readers keep a limit of this order, and qpdf's own walk of the
    // pages recurses once per level.
    static constexpr int depthLimit = 256;

    // Walks the tree of pdf, up to one level below depthLimit. Throws what qpdf throws.
    explicit PageTree(QPDF& pdf);

    // The deepest level reached; more than depthLimit for a tree too deep.
    int depth() const { return m_depth; }

    // Whether a node lists a node or page met before (its own ancestor: a loop; or another
    // node's kid), the catalogue, or something that is no dictionary among its kids.
    bool needsRepair() const { return m_needsRepair; }

    // Mends the tree: the kids that needsRepair() names are left out, each node's /Count becomes
    // the pages found beneath it, the repair is recorded as a qpdf warning and qpdf's list of
    // pages is read again. Only for a tree within depthLimit. Returns the nodes it changed.
    // Throws what qpdf throws.
    std::vector<QPDFObjGen> repair();

private:
    void walk(std::vector<QPDFObjGen>* mended);

    QPDF& m_pdf;
    int m_depth = 0;
    bool m_needsRepair = false;
};
