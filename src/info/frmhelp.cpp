#include "frmhelp.h"

#include "common/twips.h"
#include "etchedline.h"
#include "helpbrowser.h"
#include "infowindow.h"
#include "widgets/designcontrol.h"
#include "widgets/japanesefont.h"

#include <QDir>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace info {

using widgets::describe;

using common::twipsRect;

frmHelp::frmHelp(QWidget* parent)
    : QDialog(parent)
{
    setUpInfoWindow(this, u"frmHelp"_s, u"「Tavik Light」の使い方（簡易ヘルプ）"_s,
                    u"Tavik Light の使い方を説明するヘルプ画面"_s, QSize(6720, 7935));

    // Created in the tab order of the design: the first control gets the focus when the window opens.
    cmdOK = makeCloseButton(this, u"閉じる"_s, twipsRect(5280, 240, 1380, 345),
                            u"ヘルプ画面を閉じます。Enter キーや Esc キーでも閉じます。"_s);
    picIcon = makeIconBox(this, twipsRect(120, 120, 480, 480));

    lblTitle = new QLabel(u"Tavik Light　ヘルプ"_s, this);
    lblTitle->setObjectName(u"lblTitle"_s);
    lblTitle->setGeometry(twipsRect(1080, 240, 3885, 360));
    lblTitle->setFont(widgets::designFont(12));
    lblTitle->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    describe(lblTitle, u"Tavik Light　ヘルプ"_s, u"この画面の題名"_s);

    WebBrowser1 = new HelpBrowser(this);
    WebBrowser1->setObjectName(u"WebBrowser1"_s);
    WebBrowser1->setGeometry(twipsRect(120, 840, 6495, 6975));
    describe(WebBrowser1, u"ヘルプの本文"_s,
             u"使い方を説明するページ。Tab キーでリンクを選び、Enter キーでそのページを開きます。"_s);

    Line1 = new EtchedLine(720, 120, 105, 6600, this);
    Line1->setObjectName(u"Line1"_s);
    describe(Line1, u"区切り線"_s, u"題名とヘルプの本文を分ける飾りの線"_s);

    connect(cmdOK, &QPushButton::clicked, this, &frmHelp::cmdOK_Click);
    cmdOK->setFocus();

    Form_Load();
}

void frmHelp::Form_Load()
{
    // The page is looked up under the working directory, whatever folder holds the program. The
    // separator is appended as it is, so the root directory gives "//help/index.html"; only the
    // address handed to the view is cleaned.
    m_pagePath = QDir::currentPath() + u"/help/index.html"_s;
    WebBrowser1->setSource(QUrl::fromLocalFile(QDir::cleanPath(m_pagePath)));
}

void frmHelp::cmdOK_Click()
{
    close();
}

} // namespace info
