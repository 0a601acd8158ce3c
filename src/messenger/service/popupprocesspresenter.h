#pragma once

#include "messenger/service/presenter.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace messenger::service {

/**
 * Shows notifications through a process of their own, so that the service never connects to the
 * display itself and idles as a plain QCoreApplication: a connection to the display, the widget
 * styles and the fonts cost more memory than everything else the service holds. The pop-up
 * process (see popupchannel.h) starts for the first notification and is told to end, by closing
 * its standard input, when the last of its pop-ups has closed. Only the service ends it, so no
 * notification ever goes to a process that is on its way out; a notification that comes while one
 * is still ending starts a new one.
 *
 * present() stays synchronous because the service answers from it: it starts the process when
 * none runs, hands the notification over and waits for the answer, at most answerTimeout in all.
 * A process that cannot start, ends, answers nonsense or does not answer in time counts as "cannot
 * show"; it is ended (its pop-ups with it) and the next notification starts a new one.
 */
class PopupProcessPresenter final : public QObject, public Presenter
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PopupProcessPresenter)

public:
    /// Starting the process is included; it takes about a tenth of a second.
    static constexpr std::chrono::milliseconds DefaultAnswerTimeout{3000};

    /// Runs @p program with @p arguments as the pop-up process; at most @p maxOpen of its pop-ups at once.
    PopupProcessPresenter(QString program, QStringList arguments, int maxOpen,
                          std::chrono::milliseconds answerTimeout = DefaultAnswerTimeout, QObject* parent = nullptr);
    /// Closes the pop-up process's input and waits briefly for it to end (it closes its pop-ups).
    ~PopupProcessPresenter() override;

    bool hasRoom() const override;
    bool present(const Notification& notification) override;

    /// Pop-ups on the screen: reported shown and not yet reported closed.
    int openPopups() const { return m_open; }
    /// The pop-up process notifications go to; 0 while none runs.
    qint64 processId() const;

Q_SIGNALS:
    /// Something went wrong with the pop-up process; @p reason says what, for the service's log.
    void problem(const QString& reason);

private:
    /// The process notifications go to, started when none runs; nullptr when it cannot start.
    QProcess* runningProcess(QDeadlineTimer deadline);
    void readReports();
    void processFinished(QProcess* process, int exitCode, QProcess::ExitStatus exitStatus);
    /// Closes the current process's input: it ends once it has closed what is left.
    void retire();
    /// Kills the current process, which can no longer be relied on, and reports @p reason.
    void abandon(const QString& reason);

    QString m_program;
    QStringList m_arguments;
    int m_maxOpen;
    std::chrono::milliseconds m_answerTimeout;
    QProcess* m_process = nullptr; ///< the process notifications go to; any other child is ending
    int m_open = 0;
    bool m_awaiting = false;      ///< present() waits for the answer to a frame
    std::optional<bool> m_answer; ///< that answer, once it came
};

} // namespace messenger::service
