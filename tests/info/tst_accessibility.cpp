#include "support/accessibility.h"

#include <QCalendarWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>

using namespace Qt::StringLiterals;

namespace {

template<typename W>
W* named(QWidget* parent, const QString& name, const QString& accessibleName = {}, const QString& description = {})
{
    auto* widget = new W(parent);
    widget->setObjectName(name);
    widget->setAccessibleName(accessibleName);
    widget->setAccessibleDescription(description);
    return widget;
}

} // namespace

/// The helper the windows' tests use to find controls a screen reader could not announce.
class TestAccessibilityHelper final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reportsWhatAScreenReaderWouldMiss();
    void acceptsCompositeControlsThatAreNamed();
};

void TestAccessibilityHelper::reportsWhatAScreenReaderWouldMiss()
{
    QWidget window;
    // A picture button without caption says nothing; its caption-less look is the usual trap.
    auto* picture = named<QPushButton>(&window, u"Command1"_s);
    picture->setIcon(QIcon(QPixmap(32, 32)));
    // A captioned button is named by its caption, but still lacks a description.
    named<QPushButton>(&window, u"Command3"_s)->setText(u"切断"_s);
    // A description given as a tool tip is what a screen reader reads.
    auto* tipped = named<QPushButton>(&window, u"Command4"_s, u"コンピュータ一覧"_s);
    tipped->setToolTip(u"LAN のコンピュータから選びます"_s);
    // An anonymous control that takes the focus is reported under a placeholder name.
    new QLineEdit(&window);
    // Hidden controls count: a layout may show them later.
    named<QLineEdit>(&window, u"Text2"_s, u"メッセージ"_s)->hide();
    // Decoration without a name and without focus is not a control.
    new QLabel(u"飾り"_s, &window);

    const QStringList gaps = testsupport::controlsWithoutAccessibleText(&window);
    const QStringList expected{u"Command1 (QPushButton): no name"_s,        u"Command1 (QPushButton): no description"_s,
                               u"Command3 (QPushButton): no description"_s, u"<unnamed> (QLineEdit): no name"_s,
                               u"<unnamed> (QLineEdit): no description"_s,  u"Text2 (QLineEdit): no description"_s};
    QCOMPARE(gaps, expected);
}

void TestAccessibilityHelper::acceptsCompositeControlsThatAreNamed()
{
    // The inner parts of Qt's composite controls are not the program's to name.
    QWidget window;
    named<QCalendarWidget>(&window, u"Calendar1"_s, u"カレンダー"_s, u"日付を選びます"_s);
    named<QTableView>(&window, u"MSFlexGrid1"_s, u"ログ"_s, u"読み込んだログ"_s);
    named<QTextBrowser>(&window, u"WebBrowser1"_s, u"本文"_s, u"ヘルプ"_s);
    named<QSpinBox>(&window, u"Spin1"_s, u"数"_s, u"数を選びます"_s);
    const QStringList gaps = testsupport::controlsWithoutAccessibleText(&window);
    QVERIFY2(gaps.isEmpty(), qPrintable(gaps.join(u"; "_s)));
}

QTEST_MAIN(TestAccessibilityHelper)
#include "tst_accessibility.moc"
