#pragma once

#include <QFont>
#include <QStringList>

// Turns a design's font name into the installed face that draws it, through fontconfig. The
// drawing routine and the font picker both go through here, so the picker lists exactly the
// names that draw what they show.
class FontResolver
{
public:
    // The face a name stands for: an installed face's full name or PostScript name; otherwise
    // fontconfig's best match for it as a family (aliases such as Helvetica included), trailing
    // style words ("Bold", "-BoldOblique") asking for weight, slant and width. Never a font
    // that draws nothing. Size and other properties are left at their defaults. Any thread;
    // cached per thread.
    static QFont fontFor(const QString& name);

    // One full name per installed face, each resolving back to that face through fontFor, sorted
    // case-insensitively. Reads fontconfig afresh each call (milliseconds); any thread.
    static QStringList installedFaces();
};
