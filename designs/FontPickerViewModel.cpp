#include "designs/FontPickerViewModel.h"

#include "home/MainThread.h"
#include "render/FontResolver.h"

#include <QPointer>
#include <QThreadPool>

FontPickerViewModel::FontPickerViewModel(QObject* parent) : QObject(parent)
{
    loadFonts();
}

void FontPickerViewModel::loadFonts()
{
    // The worker only carries the pointer; the list is stored on the main thread, where the
    // pointer is followed.
    const QPointer<FontPickerViewModel> model(this);
    QThreadPool::globalInstance()->start([model] {
        QStringList fonts = FontResolver::installedFaces();
        MainThread::post(model, [model, fonts = std::move(fonts)] {
            model->m_fonts = fonts;
            Q_EMIT model->fontsChanged();
        });
    });
}
