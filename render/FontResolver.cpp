#include "render/FontResolver.h"

#include <QHash>

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// What Qt's font database selects a face by. Qt keeps each foundry of a family apart, and URW's
// Type 1 and OpenType files name different foundries, each with only some of the styles: without
// the foundry, Qt may settle on one that lacks the style and draw a regular face instead.
struct Face
{
    QString family;
    QString style;
    QString foundry;
};

// Every installed face under the names that reach it.
struct FaceCatalog
{
    QStringList fullNames;       // one per face: the picker's list, sorted
    QHash<QString, Face> byName; // case-folded full names and PostScript names
    QHash<QString, Face> byFile; // file and face index, to read fontconfig's matches
};

// The faces fontconfig lists for one family and style: the same face shipped in several files
// (URW's Type 1 and OpenType) is one face to Qt and to the user.
struct FaceGroup
{
    Face face;
    QStringList shownNames;
    QStringList names;
    QStringList files;
    QString fullName;
    bool isOpenType = false;
};

using PatternPtr = std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)>;
using ObjectSetPtr = std::unique_ptr<FcObjectSet, decltype(&FcObjectSetDestroy)>;
using FontSetPtr = std::unique_ptr<FcFontSet, decltype(&FcFontSetDestroy)>;

QStringList strings(const FcPattern* pattern, const char* object)
{
    QStringList values;
    FcChar8* value = nullptr;
    for (int i = 0; FcPatternGetString(pattern, object, i, &value) == FcResultMatch; ++i)
        values.append(QString::fromUtf8(reinterpret_cast<const char*>(value)));
    return values;
}

Face faceOf(const FcPattern* pattern)
{
    return {strings(pattern, FC_FAMILY).value(0), strings(pattern, FC_STYLE).value(0),
            strings(pattern, FC_FOUNDRY).value(0)};
}

QString fileKey(const FcPattern* pattern)
{
    FcChar8* file = nullptr;
    int index = 0;
    FcPatternGetString(pattern, FC_FILE, 0, &file);
    FcPatternGetInteger(pattern, FC_INDEX, 0, &index);
    return QString::fromUtf8(reinterpret_cast<const char*>(file)) + QLatin1Char('#') + QString::number(index);
}

// The full names a person would pick the face by, English ones when there are any. Some
// OpenType files list their PostScript name among the full names; that one is not shown.
QStringList shownNames(const FcPattern* pattern)
{
    const QStringList names = strings(pattern, FC_FULLNAME);
    const QStringList languages = strings(pattern, FC_FULLNAMELANG);
    const QStringList postScriptNames = strings(pattern, FC_POSTSCRIPT_NAME);
    QStringList english;
    QStringList other;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (postScriptNames.contains(names[i], Qt::CaseInsensitive))
            continue;
        const bool isEnglish = languages.value(i, QStringLiteral("en")).startsWith(QLatin1String("en"));
        (isEnglish ? english : other).append(names[i]);
    }
    return english.isEmpty() ? other : english;
}

// The longest name is the most telling ("Nimbus Sans Regular" over "Nimbus Sans"); ties go
// alphabetically so the choice does not depend on the order fontconfig lists files in.
QString chooseFullName(const FaceGroup& group)
{
    if (group.shownNames.isEmpty())
        return group.names.value(0, group.face.family + QLatin1Char(' ') + group.face.style);
    return *std::max_element(group.shownNames.begin(), group.shownNames.end(),
                             [](const QString& a, const QString& b) {
                                 return a.size() != b.size() ? a.size() < b.size() : a > b;
                             });
}

std::vector<FaceGroup> listFaceGroups()
{
    const PatternPtr everything(FcPatternCreate(), &FcPatternDestroy);
    const ObjectSetPtr objects(FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FULLNAME, FC_FULLNAMELANG,
                                                FC_POSTSCRIPT_NAME, FC_FOUNDRY, FC_FONTFORMAT, FC_FILE,
                                                FC_INDEX, FC_VARIABLE, nullptr),
                               &FcObjectSetDestroy);
    const FontSetPtr fonts(FcFontList(nullptr, everything.get(), objects.get()), &FcFontSetDestroy);
    std::vector<FaceGroup> groups;
    if (!fonts)
        return groups;
    QHash<QString, size_t> groupOf;
    for (int i = 0; i < fonts->nfont; ++i) {
        const FcPattern* pattern = fonts->fonts[i];
        // A variable font's own entry stands for all its instances, which are listed beside it.
        FcBool variable = FcFalse;
        FcPatternGetBool(pattern, FC_VARIABLE, 0, &variable);
        // Qt registers a face under its first family and style; so must the catalog.
        const Face face = faceOf(pattern);
        if (variable || face.family.isEmpty())
            continue;
        const QString key = (face.family + QLatin1Char('\n') + face.style).toCaseFolded();
        if (!groupOf.contains(key)) {
            groupOf.insert(key, groups.size());
            groups.push_back({face, {}, {}, {}, {}});
        }
        FaceGroup& group = groups[groupOf.value(key)];
        // Either file draws the face; the OpenType one is preferred, so the choice does not
        // depend on the order fontconfig lists files in.
        const bool isOpenType = strings(pattern, FC_FONTFORMAT).value(0) != QLatin1String("Type 1");
        if (isOpenType && !group.isOpenType) {
            group.face.foundry = face.foundry;
            group.isOpenType = true;
        }
        group.shownNames += shownNames(pattern);
        group.names += strings(pattern, FC_FULLNAME) + strings(pattern, FC_POSTSCRIPT_NAME);
        group.files += fileKey(pattern);
    }
    for (FaceGroup& group : groups)
        group.fullName = chooseFullName(group);
    std::sort(groups.begin(), groups.end(), [](const FaceGroup& a, const FaceGroup& b) {
        const int order = a.fullName.compare(b.fullName, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a.fullName < b.fullName;
    });
    return groups;
}

FaceCatalog readCatalog()
{
    const std::vector<FaceGroup> groups = listFaceGroups();
    FaceCatalog catalog;
    // Shown names first, so that another face's secondary name can never take one over.
    for (const FaceGroup& group : groups) {
        const QString key = group.fullName.toCaseFolded();
        if (catalog.byName.contains(key))
            continue;
        catalog.fullNames.append(group.fullName);
        catalog.byName.insert(key, group.face);
    }
    for (const FaceGroup& group : groups) {
        for (const QString& name : group.names) {
            if (!catalog.byName.contains(name.toCaseFolded()))
                catalog.byName.insert(name.toCaseFolded(), group.face);
        }
        for (const QString& file : group.files)
            catalog.byFile.insert(file, group.face);
    }
    return catalog;
}

// The fontconfig constant ("bold", "oblique", "condensed", ...) a style word stands for, when it
// sets weight, slant or width; other constants ("mono") belong to family names.
const FcConstant* styleConstant(const QString& word)
{
    const QByteArray lower = word.toLower().toUtf8();
    const FcConstant* constant = FcNameGetConstant(reinterpret_cast<const FcChar8*>(lower.constData()));
    if (!constant)
        return nullptr;
    for (const char* object : {FC_WEIGHT, FC_SLANT, FC_WIDTH}) {
        if (std::strcmp(constant->object, object) == 0)
            return constant;
    }
    return nullptr;
}

// A name read as a family followed by style words.
struct StyledFamily
{
    QString family;
    std::vector<const FcConstant*> style;
};

// "Helvetica-BoldOblique" is a PostScript name: the style words run together after the last
// hyphen, each starting with a capital, among vendor marks ("Arial-BoldMT") that are skipped.
// "Helvetica Bold Oblique" is a family followed by style words, peeled off from the end.
StyledFamily splitStyle(const QString& name)
{
    StyledFamily result{name.simplified(), {}};
    const qsizetype hyphen = result.family.lastIndexOf(QLatin1Char('-'));
    if (hyphen > 0 && !result.family.contains(QLatin1Char(' '))) {
        QStringList words;
        for (const QChar c : result.family.mid(hyphen + 1)) {
            if (c.isUpper() || words.isEmpty())
                words.append(QString());
            words.last().append(c);
        }
        result.family.truncate(hyphen);
        for (qsizetype i = 0; i < words.size(); ++i) {
            // Two words may make one constant: "ExtraLight", "SemiCondensed".
            if (i + 1 < words.size()) {
                if (const FcConstant* pair = styleConstant(words[i] + words[i + 1])) {
                    result.style.push_back(pair);
                    ++i;
                    continue;
                }
            }
            if (const FcConstant* single = styleConstant(words[i]))
                result.style.push_back(single);
        }
        return result;
    }
    QStringList words = result.family.split(QLatin1Char(' '));
    while (words.size() > 1) {
        const qsizetype last = words.size() - 1;
        const FcConstant* pair = last > 1 ? styleConstant(words[last - 1] + words[last]) : nullptr;
        const FcConstant* constant = pair ? pair : styleConstant(words[last]);
        if (!constant)
            break;
        result.style.push_back(constant);
        words.remove(pair ? last - 1 : last, pair ? 2 : 1);
    }
    result.family = words.join(QLatin1Char(' '));
    return result;
}

void addString(FcPattern* pattern, const char* object, const QString& value)
{
    FcPatternAddString(pattern, object, reinterpret_cast<const FcChar8*>(value.toUtf8().constData()));
}

// fontconfig's own choice for a name that is no installed face's: its aliases, its default
// substitutions and its ranking, so "Helvetica" is the metric-compatible face and a name from
// another machine is the closest face this one has.
Face matchFace(const QString& name, const FaceCatalog& catalog)
{
    const StyledFamily styled = splitStyle(name);
    const PatternPtr pattern(FcPatternCreate(), &FcPatternDestroy);
    addString(pattern.get(), FC_FAMILY, name);
    if (styled.family != name)
        addString(pattern.get(), FC_FAMILY, styled.family);
    for (const FcConstant* constant : styled.style)
        FcPatternAddInteger(pattern.get(), constant->object, constant->value);
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    const PatternPtr match(FcFontMatch(nullptr, pattern.get(), &result), &FcPatternDestroy);
    if (!match)
        return {};
    return catalog.byFile.value(fileKey(match.get()), faceOf(match.get()));
}

} // namespace

QFont FontResolver::fontFor(const QString& name)
{
    // One table per thread: batch workers and the preview draw at once without sharing anything.
    // Faces rather than QFonts are kept, since thread storage outlives the application object.
    thread_local QHash<QString, Face> resolved;
    auto found = resolved.constFind(name);
    if (found == resolved.cend()) {
        thread_local const FaceCatalog catalog = readCatalog();
        const auto named = catalog.byName.constFind(name.simplified().toCaseFolded());
        found = resolved.insert(name, named != catalog.byName.cend() ? *named : matchFace(name, catalog));
    }
    QFont font;
    if (!found->family.isEmpty()) {
        const QString foundry =
            found->foundry.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(found->foundry);
        font.setFamily(found->family + foundry);
        font.setStyleName(found->style);
    }
    return font;
}

QStringList FontResolver::installedFaces()
{
    return readCatalog().fullNames;
}
