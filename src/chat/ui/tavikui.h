#pragma once

#include <QSize>

class QAbstractItemModel;
class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QMainWindow;
class QMenu;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QWidget;

namespace chat::ui {

class StatusPanel;

/**
 * The main window's controls and menu as its design lays them out, made by setupUi in the way a
 * form compiler would: names, captions, fonts, positions in twips, accessible texts and the tab
 * order. The window connects their signals to its handlers.
 */
struct TavikUi final
{
    /// Makes every control on @p window; List1 and List2 show @p displayLines and @p logLines.
    void setupUi(QMainWindow* window, QAbstractItemModel* displayLines, QAbstractItemModel* logLines);

    /// Connected: the message box, send and disconnect instead of the partner name, browse and connect.
    void showConnectedLayout(bool connected);
    /// List1 fills the client area of size @p client but for fixed margins (the resize step of the design).
    void fitToClient(QSize client);

    QStatusBar* StatusBar1 = nullptr;
    StatusPanel* statusPanel = nullptr;
    QPushButton* Command4 = nullptr;
    QListView* List2 = nullptr;
    QPushButton* Command3 = nullptr;
    QRadioButton* Option2 = nullptr;
    QRadioButton* Option1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QListView* List1 = nullptr;
    QFrame* Line1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;

    QMenu* m_menu = nullptr;
    QAction* m_exit = nullptr;
    QMenu* m_tool = nullptr;
    QAction* m_log = nullptr;
    QAction* m_check = nullptr;
    QAction* m_logsearch = nullptr;
    QMenu* m_help = nullptr;
    QAction* m_use = nullptr;
    QAction* m_sp2 = nullptr;
    QAction* m_version = nullptr;

private:
    void buildControls(QWidget* client, QAbstractItemModel* displayLines, QAbstractItemModel* logLines);
    void buildMenu(QMainWindow* window);
    void describeControls();
    void applyTabOrder(QWidget* window);
};

} // namespace chat::ui
