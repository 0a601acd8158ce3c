#include "tavikui.h"

#include "chat/core/chatrules.h"
#include "chat/ui/boundedlinedelegate.h"
#include "chat/ui/listfollower.h"
#include "chat/ui/statuspanel.h"
#include "common/twips.h"
#include "widgets/designcontrol.h"
#include "widgets/japanesefont.h"
#include "widgets/picturebutton.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

#include <limits>

using namespace Qt::StringLiterals;
using common::px;
using common::twipsRect;
using widgets::describe;
using widgets::named;

namespace chat::ui {

namespace {

constexpr qreal ControlPointSize = 9.75;
constexpr qreal PictureButtonPointSize = 12;

template<typename T> T* placed(T* control, const QString& designName, QRect geometry, const QFont& font)
{
    named(control, designName);
    control->setFont(font);
    control->setGeometry(geometry);
    return control;
}

QPushButton* pictureButton(QWidget* parent, const QString& designName, const QString& iconPath, QSize iconSize,
                           const QString& accessibleName, QRect geometry)
{
    auto* button = named(new widgets::PictureButton(parent), designName);
    button->setGeometry(geometry);
    button->setIcon(QIcon(iconPath));
    button->setIconSize(iconSize);
    button->setAccessibleName(accessibleName);
    button->setToolTip(accessibleName);
    return button;
}

QLabel* label(QWidget* parent, const QString& designName, const QString& text, QRect geometry, const QFont& font)
{
    auto* widget = placed(new QLabel(text, parent), designName, geometry, font);
    widget->setTextFormat(Qt::PlainText); // a partner name must never be read as markup
    return widget;
}

QLineEdit* lineEdit(QWidget* parent, const QString& designName, QRect geometry, const QFont& font)
{
    auto* widget = placed(new QLineEdit(parent), designName, geometry, font);
    widget->setMaxLength(std::numeric_limits<int>::max()); // no length limit; the send checks refuse what is too long
    return widget;
}

QListView* list(QWidget* parent, const QString& designName, QRect geometry, QAbstractItemModel* model)
{
    auto* widget = named(new QListView(parent), designName);
    widget->setGeometry(geometry);
    // Every row is one line of the same height, so the view never measures rows one by one.
    widget->setUniformItemSizes(true);
    widget->setEditTriggers(QAbstractItemView::NoEditTriggers);
    widget->setModel(model);
    return widget;
}

} // namespace

void TavikUi::setupUi(QMainWindow* window, QAbstractItemModel* displayLines, QAbstractItemModel* logLines)
{
    auto* client = new QWidget(window);
    window->setCentralWidget(client);
    buildControls(client, displayLines, logLines);

    StatusBar1 = named(new QStatusBar(window), u"StatusBar1"_s);
    statusPanel = new StatusPanel(StatusBar1);
    StatusBar1->addPermanentWidget(statusPanel, 1);
    window->setStatusBar(StatusBar1);

    buildMenu(window);
    describeControls();
    applyTabOrder(window);
}

void TavikUi::showConnectedLayout(bool connected)
{
    Text1->setVisible(!connected);
    Command4->setVisible(!connected);
    Option1->setEnabled(!connected);
    Option2->setEnabled(!connected);
    Command1->setVisible(!connected);
    Command3->setVisible(connected);
    Text2->setVisible(connected);
    Command2->setVisible(connected);
}

void TavikUi::fitToClient(QSize client)
{
    if (client.isEmpty())
        return; // minimized or not laid out yet: nothing to fit
    // Each step stands alone; one that would give a negative size is left out, so at the
    // smallest window List1 keeps its last height instead of collapsing to nothing.
    if (client.width() - px(250) >= 0)
        List1->resize(client.width() - px(250), List1->height());
    if (client.height() - px(2000) >= 0)
        List1->resize(List1->width(), client.height() - px(2000));
}

void TavikUi::buildControls(QWidget* client, QAbstractItemModel* displayLines, QAbstractItemModel* logLines)
{
    const QFont font = widgets::designFont(ControlPointSize);
    Command4 = pictureButton(client, u"Command4"_s, u":/icons/browse.png"_s, QSize(38, 15), u"接続先PCを探す"_s,
                             twipsRect(1920, 360, 615, 255));
    List2 = list(client, u"List2"_s, twipsRect(960, 4080, 4455, 2220), logLines);
    List2->hide();
    Command3 = placed(new QPushButton(u"切断"_s, client), u"Command3"_s, twipsRect(120, 360, 975, 375), font);
    Command3->hide();
    Option2 = placed(new QRadioButton(core::roleCaption(core::Role::PC2), client), u"Option2"_s,
                     twipsRect(4320, 360, 1335, 375), font);
    Option1 = placed(new QRadioButton(core::roleCaption(core::Role::PC1), client), u"Option1"_s,
                     twipsRect(3120, 360, 1215, 375), font);
    Option1->setChecked(true);
    Command1 = pictureButton(client, u"Command1"_s, u":/icons/connect.png"_s, QSize(32, 32), u"接続"_s,
                             twipsRect(6240, 360, 495, 495));
    Command2 = pictureButton(client, u"Command2"_s, u":/icons/send.png"_s, QSize(32, 32), u"送信"_s,
                             twipsRect(6240, 960, 495, 495));
    Command2->hide();
    Command1->setFont(widgets::designFont(PictureButtonPointSize));
    Command2->setFont(widgets::designFont(PictureButtonPointSize));
    Text2 = lineEdit(client, u"Text2"_s, twipsRect(120, 1080, 6015, 285), font);
    Text2->hide();
    Text1 = lineEdit(client, u"Text1"_s, twipsRect(120, 360, 1815, 285), font);
    List1 = list(client, u"List1"_s, twipsRect(120, 1920, 6615, 4920), displayLines);
    List1->setItemDelegate(new BoundedLineDelegate(List1)); // lays out only what can be seen of a line
    new ListFollower(List1); // new lines scroll into view while the user reads at the end
    Line1 = named(new QFrame(client), u"Line1"_s);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Plain);
    Line1->setGeometry(0, px(1560), px(7560), 1);
    Label3 = label(client, u"Label3"_s, u"送受信したデータ："_s, twipsRect(120, 1680, 2775, 255), font);
    Label1 =
        label(client, u"Label1"_s, QString::fromUtf16(core::NotConnectedLabel), twipsRect(120, 120, 4935, 255), font);
    Label2 = label(client, u"Label2"_s, u"送信するデータ："_s, twipsRect(120, 840, 2775, 255), font);
}

void TavikUi::buildMenu(QMainWindow* window)
{
    const auto topMenu = [window](const QString& designName, const QString& title) {
        return named(window->menuBar()->addMenu(title), designName);
    };
    const auto action = [](QMenu* menu, const QString& designName, const QString& text) {
        return named(menu->addAction(text), designName);
    };
    m_menu = topMenu(u"m_menu"_s, u"メニュー(&M)"_s);
    m_exit = action(m_menu, u"m_exit"_s, u"終了(&Q)"_s);
    m_tool = topMenu(u"m_tool"_s, u"ツール(&T)"_s);
    m_log = action(m_tool, u"m_log"_s, u"過去ログの表示(&L)"_s);
    // Additions to the design follow its items.
    m_check = action(m_tool, u"m_check"_s, u"接続の確認(&C)..."_s);
    m_logsearch = action(m_tool, u"m_logsearch"_s, u"ログの検索(&S)..."_s);
    m_help = topMenu(u"m_help"_s, u"ヘルプ(&H)"_s);
    m_use = action(m_help, u"m_use"_s, u"使い方(&U)"_s);
    m_sp2 = named(m_help->addSeparator(), u"m_sp2"_s);
    m_version = action(m_help, u"m_version"_s, u"バージョン情報(&A)"_s);
}

// A screen reader has nothing to say about a picture button or a text box without these.
void TavikUi::describeControls()
{
    describe(Command4, {}, u"ネットワーク上のコンピュータを一覧から選び、接続先PC名に入れます"_s);
    describe(List2, u"記録"_s, u"送受信したメッセージの記録。送受信があれば終了時にログファイルへ保存されます"_s);
    describe(Command3, {}, u"相手に切断を知らせ、接続を終えます"_s);
    describe(Option1, {}, u"PC1側として接続します。相手はPC2側を選びます"_s);
    describe(Option2, {}, u"PC2側として接続します。相手はPC1側を選びます"_s);
    describe(Command1, {}, u"接続先PCと接続し、相手に通知します"_s);
    describe(Command2, {}, u"入力したメッセージを相手に送信します"_s);
    describe(Text2, u"送信するデータ"_s, u"送信するメッセージ。Enterキーでも送信します"_s);
    describe(Text1, u"接続先PC名"_s, u"相手のコンピュータ名またはIPアドレス"_s);
    describe(List1, u"送受信したデータ"_s, u"送信したメッセージ（貴方>）と受信したメッセージ（相手>）の一覧"_s);
    describe(Line1, u"区切り線"_s, u"送信欄と一覧の区切り"_s);
    describe(Label1, {}, u"接続先と接続の状態"_s);
    describe(Label2, {}, u"送信欄の見出し"_s);
    describe(Label3, {}, u"一覧の見出し"_s);
    describe(StatusBar1, u"ステータスバー"_s, u"接続の詳しい状態"_s);
    describe(statusPanel, {}, u"自分のポート、相手のアドレスとポート、最後に受信した時刻"_s);
}

void TavikUi::applyTabOrder(QWidget* window)
{
    // Labels, the hidden log list and the status bar take no focus; Qt skips hidden controls.
    QWidget* const order[] = {Text1, Option1, Option2, Command1, Text2, Command2, List1, Command3, Command4};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        window->setTabOrder(order[i], order[i + 1]);
}

} // namespace chat::ui
