#include "render/OpaqueResources.h"

#include <qpdf/Pipeline.hh>

#include <exception>
#include <functional>

namespace {

// A graphics state dictionary that leaves paint as opaque as it is and unblended: no blend
// mode, soft mask, constant alpha below 1, overprint or alpha taken as shape.
bool isPlainState(QPDFObjectHandle state)
{
    if (!state.isDictionary())
        return false;
    const auto absentOr = [&state](const char* key, const std::function<bool(QPDFObjectHandle)>& accepted) {
        QPDFObjectHandle value = state.getKey(key);
        return value.isNull() || accepted(value);
    };
    const auto opaque = [](QPDFObjectHandle alpha) {
        return alpha.isNumber() && alpha.getNumericValue() >= 1;
    };
    const auto off = [](QPDFObjectHandle flag) { return flag.isBool() && !flag.getBoolValue(); };
    return absentOr("/BM",
                    [](QPDFObjectHandle mode) {
                        return mode.isNameAndEquals("/Normal") || mode.isNameAndEquals("/Compatible");
                    }) &&
           absentOr("/SMask", [](QPDFObjectHandle mask) { return mask.isNameAndEquals("/None"); }) &&
           absentOr("/CA", opaque) && absentOr("/ca", opaque) && absentOr("/OP", off) &&
           absentOr("/op", off) && absentOr("/AIS", off);
}

// Colour components per pixel of an image in this colour space; none for a space that may paint
// nothing (a separation named /None) or holds no colour (a pattern).
long long inkComponents(QPDFObjectHandle space)
{
    QPDFObjectHandle family = space.isArray() && space.getArrayNItems() > 0 ? space.getArrayItem(0) : space;
    const std::string name = family.isName() ? family.getName() : std::string();
    if (name == "/DeviceGray" || name == "/CalGray" || name == "/Indexed")
        return 1;
    if (name == "/DeviceRGB" || name == "/CalRGB" || name == "/Lab")
        return 3;
    if (name == "/DeviceCMYK")
        return 4;
    QPDFObjectHandle profile = name == "/ICCBased" && space.getArrayNItems() > 1
                                   ? space.getArrayItem(1)
                                   : QPDFObjectHandle::newNull();
    QPDFObjectHandle count = profile.isStream() ? profile.getDict().getKey("/N") : profile;
    return count.isInteger() && count.getIntValue() > 0 && count.getIntValue() <= 4 ? count.getIntValue() : 0;
}

// Counts the bytes that reach it.
class CountingPipeline : public Pipeline
{
public:
    CountingPipeline() : Pipeline("counted", nullptr) {}
    void write(unsigned char const*, size_t length) override { m_bytes += length; }
    void finish() override {}
    size_t bytes() const { return m_bytes; }

private:
    size_t m_bytes = 0;
};

// Images whose samples would take more than this are not decoded to see whether they are whole.
constexpr long long mostImageBytes = 1LL << 30;

// Whether the image's data decodes whole, so that every reader draws all of it: of broken data
// some readers draw the rest in a colour of their own and others nothing. Data only qpdf cannot
// decode (fax, JBIG2, JPEG 2000, which may also carry alpha) is not known to be whole.
bool decodesWhole(QPDFObjectHandle image, long long bytes)
{
    bool decodable = false;
    image.pipeStreamData(nullptr, &decodable, 0, qpdf_dl_all, true); // only asks
    QPDFObjectHandle filters = image.getDict().getKey("/Filter");
    const bool unfiltered = filters.isNull() || (filters.isArray() && filters.getArrayNItems() == 0);
    if ((!decodable && !unfiltered) || bytes > mostImageBytes)
        return false;
    CountingPipeline counter;
    return image.pipeStreamData(&counter, nullptr, 0, qpdf_dl_all, true) && counter.bytes() >= size_t(bytes);
}

} // namespace

namespace OpaqueResources {

std::set<std::string> plainStatesOf(QPDFObjectHandle resources)
{
    std::set<std::string> names;
    try {
        QPDFObjectHandle states =
            resources.isDictionary() ? resources.getKey("/ExtGState") : QPDFObjectHandle::newNull();
        if (!states.isDictionary())
            return names;
        for (const auto& [name, state] : states.ditems()) {
            if (isPlainState(state))
                names.insert(name.substr(1));
        }
    } catch (const std::exception&) {
        names.clear(); // a state that does not read is no plain one
    }
    return names;
}

bool isOpaqueImage(QPDFObjectHandle resources, const std::string& name)
{
    try {
        QPDFObjectHandle xobjects =
            resources.isDictionary() ? resources.getKey("/XObject") : QPDFObjectHandle::newNull();
        QPDFObjectHandle image =
            xobjects.isDictionary() ? xobjects.getKey("/" + name) : QPDFObjectHandle::newNull();
        if (!image.isStream())
            return false;
        QPDFObjectHandle dictionary = image.getDict();
        const auto absent = [&](const char* key) { return dictionary.getKey(key).isNull(); };
        const auto whole = [&](const char* key) {
            QPDFObjectHandle value = dictionary.getKey(key);
            return value.isInteger() && value.getIntValue() > 0 && value.getIntValue() <= 1 << 20
                       ? value.getIntValue()
                       : 0LL;
        };
        QPDFObjectHandle stencil = dictionary.getKey("/ImageMask");
        QPDFObjectHandle alphaInData = dictionary.getKey("/SMaskInData");
        const long long width = whole("/Width"), height = whole("/Height"), bits = whole("/BitsPerComponent");
        const long long components = inkComponents(dictionary.getKey("/ColorSpace"));
        return dictionary.getKey("/Subtype").isNameAndEquals("/Image") && absent("/SMask") &&
               absent("/Mask") && absent("/OC") &&
               (stencil.isNull() || (stencil.isBool() && !stencil.getBoolValue())) &&
               (alphaInData.isNull() || (alphaInData.isInteger() && alphaInData.getIntValue() == 0)) &&
               width > 0 && height > 0 && (bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16) &&
               components > 0 && decodesWhole(image, (width * components * bits + 7) / 8 * height);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace OpaqueResources
