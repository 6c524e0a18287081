#include "designs/ColorWell.h"
#include "designs/ControlsSection.h"
#include "designs/FontPicker.h"
#include "designs/NumberField.h"
#include "designs/ValueSlider.h"
#include "designs/WatermarksView.h"
#include "model/openPreferences.h"
#include "render/FontResolver.h"
#include "support/StdoutCapture.h"
#include "support/TestFiles.h"
#include "widgets/Dialogs.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

std::shared_ptr<WatermarkSettings> design(const QString& name, WatermarkType type = WatermarkType::text)
{
    auto made = WatermarkSettings::makeNew();
    made->setWatermarkName(name);
    made->setType(type);
    return made;
}

QStringList storedNames()
{
    QStringList names;
    for (const auto& stored : SavedDesigns().loadWatermarks().value_or(WatermarkList()))
        names << stored->watermarkName();
    return names;
}

void clickRow(WatermarksView& view, int row)
{
    QListWidget* list = view.designsList();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

template <typename T = QAbstractButton> T* withText(QWidget& root, const QString& text)
{
    for (auto* candidate : root.findChildren<T*>()) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

} // namespace

class TestWatermarksView : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void init()
    {
        QVERIFY(QString::fromLocal8Bit(qgetenv("HOME")).contains(QLatin1String("tst_WatermarksView")));
        SavedDesigns().storeWatermarks({design(QStringLiteral("Twin")), design(QStringLiteral("Twin")),
                                        design(QStringLiteral("Logo"), WatermarkType::image)});
    }

    void cleanup()
    {
        Dialogs::setImageFileAnswer({});
        Dialogs::setColorAnswer({});
    }

    // Save appends a new design and then replaces it in place; edits of every listed design
    // live in the list and one save stores them all; selecting a row drops an unsaved design.
    void saveStoresTheWholeList()
    {
        WatermarksView view;
        view.show();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QCOMPARE(view.designsList()->count(), 3);
        QVERIFY(!view.selectedWatermark());

        QTest::keyClick(&view, Qt::Key_N, Qt::ControlModifier);
        const auto fresh = view.selectedWatermark();
        QVERIFY(fresh && fresh->watermarkName() == QStringLiteral("Your Watermark"));
        QCOMPARE(view.designsList()->count(), 3); // listed only once saved
        QTest::mouseClick(withText(view, QStringLiteral("Save Watermark")), Qt::LeftButton);
        QCOMPARE(storedNames().last(), QStringLiteral("Your Watermark"));
        fresh->setWatermarkName(QStringLiteral("Renamed"));
        QTest::keyClick(&view, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(storedNames(), (QStringList{"Twin", "Twin", "Logo", "Renamed"}));

        // Two designs of one name are two rows; the selection follows the row, by id.
        clickRow(view, 1);
        QCOMPARE(view.selectedWatermark(), view.watermarks()[1]);
        view.watermarks()[1]->setXPosition(12);
        QTest::keyClick(view.designsList(), Qt::Key_Up);
        QCOMPARE(view.selectedWatermark(), view.watermarks()[0]);
        view.watermarks()[0]->setWatermarkName(QStringLiteral("Edited twin"));
        QCOMPARE(view.designsList()->item(0)->text(), QStringLiteral("Edited twin"));

        view.createNewWatermark();
        clickRow(view, 2);
        QCOMPARE(view.selectedWatermark(), view.watermarks()[2]);
        view.saveWatermark();
        const auto stored = SavedDesigns().loadWatermarks().value();
        QCOMPARE(stored.size(), size_t(4)); // the dropped new design is nowhere
        QCOMPARE(stored[0]->watermarkName(), QStringLiteral("Edited twin"));
        QCOMPARE(stored[1]->xPosition(), 12.0);
        // Unsaved edits go with the screen: the next one shows what was stored.
        view.watermarks()[0]->setWatermarkName(QStringLiteral("Unsaved"));
        QCOMPARE(WatermarksView().watermarks()[0]->watermarkName(), QStringLiteral("Edited twin"));
    }

    // Deleting another design keeps the selection, deleting the selected one clears it, and the
    // last deletion stores an empty list. No key deletes.
    void deleteClearsOnlyItsOwnSelection()
    {
        WatermarksView view;
        view.show();
        clickRow(view, 0);
        const auto selected = view.selectedWatermark();
        QTest::keyClick(view.designsList(), Qt::Key_Delete);
        QCOMPARE(view.watermarks().size(), size_t(3));

        view.deleteWatermark(view.watermarks()[2]);
        QCOMPARE(view.selectedWatermark(), selected);
        QCOMPARE(storedNames(), (QStringList{"Twin", "Twin"}));
        view.deleteWatermark(WatermarkSettings::fromSnapshot(selected->snapshot())); // the same id
        QVERIFY(!view.selectedWatermark());
        QVERIFY(withText<QLabel>(view, QStringLiteral("No watermark selected"))->isVisible());
        view.deleteWatermark(view.watermarks()[0]);
        QCOMPARE(view.designsList()->count(), 0);
        QCOMPARE(QSettings(QSettings::IniFormat, QSettings::UserScope, "DadorAduravuzo", "DadorAduravuzo")
                     .value(SavedDesigns::key),
                 QVariant(QByteArray("[]")));
    }

    // When the disk refuses the list, a new design stays in the editor unlisted, a deleted one
    // stays listed, and a line says why; the next save that works stores the edits and clears it.
    void failedStoreKeepsTheEdits()
    {
        WatermarksView view;
        view.createNewWatermark();
        view.selectedWatermark()->setWatermarkName(QStringLiteral("Unsaved"));
        {
            const QString folder = QFileInfo(openPreferences(QString())->fileName()).absolutePath();
            const QString away = folder + QStringLiteral(".away");
            QVERIFY(QDir().rename(folder, away));
            TestFiles::writeFile(folder, "a file where the folder should be");
            const auto restore = qScopeGuard([&] { QFile::remove(folder) && QDir().rename(away, folder); });
            view.saveWatermark();
            QVERIFY(!view.problemLine()->isHidden());
            QVERIFY(
                view.problemLine()->text().startsWith(QStringLiteral("Not saved: cannot create the folder")));
            view.deleteWatermark(view.watermarks()[0]);
            QVERIFY(view.problemLine()->text().startsWith(QStringLiteral("Not deleted: ")));
            QCOMPARE(view.designsList()->count(), 3);
        }
        view.saveWatermark();
        QVERIFY(view.problemLine()->isHidden());
        QCOMPARE(storedNames(), (QStringList{"Twin", "Twin", "Logo", "Unsaved"}));
    }

    void controlsWriteTheDesign()
    {
        WatermarksView view;
        view.show();
        clickRow(view, 0);
        const auto text = view.selectedWatermark();
        ControlsSection* controls = view.controls();
        auto sliders = controls->findChildren<ValueSlider*>();
        // Rotation, X, Y: the centre snap is strict and only for X and Y.
        for (const auto& [steps, x] : {std::pair(4500, 45.0), {4501, 50.0}, {5499, 50.0}, {5500, 55.0}}) {
            sliders[1]->setValue(steps);
            sliders[2]->setValue(steps);
            sliders[0]->setValue(steps);
            QCOMPARE(text->xPosition(), x);
            QCOMPARE(text->yPosition(), x);
            QCOMPARE(text->rotation(), steps / 100.0);
        }
        QTest::keyClick(sliders[1], Qt::Key_Right);
        QCOMPARE(text->xPosition(), 56.0);

        auto* words = controls->findChild<QPlainTextEdit*>();
        words->setFocus();
        QTest::keyClicks(words, QStringLiteral("x"));
        QTest::keyClick(words, Qt::Key_Return);
        QTest::keyClicks(words, QStringLiteral("y"));
        QVERIFY(text->text().contains(QStringLiteral("x\ny")));

        auto* fontSize = controls->findChildren<NumberField*>()[0];
        // Sizes stay where the design draws something, and the field shows what is stored.
        for (const auto& [typed, expected] :
             {std::pair("36", 36.0), {"big", 36.0}, {"-40", 1.0}, {"1e308", 1000.0}, {"12.5", 12.5}}) {
            fontSize->setFocus();
            fontSize->selectAll();
            QTest::keyClicks(fontSize, QString::fromLatin1(typed));
            QTest::keyClick(fontSize, Qt::Key_Return);
            QCOMPARE(text->fontSize(), expected);
        }
        QCOMPARE(fontSize->text(), QStringLiteral("12.50"));
        auto* name = controls->nameField();
        name->setFocus();
        name->selectAll();
        QTest::keyClick(name, Qt::Key_Backspace);
        QTest::keyClick(name, Qt::Key_Return);
        QCOMPARE(text->watermarkName(), QStringLiteral("Untitled"));

        Dialogs::setColorAnswer([](const QColor& initial) {
            return initial == Qt::black ? std::optional(QColor(255, 0, 0, 128)) : std::nullopt;
        });
        QTest::mouseClick(controls->findChild<ColorWell*>(), Qt::LeftButton);
        QCOMPARE(text->textColor().toQColor().rgba(), QColor(255, 0, 0, 128).rgba());

        // Tiles show their gaps and an anchor its margin in place of X and Y.
        const auto label = [&](const char* caption) {
            return withText<QLabel>(*controls, QString::fromLatin1(caption));
        };
        const auto click = [&](const char* caption) {
            for (auto* button : controls->findChildren<QAbstractButton*>())
                if (button->text() == QLatin1String(caption) ||
                    button->accessibleName() == QLatin1String(caption))
                    QTest::mouseClick(button, Qt::LeftButton);
        };
        click("Tiled");
        QVERIFY(text->layout() == WatermarkSnapshot::Layout::tiled && label("Horizontal Gap")->isVisible());
        click("Bottom Right");
        QVERIFY(text->anchor() == WatermarkSnapshot::Anchor::bottomRight &&
                !label("X Position")->isVisible() && label("Margin")->isVisible());
        click("Custom");
        QVERIFY(text->anchor() == WatermarkSnapshot::Anchor::custom && label("Y Position")->isVisible() &&
                !label("Margin")->isVisible());
        label("Layer")->buddy()->setFocus();
        QTest::keyClick(label("Layer")->buddy(), Qt::Key_Down);
        QCOMPARE(text->layer(), WatermarkSnapshot::Layer::under);

        // The type switch writes the design's type at once; another design brings its own.
        QTest::mouseClick(withText(*controls, QStringLiteral("Image")), Qt::LeftButton);
        QCOMPARE(text->type(), WatermarkType::image);
        QVERIFY(withText(*controls, QStringLiteral("Select Image"))->isVisible());
        QVERIFY(!controls->findChild<QPlainTextEdit*>()->isVisible());
        clickRow(view, 1);
        QCOMPARE(controls->selectedType(), WatermarkType::text);
        QVERIFY(!withText(*controls, QStringLiteral("Select Image"))->isVisible());
        clickRow(view, 2);
        QCOMPARE(controls->selectedType(), WatermarkType::image);
    }

    // The chosen picture is copied as "<ID>.jpg"; a second choice replaces the copy; cancelling
    // or a file that cannot be copied leaves the design as it was.
    void pictureImport()
    {
        const QString png = m_dir.filePath(QStringLiteral("logo.png"));
        const QString jpeg = m_dir.filePath(QStringLiteral("photo.jpeg"));
        const QString text = m_dir.filePath(QStringLiteral("notes.png"));
        TestFiles::writeSolidPicture(png, QSize(20, 10), Qt::red);
        TestFiles::writeSolidPicture(jpeg, QSize(30, 30), Qt::blue, "jpeg");
        TestFiles::writeFile(text, "not a picture");

        ControlsSection controls;
        const auto logo = design(QStringLiteral("Logo"), WatermarkType::image);
        controls.setSettings(logo);
        const QString copy = QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                                 .filePath(logo->id().toString(QUuid::WithoutBraces).toUpper() + ".jpg");
        auto choose = [&](std::optional<QString> file, bool confirmed = true) {
            Dialogs::setImageFileAnswer([=] {
                return Dialogs::Choice{confirmed,
                                       file ? std::optional(QUrl::fromLocalFile(*file)) : std::nullopt};
            });
            controls.selectImage();
        };
        choose(png);
        QCOMPARE(logo->imageData(), QUrl::fromLocalFile(copy));
        QCOMPARE(TestFiles::readFile(copy), TestFiles::readFile(png));
        choose(jpeg);
        QCOMPARE(QImageReader(copy).format(), QByteArray("jpeg"));

        StdoutCapture capture;
        choose(jpeg, false);
        choose(std::nullopt);
        choose(text);
        QCOMPARE(capture.finish().count("Error copying image file: "), 1);
        QCOMPARE(logo->imageData(), QUrl::fromLocalFile(copy));
        QCOMPARE(QImageReader(copy).format(), QByteArray("jpeg"));
    }

    // A listed face is the current entry; any other name is kept and shown as the placeholder.
    void fontPickerPicksAndFollowsTheDesign()
    {
        const auto settings = WatermarkSettings::makeNew();
        FontPicker picker(settings);
        QComboBox* menu = picker.menu();
        // Listing the faces takes seconds under the sanitisers on a loaded machine: once here, and
        // the menu waited for as long as its own listing may take.
        const qsizetype faces = FontResolver::installedFaces().size();
        QTRY_COMPARE_WITH_TIMEOUT(menu->count(), faces, 60000);
        // "Helvetica" is no installed face's name: no entry is current and the name is kept.
        QCOMPARE(menu->currentIndex(), -1);
        QCOMPARE(menu->placeholderText(), QStringLiteral("Helvetica"));

        // Type-ahead on the closed menu.
        QTest::keyClick(menu, Qt::Key_U);
        QVERIFY(settings->fontName().startsWith(QLatin1Char('U')));

        // An entry chosen in the popup.
        menu->showPopup();
        menu->view()->setCurrentIndex(
            menu->model()->index(menu->findText(QStringLiteral("DejaVu Sans Oblique")), 0));
        QTest::keyClick(menu->view(), Qt::Key_Return);
        QCOMPARE(settings->fontName(), QStringLiteral("DejaVu Sans Oblique"));
        settings->setFontName(QStringLiteral("Liberation Serif Bold"));
        QCOMPARE(menu->currentText(), QStringLiteral("Liberation Serif Bold"));
        settings->setFontName(QStringLiteral("ArialMT"));
        QCOMPARE(menu->currentIndex(), -1);
        QCOMPARE(menu->placeholderText(), QStringLiteral("ArialMT"));
    }
};

QTEST_MAIN(TestWatermarksView)
#include "tst_WatermarksView.moc"
