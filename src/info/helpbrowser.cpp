#include "helpbrowser.h"

#include <QColor>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QImage>
#include <QPalette>
#include <QString>
#include <QTextDocument>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace info {

namespace {

/// The contrast ratio of two colours as accessibility guidelines define it: 1 (none) to 21.
double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& color) {
        const auto channel = [](double value) {
            return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) + 0.0722 * channel(color.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

HelpBrowser::HelpBrowser(QWidget* parent)
    : QTextBrowser(parent)
{
    // Web addresses go to the desktop's browser; local pages stay in this view.
    setOpenExternalLinks(true);
    setOpenLinks(true);
    applyPaletteStyle();
}

// Headings and links in the link colour where it stands out from the page, else in the text colour; notes
// on the alternate background where the text stays readable on it, else on the page's own.
void HelpBrowser::applyPaletteStyle()
{
    const QPalette& colours = palette();
    const QColor page = colours.color(QPalette::Base);
    const QColor text = colours.color(QPalette::Text);
    const QColor link = colours.color(QPalette::Link);
    const QColor heading = contrast(link, page) >= 3.0 ? link : text;
    QColor note = colours.color(QPalette::AlternateBase);
    if (contrast(text, note) < 4.5)
        note = page;
    // Links too: Qt gives them the application's link colour, which a dark theme may leave dark blue.
    document()->setDefaultStyleSheet(u"h1, h2, a { color: %1; } .note { background-color: %2; color: %3; }"_s.arg(
        heading.name(), note.name(), text.name()));
}

void HelpBrowser::changeEvent(QEvent* event)
{
    QTextBrowser::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyPaletteStyle();
        if (source().isValid())
            reload(); // the style sheet applies when a page is read
    }
}

QString HelpBrowser::missingPageNotice(const QString& location)
{
    return u"<html><body><p>ヘルプのページ「%1」を開けませんでした。</p></body></html>"_s.arg(location.toHtmlEscaped());
}

QImage HelpBrowser::pictureForRatio(const QString& path, qreal ratio)
{
    const QFileInfo file(path);
    QImage picture;
    if (ratio > 1 && picture.load(file.path() + u'/' + file.completeBaseName() + u"@2x."_s + file.suffix()))
        picture.setDevicePixelRatio(2);
    else if (!picture.load(path))
        return {};
    const QSizeF logical = picture.deviceIndependentSize();
    const QSize device = (logical * ratio).toSize();
    if (picture.size() != device)
        picture = picture.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    picture.setDevicePixelRatio(ratio);
    return picture;
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name)
{
    const QUrl resolved = source().isValid() ? source().resolved(name) : name;
    if (type == QTextDocument::ImageResource && resolved.isLocalFile()) {
        QImage picture = pictureForRatio(resolved.toLocalFile(), devicePixelRatioF());
        if (!picture.isNull())
            return picture;
    }
    QVariant data = QTextBrowser::loadResource(type, name);
    if (type != QTextDocument::HtmlResource && type != QTextDocument::MarkdownResource)
        return data;
    if (data.isValid())
        return data;
    // A missing or unreadable page: say so in the view, rather than leaving it blank.
    const QString location =
        resolved.isLocalFile() ? QDir::toNativeSeparators(resolved.toLocalFile()) : resolved.toDisplayString();
    return missingPageNotice(location);
}

} // namespace info
