#pragma once

#include "messenger/popup/popuppresenter.h"
#include "messenger/service/popupchannel.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QSocketNotifier>

namespace messenger::popup {

/**
 * The pop-up process's side of the pipe (see messenger/service/popupchannel.h): reads notification frames from
 * @p input, shows each with @p presenter and reports on @p reports whether it is on the screen,
 * then, for each pop-up window that was shown, when it closes. When the input ends (the service
 * closed it, or ended) or turns out not to be frames of this version, it closes the pop-ups that
 * are left and quits the application, with status 0 or 2.
 */
class PopupPipeReader final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PopupPipeReader)

public:
    PopupPipeReader(PopupPresenter& presenter, int input, int reports, QObject* parent = nullptr);

private:
    void readInput();
    void show(const service::Notification& notification);
    void report(service::popupchannel::Report report);
    void finish(int status);

    PopupPresenter& m_presenter;
    int m_input;
    int m_reports;
    QSocketNotifier m_notifier;
    QByteArray m_buffer;
    QSet<QObject*> m_popups; ///< the pop-up windows shown and not yet closed
    bool m_finished = false;
};

/**
 * Runs the pop-up process of the service (tavik-messenger --show-popups): a QApplication set up as
 * the service's windows need it, which shows the notifications the service writes to its standard
 * input. It ends when that input ends; termination signals are left to the service, which ends it
 * by closing the input. @return the exit status.
 */
int runPopupProcess(int argc, char** argv);

} // namespace messenger::popup
