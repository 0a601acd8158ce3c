#include "popupprocess.h"

#include "common/programinfo.h"
#include "os/displaycheck.h"
#include "widgets/japaneseenvironment.h"
#include "widgets/programicon.h"

#include <QApplication>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace messenger::popup {

PopupPipeReader::PopupPipeReader(PopupPresenter& presenter, int input, int reports, QObject* parent)
    : QObject(parent)
    , m_presenter(presenter)
    , m_input(input)
    , m_reports(reports)
    , m_notifier(input, QSocketNotifier::Read)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, &PopupPipeReader::readInput);
}

void PopupPipeReader::readInput()
{
    char chunk[16 * 1024];
    const ssize_t size = ::read(m_input, chunk, sizeof chunk);
    if (size < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (size <= 0) {
        finish(0); // the service is done with this process, or gone
        return;
    }
    m_buffer.append(chunk, size);
    while (!m_finished) {
        const service::popupchannel::NotificationParse parse = service::popupchannel::parseNotification(m_buffer);
        switch (parse.outcome) {
        case service::popupchannel::NotificationParse::Outcome::NeedMore:
            return;
        case service::popupchannel::NotificationParse::Outcome::Broken:
            std::fprintf(stderr, "tavik-messenger: %s\n",
                         qPrintable(u"ポップアップの表示を頼まれたデータが正しくないため、終了します。"_s));
            finish(2);
            return;
        case service::popupchannel::NotificationParse::Outcome::Complete:
            m_buffer.remove(0, parse.consumed);
            show(parse.notification);
            break;
        }
    }
}

void PopupPipeReader::show(const service::Notification& notification)
{
    if (!m_presenter.present(notification)) {
        report(service::popupchannel::Report::NotShown);
        return;
    }
    // Each pop-up is reported closed once, when it is gone (pop-ups delete themselves when closed).
    if (QWidget* window = m_presenter.lastShown(); window && !m_popups.contains(window)) {
        m_popups.insert(window);
        connect(window, &QObject::destroyed, this, [this, window] {
            if (m_popups.remove(window))
                report(service::popupchannel::Report::Closed);
        });
    }
    report(service::popupchannel::Report::Shown);
}

void PopupPipeReader::report(service::popupchannel::Report report)
{
    if (m_finished)
        return;
    const char byte = char(report);
    ssize_t written = 0;
    do
        written = ::write(m_reports, &byte, 1);
    while (written < 0 && errno == EINTR);
    if (written != 1)
        finish(0); // nobody reads any more: the service has ended
}

void PopupPipeReader::finish(int status)
{
    if (std::exchange(m_finished, true))
        return;
    m_notifier.setEnabled(false);
    // Closed here rather than left to the end of the process, so that their desktop notifications
    // are withdrawn as well.
    const QSet<QObject*> left = std::exchange(m_popups, {});
    qDeleteAll(left);
    QCoreApplication::exit(status);
}

int runPopupProcess(int argc, char** argv)
{
    // Only the service ends this process, by closing its input, so that a notification is never
    // handed to a process that is about to end. A termination signal meant for both (a closing
    // terminal, a stopping session) ends the service, and with it the input.
    std::signal(SIGTERM, SIG_IGN);
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGHUP, SIG_IGN);
    // A report to a service that has ended fails with EPIPE and ends the process.
    std::signal(SIGPIPE, SIG_IGN);
    // Reports get a descriptor of their own, and standard output goes where errors go, so that
    // nothing else in the process (a library's message) can write into the pipe.
    const int reports = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (reports < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::fprintf(stderr, "tavik-messenger: %s\n", qPrintable(u"ポップアップの表示を準備できません。"_s));
        return 1;
    }

    // The display may have gone since the service checked it: one line and status 1, not Qt's abort.
    os::DisplayCheck displayCheck(QString::fromUtf16(common::program::ServiceProgram));
    QApplication app(argc, argv);
    displayCheck.finish();
    QCoreApplication::setApplicationName(QString::fromUtf16(common::program::ServiceProgram));
    QCoreApplication::setApplicationVersion(QString::fromUtf16(common::program::Version));
    widgets::applyJapaneseEnvironment(app);
    QApplication::setWindowIcon(widgets::programIcon());
    // The pop-ups belong to the service's own (hidden) desktop entry: the Wayland app id and the
    // X11 window class by which the desktop finds its name and icon.
    QGuiApplication::setDesktopFileName(QString::fromUtf16(common::program::ServiceDesktopId));
    // The process outlives its pop-ups until the service closes its input.
    QApplication::setQuitOnLastWindowClosed(false);

    PopupPresenter presenter;
    PopupPipeReader reader(presenter, STDIN_FILENO, reports);
    return QApplication::exec();
}

} // namespace messenger::popup
