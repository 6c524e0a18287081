#pragma once

#include "model/SavedDesigns.h"

#include <QWidget>

#include <memory>
#include <optional>

class ControlsSection;
class PreviewSection;
class QLabel;
class QListWidget;
class QStackedWidget;

// The "Your Designs" screen: the saved designs, the controls of the design being edited and its
// preview. The selection is the listed object itself, so edits live in the list until saved;
// a new design is listed only once saved. Only this screen writes the saved designs.
class WatermarksView : public QWidget
{
    Q_OBJECT

public:
    explicit WatermarksView(QWidget* parent = nullptr);

    const WatermarkList& watermarks() const { return m_watermarks; }
    const std::shared_ptr<WatermarkSettings>& selectedWatermark() const { return m_selectedWatermark; }
    // The sample document the preview draws on, when the application carries it.
    const std::optional<QString>& pdfUrl() const { return m_pdfUrl; }

    // Replaces the list with the stored one; the selection stays as it is.
    void loadWatermarks();
    void selectWatermark(std::shared_ptr<WatermarkSettings> design);
    // Makes a new design and selects it, unlisted until saved, with the cursor in its name.
    void createNewWatermark();
    // Puts the selected design in the list (replacing the one with its id) and stores the list.
    // When the list cannot be stored, the edits stay in the editor and problemLine() says why;
    // false then.
    bool saveWatermark();
    // Removes the design with this one's id, clears the selection if it was that design, and
    // stores the list. When the list cannot be stored, the design stays and problemLine() says why.
    void deleteWatermark(std::shared_ptr<WatermarkSettings> design);

    QListWidget* designsList() const { return m_list; }
    ControlsSection* controls() const { return m_controls; }
    PreviewSection* preview() const { return m_preview; }
    // Whom the copies are for, as the Home screen has it, for the preview's {recipient}.
    void setRecipient(const QString& recipient);
    // Whether the screen may go. With edits not stored (a listed design that differs from its
    // stored self, or a new design changed since it was made), asks "Save changes to “<name>”?":
    // Save stores them and lets go only when that worked, Discard lets them go, Cancel stays.
    bool mayLeave();

    // What the last save, delete or picture import could not do; hidden when it all went well.
    QLabel* problemLine() const { return m_problem; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeDesignsColumn();
    QWidget* makeEditorColumn();
    QWidget* makePreviewColumn();
    void showList();
    void showSelection();
    void showRowMenu(const QPoint& position);
    std::shared_ptr<WatermarkSettings> designAt(int row) const;
    void showProblem(const QString& text);
    std::shared_ptr<WatermarkSettings> unsavedDesign() const;

    SavedDesigns m_store;
    WatermarkList m_watermarks;
    std::shared_ptr<WatermarkSettings> m_selectedWatermark;
    std::optional<WatermarkSnapshot> m_madeAs; // a new design as it was made, until it is stored
    std::optional<QString> m_pdfUrl;
    QMetaObject::Connection m_selectionConnection;

    QListWidget* m_list = nullptr;
    QStackedWidget* m_editor = nullptr;
    ControlsSection* m_controls = nullptr;
    QStackedWidget* m_previewColumn = nullptr;
    PreviewSection* m_preview = nullptr;
    QString m_recipient;
    QLabel* m_problem = nullptr;
};
