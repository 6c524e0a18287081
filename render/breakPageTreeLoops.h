#pragma once

class QPDF;

// Repairs a page tree in which a node lists itself or one of its ancestors among its kids, which
// qpdf refuses to walk: each such kid is left out, as is any kid that is no dictionary, each
// node's /Count is set to the pages found beneath it, and the repair is recorded as a qpdf
// warning (the document is then rewritten, not updated). Afterwards qpdf's list of pages is
// read again. Throws what qpdf throws.
void breakPageTreeLoops(QPDF& pdf);
