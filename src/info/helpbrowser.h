#pragma once

#include <QImage>
#include <QTextBrowser>

namespace info {

/**
 * The help window's page view. Shows local HTML pages and follows the links inside them: relative
 * links and anchors open in the view, links to the web open in the desktop's browser, never in
 * here. A page that cannot be read shows a one-line notice in the view instead of nothing.
 *
 * Pictures are shown pixel for pixel at the screen's density (see pictureForRatio()).
 *
 * The pages name no colours of their own: the headings and the boxed notes (class "note") take
 * theirs from the view's palette, so that they stay readable in a light and in a dark theme.
 */
class HelpBrowser final : public QTextBrowser
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelpBrowser)

public:
    explicit HelpBrowser(QWidget* parent = nullptr);

    /// The HTML shown in place of a page that cannot be read; @p location names the page.
    static QString missingPageNotice(const QString& location);

    /**
     * The picture at @p path as a screen of @p ratio device pixels per logical pixel shows it,
     * or a null image when it cannot be read. A picture "x.png" may come with "x@2x.png", taken
     * at twice its size for screens of twice the density; the one that suits @p ratio is used as
     * it is, and at any other ratio it is scaled smoothly to the screen's pixels beforehand: the
     * view would otherwise pick pixels while drawing it, and its text would come out ragged.
     */
    static QImage pictureForRatio(const QString& path, qreal ratio);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
    void changeEvent(QEvent* event) override;

private:
    void applyPaletteStyle();
};

} // namespace info
