#include "frmcalender.h"

#include "common/twips.h"
#include "widgets/designcontrol.h"
#include "widgets/programicon.h"

#include <QCalendarWidget>
#include <QPushButton>

using namespace Qt::StringLiterals;
using common::twipsRect;

namespace history::ui {

using widgets::describe;

frmCalender::frmCalender(QWidget* viewer)
    : QDialog(viewer, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , Calendar1(new QCalendarWidget(this))
    , OKButton(new QPushButton(u"OK"_s, this))
    , CancelButton(new QPushButton(u"ｷｬﾝｾﾙ"_s, this))
{
    setObjectName(u"frmCalender"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(u"日付選択ダイアログ"_s);
    widgets::applyProgramIcon(this);
    setFixedSize(common::twipsSize(4995, 2970));

    Calendar1->setObjectName(u"Calendar1"_s);
    OKButton->setObjectName(u"OKButton"_s);
    CancelButton->setObjectName(u"CancelButton"_s);
    // The design's calendar is 45 twips taller than the client area, which cut off its last
    // row; it ends at the client area's bottom instead.
    Calendar1->setGeometry(twipsRect(0, 0, 3735, 2970));
    OKButton->setGeometry(twipsRect(3720, 2040, 1215, 375));
    CancelButton->setGeometry(twipsRect(3720, 2520, 1215, 375));
    // A screen reader announces each control by these texts; the calendar has no caption of its own.
    describe(this, windowTitle(), u"ログを絞り込む日付をカレンダーから選ぶ画面"_s);
    describe(Calendar1, u"カレンダー"_s, u"ログを絞り込む日付を選びます"_s);
    describe(OKButton, u"OKボタン"_s, u"選んだ日付を年・月・日の欄に入れて、この画面を閉じます"_s);
    describe(CancelButton, u"キャンセルボタン"_s, u"日付の欄を変えずに、この画面を閉じます"_s);
    setTabOrder(Calendar1, OKButton);
    setTabOrder(OKButton, CancelButton);

    // The range of the month calendar the dialog was designed with; every opening starts on the
    // same stored date, never on today.
    Calendar1->setDateRange(QDate(1900, 1, 1), QDate(2100, 12, 31));
    Calendar1->setSelectedDate(QDate(2002, 8, 26));

    connect(OKButton, &QPushButton::clicked, this, &frmCalender::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &frmCalender::CancelButton_Click);
}

void frmCalender::OKButton_Click()
{
    Q_EMIT dateChosen(Calendar1->selectedDate());
    close();
}

void frmCalender::CancelButton_Click()
{
    close();
}

} // namespace history::ui
