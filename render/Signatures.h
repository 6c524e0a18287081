#pragma once

class QPDF;

// What a document's digital signatures ask of a change to it. A signature covers the bytes of
// the revision it signed, so it keeps verifying only when the change is appended after them; a
// certification (DocMDP) also says which changes may follow, and new page content is none of them.
struct Signatures
{
    bool isSigned = false;                // a signature field with a /ByteRange, or /Perms
    bool certifiedAgainstChanges = false; // a DocMDP certification, whichever its permissions

    // Reads the catalogue's /Perms and the signature fields of its form. Throws what qpdf throws.
    static Signatures of(QPDF& pdf);
};
