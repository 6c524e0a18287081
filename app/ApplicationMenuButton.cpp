#include "app/ApplicationMenuButton.h"

#include "app/CheckForUpdatesView.h"
#include "widgets/Dialogs.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QPainter>

namespace {

constexpr QSize buttonSize(22, 14);
constexpr qreal lineLength = 10;
constexpr qreal lineGap = 3.5;

QString aboutText()
{
    return QObject::tr(
               "<h3>Dador Aduravuzo</h3>"
               "<p>Version %1</p>"
               "<p>Stamps a watermark design onto batches of PDF documents and pictures.</p>"
               "<p>Built on Qt %2 (LGPL-3.0), qpdf (Apache-2.0), poppler (GPL-2.0 or GPL-3.0), libtiff "
               "(libtiff licence), fontconfig (MIT-style licence) and nlohmann-json (MIT).</p>"
               "<p>Dador Aduravuzo is free software under the GNU General Public License, version 3 or "
               "later (GPL-3.0-or-later), as poppler's licence requires.</p>")
        .arg(QStringLiteral(DADOR_ADURAVUZO_VERSION), QString::fromLatin1(qVersion()));
}

} // namespace

ApplicationMenuButton::ApplicationMenuButton(Updater* updater, QWidget* parent) : QToolButton(parent)
{
    setObjectName(QStringLiteral("applicationMenu"));
    setAccessibleName(tr("Application Menu"));
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_Hover);
    setPopupMode(QToolButton::InstantPopup);
    setMenu(makeMenu(updater));
    // The button takes no focus, as window controls do not; the keyboard opens its menu with F10
    // or Alt+F wherever the focus is.
    auto* open = new QAction(this);
    open->setShortcuts({QKeySequence(Qt::Key_F10), QKeySequence(Qt::ALT | Qt::Key_F)});
    open->setShortcutContext(Qt::WindowShortcut);
    connect(open, &QAction::triggered, this, &QToolButton::showMenu);
    addAction(open);
    setToolTip(tr("Menu (F10)"));
}

QMenu* ApplicationMenuButton::makeMenu(Updater* updater)
{
    auto* menu = new QMenu(this);
    menu->installEventFilter(this);
    // The pointer is over the menu, not the button, once it closes; the button's look follows.
    connect(menu, &QMenu::aboutToHide, this, qOverload<>(&QWidget::update));
    menu->addAction(tr("About Dador Aduravuzo"), this, &ApplicationMenuButton::showAbout);
    if (updater)
        menu->addAction(new CheckForUpdatesView(*updater, menu));
    menu->addSeparator();
    // Closing the windows lets each ask about edits not stored; the application ends with the last.
    QAction* quit = menu->addAction(tr("Quit"), qApp, &QApplication::closeAllWindows);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // A closed menu hears no shortcuts; the button stays in the window and does.
    addAction(quit);
    return menu;
}

void ApplicationMenuButton::showAbout()
{
    Dialogs::showInformation(window(), tr("About Dador Aduravuzo"), aboutText());
}

// The menu opens below the button with its right edges aligned, so it stays over the window the
// button ends.
bool ApplicationMenuButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == menu() && event->type() == QEvent::Show)
        menu()->move(mapToGlobal(QPoint(width() - menu()->width(), height())));
    return QToolButton::eventFilter(watched, event);
}

QSize ApplicationMenuButton::sizeHint() const
{
    return buttonSize;
}

// Three short bars, in the window controls' grey, on the controls' hover shade while pointed at
// or open.
void ApplicationMenuButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // A popup takes the pointer without the button hearing that it left, so ask where it is.
    const bool pointedAt = underMouse() && rect().contains(mapFromGlobal(QCursor::pos()));
    if (pointedAt || isDown()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 40));
        painter.drawRoundedRect(QRectF(rect()), 4, 4);
    }
    painter.setPen(QPen(QColor(0x44, 0x44, 0x44), 1.4, Qt::SolidLine, Qt::RoundCap));
    const QPointF centre = QRectF(rect()).center();
    for (int line = -1; line <= 1; ++line) {
        const qreal y = centre.y() + line * lineGap;
        painter.drawLine(QPointF(centre.x() - lineLength / 2, y), QPointF(centre.x() + lineLength / 2, y));
    }
}
