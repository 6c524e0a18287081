#include "render/Signatures.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <set>
#include <vector>

namespace {

// Whether a signature dictionary certifies the document: a reference whose method is DocMDP.
// Every DocMDP permission (1: no changes; 2, 3: form filling, annotations) forbids new content.
bool certifies(QPDFObjectHandle signature)
{
    if (!signature.isDictionary())
        return false;
    QPDFObjectHandle references = signature.getKey("/Reference");
    if (!references.isArray())
        return false;
    for (auto& reference : references.getArrayAsVector()) {
        if (reference.isDictionary() && reference.getKey("/TransformMethod").isNameAndEquals("/DocMDP"))
            return true;
    }
    return false;
}

} // namespace

Signatures Signatures::of(QPDF& pdf)
{
    Signatures found;
    QPDFObjectHandle root = pdf.getRoot();
    QPDFObjectHandle permissions = root.getKey("/Perms");
    if (permissions.isDictionary() && !permissions.getKeys().empty()) {
        found.isSigned = true;
        found.certifiedAgainstChanges = certifies(permissions.getKey("/DocMDP"));
    }
    // The form's fields and their kids, each once, without recursion: a damaged form may loop.
    std::vector<QPDFObjectHandle> fields;
    // (qpdf warns of a key asked of what is no dictionary, which would count as a repair.)
    QPDFObjectHandle form = root.getKey("/AcroForm");
    QPDFObjectHandle top = form.isDictionary() ? form.getKey("/Fields") : QPDFObjectHandle::newNull();
    if (top.isArray())
        fields = top.getArrayAsVector();
    std::set<QPDFObjGen> seen;
    while (!fields.empty()) {
        QPDFObjectHandle field = fields.back();
        fields.pop_back();
        if (!field.isDictionary() || (field.isIndirect() && !seen.insert(field.getObjGen()).second))
            continue;
        QPDFObjectHandle value = field.getKey("/V");
        if (value.isDictionary() && value.getKey("/ByteRange").isArray()) {
            found.isSigned = true;
            found.certifiedAgainstChanges = found.certifiedAgainstChanges || certifies(value);
        }
        QPDFObjectHandle kids = field.getKey("/Kids");
        if (kids.isArray()) {
            for (auto& kid : kids.getArrayAsVector())
                fields.push_back(kid);
        }
    }
    return found;
}
