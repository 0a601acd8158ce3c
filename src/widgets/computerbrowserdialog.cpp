#include "computerbrowserdialog.h"

#include "computerbrowsertext.h"
#include "net/computerbrowsermodel.h"
#include "widgets/designcontrol.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace widgets {

ComputerBrowserDialog::ComputerBrowserDialog(net::ComputerBrowserModel& model, QWidget* parent)
    : QDialog(parent)
    , m_model(model)
    , m_status(new QLabel(this))
    , m_list(new QTableView(this))
    , m_refresh(new QPushButton(QStringLiteral("再検索(&R)"), this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setObjectName(QStringLiteral("ComputerBrowser"));
    setWindowTitle(QStringLiteral("コンピュータの参照"));
    setModal(true);

    auto* prompt = new QLabel(QStringLiteral("接続先のコンピュータを選んで下さい。"), this);
    m_status->setObjectName(QStringLiteral("statusLabel"));
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText); // reasons may quote texts from the daemon

    // When the chosen computer leaves the network the view would move the selection to a
    // neighbour, which the user never picked; the choice is cleared instead. Connected before
    // the view is, so that the selection is read before the view changes it.
    connect(&m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this](const QModelIndex&, int first, int last) {
        const int row = selectedRow();
        m_selectionVanishing = row >= first && row <= last;
    });
    connect(&m_model, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (m_selectionVanishing)
            m_list->selectionModel()->clear();
        m_selectionVanishing = false;
        updateOkButton();
    });
    m_list->setObjectName(QStringLiteral("computerList"));
    m_list->setModel(&m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setShowGrid(false);
    m_list->setWordWrap(false);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 8);
    m_list->horizontalHeader()->setSectionResizeMode(net::ComputerBrowserModel::NameColumn, QHeaderView::Stretch);
    m_list->horizontalHeader()->setSectionResizeMode(net::ComputerBrowserModel::MessengerColumn,
                                                     QHeaderView::ResizeToContents);

    m_refresh->setObjectName(QStringLiteral("refreshButton"));
    m_buttons->setObjectName(QStringLiteral("buttons"));
    m_buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    m_buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));

    // A screen reader announces each control by these texts; the list and the status line have no
    // caption of their own, and the status line starts empty.
    describe(this, windowTitle(), QStringLiteral("ネットワーク上のコンピュータを一覧から選び、接続先にする画面"));
    prompt->setAccessibleDescription(QStringLiteral("この画面ですることの説明"));
    describe(m_list, QStringLiteral("コンピュータの一覧"),
             QStringLiteral(
                 "ネットワーク上で見つかったコンピュータ。コンピュータ名と、通知サービスがあるかどうかを表示します"));
    m_status->setAccessibleDescription(QStringLiteral("コンピュータの検索が進んでいるか、できない理由"));
    describe(m_refresh, QStringLiteral("再検索ボタン"),
             QStringLiteral("ネットワーク上のコンピュータを探し直して、一覧を新しくします"));
    describe(m_buttons, QStringLiteral("OKとキャンセルのボタン"),
             QStringLiteral("選んだコンピュータに決めるか、選ばずに閉じるボタンの組"));
    QPushButton* ok = m_buttons->button(QDialogButtonBox::Ok);
    describe(ok, QStringLiteral("OKボタン"),
             QStringLiteral("一覧で選んだコンピュータを接続先にして、この画面を閉じます"));
    QPushButton* cancel = m_buttons->button(QDialogButtonBox::Cancel);
    describe(cancel, QStringLiteral("キャンセルボタン"), QStringLiteral("接続先を変えずに、この画面を閉じます"));

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_refresh);
    bottom->addStretch();
    bottom->addWidget(m_buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_status);
    layout->addLayout(bottom);
    resize(440, 360);

    connect(m_buttons, &QDialogButtonBox::accepted, this, &ComputerBrowserDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &ComputerBrowserDialog::reject);
    connect(m_refresh, &QPushButton::clicked, this, &ComputerBrowserDialog::refreshRequested);
    connect(m_list, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            accept();
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ComputerBrowserDialog::updateOkButton);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &ComputerBrowserDialog::updateOkButton);
    connect(&m_model, &net::ComputerBrowserModel::statusChanged, this, &ComputerBrowserDialog::updateStatus);
    updateStatus();
    updateOkButton();
}

ComputerBrowserDialog::~ComputerBrowserDialog() = default;

void ComputerBrowserDialog::accept()
{
    const int row = selectedRow();
    if (row < 0)
        return; // OK means nothing without a computer; the dialog stays open
    m_chosen = m_model.computerName(row);
    QDialog::accept();
}

int ComputerBrowserDialog::selectedRow() const
{
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.constFirst().row();
}

void ComputerBrowserDialog::updateStatus()
{
    const QString text = browserStatusText(m_model);
    m_status->setText(text);
    // A set accessible name hides a label's text from a screen reader, so the name carries both
    // the line's caption and what it says now.
    m_status->setAccessibleName(text.isEmpty() ? QStringLiteral("検索の状態") : QStringLiteral("検索の状態：") + text);
}

void ComputerBrowserDialog::updateOkButton()
{
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(selectedRow() >= 0);
}

} // namespace widgets
