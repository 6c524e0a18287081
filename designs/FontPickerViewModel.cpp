#include "designs/FontPickerViewModel.h"

#include "render/FontResolver.h"

#include <QtConcurrent/QtConcurrentRun>

FontPickerViewModel::FontPickerViewModel(QObject* parent) : QObject(parent)
{
    loadFonts();
}

void FontPickerViewModel::loadFonts()
{
    // The list arrives on this model's thread, and not at all once the model is gone.
    QtConcurrent::run(&FontResolver::installedFaces).then(this, [this](const QStringList& fonts) {
        m_fonts = fonts;
        Q_EMIT fontsChanged();
    });
}
