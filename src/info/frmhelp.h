#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace info {

class EtchedLine;
class HelpBrowser;

/**
 * The help window: the local help page help/index.html under the working directory, shown in an
 * embedded page view. The page is requested once, when the window is made; showing the window
 * again does not reload it. Closing the window destroys it (Qt::WA_DeleteOnClose); the caller
 * keeps at most one, e.g. with showSingleWindow().
 */
class frmHelp final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmHelp)

public:
    explicit frmHelp(QWidget* parent = nullptr);

    /**
     * The page path as the window built it: the working directory at load time followed by
     * "/help/index.html", not cleaned (at the root directory it starts with two slashes).
     */
    QString pagePath() const { return m_pagePath; }

private:
    void Form_Load();
    void cmdOK_Click();

    QPushButton* cmdOK;
    QLabel* picIcon;
    QLabel* lblTitle;
    HelpBrowser* WebBrowser1;
    EtchedLine* Line1;
    QString m_pagePath;
};

} // namespace info
