#include "infowindow.h"

#include "common/twips.h"
#include "widgets/programicon.h"

#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QScreen>
#include <QShortcut>
#include <QString>

using namespace Qt::StringLiterals;

namespace info {

void setUpInfoWindow(QDialog* window, const QString& objectName, const QString& title, const QString& description,
                     QSize clientTwips)
{
    window->setObjectName(objectName);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(title);
    window->setAccessibleName(title);
    window->setAccessibleDescription(description);
    window->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    window->setSizeGripEnabled(false);
    const QSize client = common::twipsSize(clientTwips.width(), clientTwips.height());
    window->setFixedSize(client);

    // The window system is asked for the design position; X11 window managers honour a position
    // the program sets before the window is mapped, Wayland compositors place the window themselves.
    QPoint origin;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        origin = screen->geometry().topLeft();
    window->setGeometry(QRect(origin + common::twipsPoint(DesignScreenPosition.x(), DesignScreenPosition.y()), client));

    widgets::applyProgramIcon(window);
}

QPushButton* makeCloseButton(QDialog* window, const QString& caption, QRect geometry, const QString& description)
{
    auto* button = new QPushButton(caption, window);
    button->setObjectName(u"cmdOK"_s);
    button->setGeometry(geometry);
    button->setDefault(true);
    button->setAccessibleName(caption);
    button->setAccessibleDescription(description);
    // Esc presses the button as Enter does, so the window closes through its own handler.
    auto* escape = new QShortcut(QKeySequence::Cancel, window);
    QObject::connect(escape, &QShortcut::activated, button, &QPushButton::click);
    return button;
}

QLabel* makeIconBox(QDialog* window, QRect geometry)
{
    auto* box = new QLabel(window);
    box->setObjectName(u"picIcon"_s);
    box->setGeometry(geometry);
    box->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    box->setPixmap(widgets::programIcon().pixmap(QSize(32, 32), window->devicePixelRatioF()));
    box->setAccessibleName(u"プログラムのアイコン"_s);
    box->setAccessibleDescription(u"Tavik Light のアイコン"_s);
    return box;
}

} // namespace info
