#include "popupprocesspresenter.h"

#include "popupchannel.h"

#include <QTimer>

#include <utility>

using namespace Qt::StringLiterals;

namespace messenger::service {

namespace {

// How long an ending process may take to close its pop-ups before it is killed.
constexpr std::chrono::milliseconds EndingTimeout{3000};

} // namespace

PopupProcessPresenter::PopupProcessPresenter(QString program, QStringList arguments, int maxOpen,
                                             std::chrono::milliseconds answerTimeout, QObject* parent)
    : QObject(parent)
    , m_program(std::move(program))
    , m_arguments(std::move(arguments))
    , m_maxOpen(maxOpen)
    , m_answerTimeout(answerTimeout)
{}

PopupProcessPresenter::~PopupProcessPresenter()
{
    const QList<QProcess*> processes = findChildren<QProcess*>(Qt::FindDirectChildrenOnly);
    for (QProcess* process : processes) {
        disconnect(process, nullptr, this, nullptr);
        process->closeWriteChannel();
    }
    // QProcess's own destructor kills a process that is still running.
    for (QProcess* process : processes)
        process->waitForFinished(int(EndingTimeout.count()));
}

bool PopupProcessPresenter::hasRoom() const
{
    return m_open < m_maxOpen;
}

qint64 PopupProcessPresenter::processId() const
{
    return m_process ? m_process->processId() : 0;
}

bool PopupProcessPresenter::present(const Notification& notification)
{
    const QByteArray frame = popupchannel::encodeNotification(notification);
    // Only a caller that skipped the service's own limits could get here; the pop-up process would
    // refuse the frame and end.
    if (frame.size() > popupchannel::HeaderSize + qsizetype(popupchannel::MaxPayload))
        return false;
    // One deadline for starting the process, handing the frame over and the answer.
    const QDeadlineTimer deadline(m_answerTimeout);
    QProcess* process = runningProcess(deadline);
    if (!process)
        return false;
    m_awaiting = true;
    m_answer.reset();
    process->write(frame);
    // The reports are read by readReports(), which waitForReadyRead() calls; it also writes the frame.
    // It returns false at the deadline, when the process ends and when it closes its output: in
    // each case no answer can come any more.
    while (!m_answer && m_process == process && process->waitForReadyRead(int(deadline.remainingTime()))) {
    }
    m_awaiting = false;
    if (m_process != process)
        return false; // ended or abandoned meanwhile, and reported; its pop-ups are gone
    if (!m_answer) {
        abandon(deadline.hasExpired()
                    ? u"ポップアップを表示するプロセスが %1 秒以内に応答しないため、終了させました。"_s.arg(
                          double(m_answerTimeout.count()) / 1000)
                    : u"ポップアップを表示するプロセスが応答しないため、終了させました。"_s);
        return false;
    }
    if (m_open == 0)
        retire();
    return *m_answer;
}

QProcess* PopupProcessPresenter::runningProcess(QDeadlineTimer deadline)
{
    if (m_process)
        return m_process;
    auto* process = new QProcess(this);
    process->setProgram(m_program);
    process->setArguments(m_arguments);
    // Its messages go where the service's own go.
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(process, &QProcess::readyReadStandardOutput, this, [this, process] {
        if (process == m_process)
            readReports();
        else
            process->readAllStandardOutput(); // an ending process: its count no longer matters
    });
    connect(process, &QProcess::finished, this, [this, process](int exitCode, QProcess::ExitStatus exitStatus) {
        processFinished(process, exitCode, exitStatus);
    });
    process->start();
    if (!process->waitForStarted(int(deadline.remainingTime()))) {
        Q_EMIT problem(u"ポップアップを表示するプロセスを起動できません: "_s + process->errorString());
        delete process;
        return nullptr;
    }
    m_process = process;
    m_open = 0;
    return process;
}

void PopupProcessPresenter::readReports()
{
    const QByteArray reports = m_process->readAllStandardOutput();
    for (const char byte : reports) {
        switch (popupchannel::Report(byte)) {
        case popupchannel::Report::Shown:
        case popupchannel::Report::NotShown:
            if (!m_awaiting || m_answer) {
                abandon(u"ポップアップを表示するプロセスが求められていない応答を返しました。"_s);
                return;
            }
            m_answer = popupchannel::Report(byte) == popupchannel::Report::Shown;
            if (*m_answer)
                ++m_open;
            continue;
        case popupchannel::Report::Closed:
            if (m_open == 0) {
                abandon(u"ポップアップを表示するプロセスが開いていないポップアップを閉じたと報告しました。"_s);
                return;
            }
            --m_open;
            continue;
        }
        abandon(u"ポップアップを表示するプロセスから不正な応答がありました。"_s);
        return;
    }
    // While present() waits, it decides itself once the answer is in.
    if (m_open == 0 && !m_awaiting)
        retire();
}

void PopupProcessPresenter::processFinished(QProcess* process, int exitCode, QProcess::ExitStatus exitStatus)
{
    if (process != m_process)
        return; // one that was told to end
    m_process = nullptr;
    m_open = 0;
    process->deleteLater();
    if (exitStatus == QProcess::CrashExit)
        Q_EMIT problem(u"ポップアップを表示するプロセスが異常終了しました。"_s);
    else
        Q_EMIT problem(u"ポップアップを表示するプロセスが予期せず終了しました (終了コード %1)。"_s.arg(exitCode));
}

void PopupProcessPresenter::retire()
{
    QProcess* process = std::exchange(m_process, nullptr);
    m_open = 0;
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QTimer::singleShot(EndingTimeout, process, [process] { process->kill(); });
    process->closeWriteChannel();
}

void PopupProcessPresenter::abandon(const QString& reason)
{
    QProcess* process = std::exchange(m_process, nullptr);
    m_open = 0;
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->kill();
    Q_EMIT problem(reason);
}

} // namespace messenger::service
