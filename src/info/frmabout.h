#pragma once

#include "common/programinfo.h"

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace info {

class EtchedLine;

/**
 * The About window: the program's name, its fixed version text "V1.3", the rights notice, the
 * author and the home page. Every text is fixed; nothing is read when it opens. Closing the window
 * destroys it (Qt::WA_DeleteOnClose); the caller keeps at most one, e.g. with showSingleWindow().
 */
class frmAbout final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmAbout)

public:
    explicit frmAbout(QWidget* parent = nullptr);

    /// The version text: a fixed text of the window, whatever version the program carries.
    static constexpr char16_t VersionText[] = u"V1.3";
    static constexpr char16_t RightsNotice[] = u"© 2026 Tavik Light 開発チーム";
    static constexpr char16_t AuthorLine[] = u"作者：Tavik Light 開発チーム";
    /// A reserved example domain: the project publishes no web site.
    static constexpr const auto& HomePage = common::program::HomePage;

private:
    void Form_Load();
    void cmdOK_Click();

    QPushButton* cmdOK;
    QLabel* picIcon;
    QLabel* lblDescription;
    QLabel* lblDisclaimer;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    EtchedLine* Line1;
};

} // namespace info
