#include "connectioncheckwindow.h"

#include "widgets/programicon.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace chat::ui {

namespace {

enum Column { MarkColumn, TitleColumn, TextColumn };

QString partnerText(const check::Request& request)
{
    const QString partner = request.partner.isEmpty() ? u"（未入力）"_s : check::shownText(request.partner);
    return u"接続先：%1（%2）"_s.arg(partner, core::roleCaption(request.role));
}

QString rowText(const check::Row& row)
{
    if (row.mark == check::Mark::Pending)
        return u"確認中…"_s;
    return row.remedy.isEmpty() ? row.finding : row.finding + u"\n→ "_s + row.remedy;
}

} // namespace

ConnectionCheckWindow::ConnectionCheckWindow(check::Settings settings, QWidget* parent)
    : QWidget(parent)
    , m_check(new check::ConnectionCheck(std::move(settings), this))
{
    setObjectName(u"ConnectionCheckWindow"_s);
    setWindowTitle(u"接続の確認"_s);
    widgets::applyProgramIcon(this);

    m_partner = new QLabel(this);
    m_partner->setObjectName(u"checkPartner"_s);
    // Whatever was typed as the name, the label is cut at the window's edge rather than widening it.
    m_partner->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_partner->setTextFormat(Qt::PlainText);

    m_rows = new QTableWidget(check::ItemCount, 3, this);
    m_rows->setObjectName(u"checkRows"_s);
    m_rows->setAccessibleName(u"確認の結果"_s);
    m_rows->setWordWrap(true);
    m_rows->setTextElideMode(Qt::ElideNone);
    m_rows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_rows->setSelectionMode(QAbstractItemView::NoSelection);
    m_rows->setAlternatingRowColors(true);
    m_rows->setHorizontalHeaderLabels({u"結果"_s, u"項目"_s, u"内容"_s});
    m_rows->verticalHeader()->hide();
    m_rows->horizontalHeader()->setStretchLastSection(true);
    m_rows->horizontalHeader()->setSectionResizeMode(MarkColumn, QHeaderView::ResizeToContents);
    m_rows->horizontalHeader()->setSectionResizeMode(TitleColumn, QHeaderView::ResizeToContents);
    for (int i = 0; i < check::ItemCount; ++i) {
        auto* mark = new QTableWidgetItem;
        mark->setTextAlignment(Qt::AlignCenter);
        m_rows->setItem(i, MarkColumn, mark);
        m_rows->setItem(i, TitleColumn, new QTableWidgetItem(check::itemTitle(check::Item(i))));
        m_rows->setItem(i, TextColumn, new QTableWidgetItem);
    }
    // A wrapped text needs its row as high as its lines at the width the window gives it.
    connect(m_rows->horizontalHeader(), &QHeaderView::sectionResized, m_rows, &QTableView::resizeRowsToContents);

    m_state = new QLabel(this);
    m_state->setObjectName(u"checkState"_s);
    m_state->setTextFormat(Qt::PlainText);
    m_again = new QPushButton(u"もう一度確認(&R)"_s, this);
    m_again->setObjectName(u"checkAgain"_s);
    m_copy = new QPushButton(u"結果をコピー(&C)"_s, this);
    m_copy->setObjectName(u"copyReport"_s);
    auto* close = new QPushButton(u"閉じる"_s, this);
    close->setObjectName(u"closeCheck"_s);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_state, 1);
    buttons->addWidget(m_again);
    buttons->addWidget(m_copy);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_partner);
    layout->addWidget(m_rows, 1);
    layout->addLayout(buttons);
    resize(760, 400);

    connect(m_check, &check::ConnectionCheck::rowFinished, this, &ConnectionCheckWindow::showRow);
    connect(m_check, &check::ConnectionCheck::finished, this, &ConnectionCheckWindow::showFinished);
    connect(m_again, &QPushButton::clicked, this, [this] { check(m_check->request()); });
    connect(m_copy, &QPushButton::clicked, this, &ConnectionCheckWindow::copyReport);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void ConnectionCheckWindow::check(const check::Request& request)
{
    m_partner->setText(partnerText(request));
    m_state->setText(u"確認中…"_s);
    m_again->setEnabled(false);
    m_check->start(request);
    for (int i = 0; i < check::ItemCount; ++i)
        showRow(check::Item(i));
}

void ConnectionCheckWindow::showRow(check::Item item)
{
    const check::Row& row = m_check->rows().at(int(item));
    m_rows->item(int(item), MarkColumn)->setText(check::markText(row.mark));
    m_rows->item(int(item), TextColumn)->setText(rowText(row));
    m_rows->resizeRowToContents(int(item));
}

void ConnectionCheckWindow::showFinished()
{
    const QList<check::Row>& rows = m_check->rows();
    const auto failed = std::count_if(rows.cbegin(), rows.cend(),
                                      [](const check::Row& row) { return row.mark == check::Mark::Failed; });
    m_state->setText(failed == 0 ? u"確認が終わりました。問題は見つかりませんでした。"_s
                                 : u"確認が終わりました。問題が %1 件あります（×の行）。"_s.arg(failed));
    m_again->setEnabled(true);
}

QString ConnectionCheckWindow::reportText() const
{
    QString text = u"接続の確認　"_s + partnerText(m_check->request()) + u'\n';
    for (int i = 0; i < check::ItemCount; ++i)
        text += check::reportLine(check::Item(i), m_check->rows().at(i)) + u'\n';
    return text;
}

void ConnectionCheckWindow::copyReport()
{
    QGuiApplication::clipboard()->setText(reportText());
}

} // namespace chat::ui
