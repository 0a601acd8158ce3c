#include "frmabout.h"

#include "common/twips.h"
#include "etchedline.h"
#include "infowindow.h"
#include "widgets/designcontrol.h"
#include "widgets/japanesefont.h"

#include <QKeySequence>
#include <QLabel>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace info {

using widgets::describe;

using common::twipsRect;

namespace {

/// A fixed text label of the design, plain text only, not clickable.
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, QRect geometry, Qt::Alignment alignment,
                  const QString& description)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    label->setGeometry(geometry);
    label->setAlignment(alignment | Qt::AlignTop);
    describe(label, text, description);
    return label;
}

} // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent)
{
    setUpInfoWindow(this, u"frmAbout"_s, u"ﾊﾞｰｼﾞｮﾝ情報"_s, u"Tavik Light の名前と版を示す画面"_s, QSize(5730, 3345));

    // Created in the tab order of the design: the first control gets the focus when the window opens.
    cmdOK = makeCloseButton(this, u"OK"_s, twipsRect(4245, 2880, 1380, 345),
                            u"バージョン情報の画面を閉じます。Enter キーや Esc キーでも閉じます。"_s);
    picIcon = makeIconBox(this, twipsRect(240, 240, 480, 480));

    lblDescription = makeLabel(this, u"lblDescription"_s, QString::fromUtf16(RightsNotice),
                               twipsRect(960, 1080, 3885, 330), Qt::AlignHCenter, u"著作権の表示"_s);
    lblDisclaimer = makeLabel(this, u"lblDisclaimer"_s, u"フリーソフト版"_s, twipsRect(120, 2880, 3870, 300),
                              Qt::AlignLeft, u"配布の形態"_s);
    lblDisclaimer->setFont(widgets::designFont(11.25));
    lblTitle = makeLabel(this, u"lblTitle"_s, QString::fromUtf16(common::program::DisplayName),
                         twipsRect(1050, 240, 3885, 360), Qt::AlignHCenter, u"プログラムの名前"_s);
    lblVersion = makeLabel(this, u"lblVersion"_s, QString::fromUtf16(VersionText), twipsRect(960, 600, 4245, 225),
                           Qt::AlignHCenter, u"プログラムの版"_s);
    Label1 = makeLabel(this, u"Label1"_s, QString::fromUtf16(AuthorLine), twipsRect(960, 1440, 4095, 255),
                       Qt::AlignHCenter, u"作者"_s);
    Label2 = makeLabel(this, u"Label2"_s, QString::fromUtf16(HomePage), twipsRect(840, 1800, 4455, 375),
                       Qt::AlignHCenter, u"作者のホームページのアドレス"_s);
    Label3 = makeLabel(this, u"Label3"_s, u"ライセンス情報"_s, twipsRect(120, 2520, 3375, 255), Qt::AlignLeft,
                       u"配布条件の見出し"_s);
    Label3->setFont(widgets::designFont(11.25));

    Line1 = new EtchedLine(2400, 90, 105, 5654, this);
    Line1->setObjectName(u"Line1"_s);
    describe(Line1, u"区切り線"_s, u"上の名前と版の欄と、下の配布条件の欄を分ける飾りの線"_s);

    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    cmdOK->setFocus();

    Form_Load();
}

void frmAbout::Form_Load()
{
    // Every text of this window is fixed in its design; nothing is read or computed when it opens.
}

void frmAbout::cmdOK_Click()
{
    close();
}

} // namespace info
