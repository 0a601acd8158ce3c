#pragma once

#include <QObject>

class QAbstractItemView;

namespace chat::ui {

/**
 * Keeps a list view at its newest row while the user reads there: rows added while the view
 * showed its end (the vertical scroll bar at its maximum, or no scroll bar at all) are scrolled
 * into view; when the user has scrolled up to read, the view stays where it is. Watches the
 * model the view has when the follower is made. Owned by the view.
 */
class ListFollower final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ListFollower)

public:
    explicit ListFollower(QAbstractItemView* view);

private:
    void rememberWhetherAtEnd();
    void followIfItWasAtEnd();

    QAbstractItemView* m_view;
    bool m_wasAtEnd = true;
};

} // namespace chat::ui
