#include "logviewercontrols.h"

#include "common/twips.h"
#include "history/ui/tavik_log.h"
#include "widgets/designcontrol.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>

using namespace Qt::StringLiterals;
using common::px;
using widgets::describe;

namespace history::ui {

void setUpLogGrid(QTableView* grid, QAbstractItemModel* model)
{
    grid->setModel(model);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setWordWrap(false);
    // The first column is the grid's fixed column: it carries nothing and stays hidden.
    grid->verticalHeader()->hide();
    // Fixed row heights let the view handle a million rows without measuring any of them.
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(px(240));
    grid->horizontalHeader()->setHighlightSections(false);
}

void describeLogViewerControls(tavik_log& viewer, QWidget* client, QStatusBar* status, QLabel* statusPanel)
{
    viewer.setAccessibleName(viewer.windowTitle());
    viewer.setAccessibleDescription(u"保存したログファイルを読み込み、送信したメッセージを一覧で表示する画面"_s);
    describe(client, u"ログ表示画面の本体"_s, u"日付の欄、ボタン、ログの一覧を載せる領域"_s);
    describe(viewer.CmdCalselect, u"日付選択ボタン"_s, u"カレンダーから日付を選び、年・月・日の欄に入れます"_s);
    describe(viewer.Text1, u"年"_s, u"ログファイルを絞り込む年。4桁の数字で入力します"_s);
    describe(viewer.Label2, u"年"_s, u"左の欄が年であることを示す文字"_s);
    describe(viewer.Text2, u"月"_s, u"ログファイルを絞り込む月。2桁の数字で入力します"_s);
    describe(viewer.Label3, u"月"_s, u"左の欄が月であることを示す文字"_s);
    describe(viewer.Text3, u"日"_s, u"ログファイルを絞り込む日。2桁の数字で入力します"_s);
    describe(viewer.Label1, viewer.Label1->text(),
             u"入力した日付で始まる名前のログファイルだけを選べることを示す説明"_s);
    describe(viewer.CmdLoadlogdata, u"参照ボタン"_s, u"入力した日付のログファイルを選んで読み込みます"_s);
    describe(viewer.Command1, u"日付リセットボタン"_s, u"年・月・日の欄を空にします"_s);
    describe(viewer.MSFlexGrid1, u"ログの一覧"_s,
             u"読み込んだログファイルの記録。送信元、送信先、日時、メッセージを1行に1件ずつ表示します"_s);
    describe(status, u"ステータスバー"_s, u"読み込みの結果を表示する欄"_s);
    statusPanel->setAccessibleDescription(u"読み込んだ記録の件数と、読み飛ばした行の数"_s);
}

} // namespace history::ui
