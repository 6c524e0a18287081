#pragma once

#include <QObject>
#include <QStringList>

// The font picker's list of installed faces, gathered off the main thread so a machine with
// hundreds of fonts never stalls the screen.
class FontPickerViewModel : public QObject
{
    Q_OBJECT

public:
    // Starts loadFonts().
    explicit FontPickerViewModel(QObject* parent = nullptr);

    // Full names of the installed faces (FontResolver::installedFaces); empty until they arrive.
    const QStringList& fonts() const { return m_fonts; }

    // Reads the installed faces on the global thread pool; fontsChanged() follows on the main
    // thread, unless the model is gone by then.
    void loadFonts();

Q_SIGNALS:
    void fontsChanged();

private:
    QStringList m_fonts;
};
