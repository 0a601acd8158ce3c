// The real message boxes: plain text, the requested icon and buttons in Japanese, and closing counts as No.
#include "widgets/prompter.h"

#include "widgets/japaneseenvironment.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

/// Runs @p act on the message box once it is open (the box's exec() blocks the test meanwhile).
void whenBoxOpens(std::function<void(QMessageBox*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(box);
        }
    });
    timer->start();
}

} // namespace

class TestMessageBoxPrompter final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // As the programs start: Qt's own texts in Japanese whatever the test's locale.
    void initTestCase()
    {
        QVERIFY2(widgets::applyJapaneseEnvironment(*qApp), "Qt's Japanese translation (qt6-translations-l10n)");
        QCOMPARE(QLocale().language(), QLocale::Japanese);
    }

    void okBoxShowsPlainTextWithItsIcon()
    {
        QString title;
        QString text;
        Qt::TextFormat format = Qt::AutoText;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        whenBoxOpens([&](QMessageBox* box) {
            title = box->windowTitle();
            text = box->text();
            format = box->textFormat();
            icon = box->icon();
            box->defaultButton()->click();
        });
        widgets::MessageBoxPrompter prompter;
        const widgets::PromptAnswer answer =
            prompter.prompt(nullptr, {u"Alert"_s, u"<b>相手</b>\n二行目"_s, widgets::PromptIcon::Critical});
        QCOMPARE(answer, widgets::PromptAnswer::Ok);
        QCOMPARE(title, u"Alert"_s);
        QCOMPARE(text, u"<b>相手</b>\n二行目"_s);
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(icon, QMessageBox::Critical);
    }

    void yesNoBoxHonoursTheDefaultAndEscapeMeansNo_data()
    {
        QTest::addColumn<widgets::PromptAnswer>("defaultAnswer");
        QTest::addColumn<bool>("pressEscape");
        QTest::addColumn<widgets::PromptAnswer>("expected");
        QTest::newRow("default Yes, Enter") << widgets::PromptAnswer::Yes << false << widgets::PromptAnswer::Yes;
        QTest::newRow("default No, Enter") << widgets::PromptAnswer::No << false << widgets::PromptAnswer::No;
        QTest::newRow("default Yes, Escape") << widgets::PromptAnswer::Yes << true << widgets::PromptAnswer::No;
    }
    void yesNoBoxHonoursTheDefaultAndEscapeMeansNo()
    {
        QFETCH(widgets::PromptAnswer, defaultAnswer);
        QFETCH(bool, pressEscape);
        QFETCH(widgets::PromptAnswer, expected);
        QMessageBox::Icon icon = QMessageBox::Information;
        QStringList captions;
        whenBoxOpens([&](QMessageBox* box) {
            icon = box->icon();
            captions = {box->button(QMessageBox::Yes)->text(), box->button(QMessageBox::No)->text()};
            QTest::keyClick(box, pressEscape ? Qt::Key_Escape : Qt::Key_Return);
        });
        widgets::MessageBoxPrompter prompter;
        const widgets::PromptAnswer answer =
            prompter.prompt(nullptr, {u"システムの終了"_s, u"システムを終了してもよろしいでしょうか"_s,
                                      widgets::PromptIcon::None, widgets::PromptButtons::YesNo, defaultAnswer});
        QCOMPARE(answer, expected);
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(captions, (QStringList{u"はい(&Y)"_s, u"いいえ(&N)"_s}));
    }
};

QTEST_MAIN(TestMessageBoxPrompter)
#include "tst_messageboxprompter.moc"
