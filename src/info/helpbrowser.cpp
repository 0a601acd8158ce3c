#include "helpbrowser.h"

#include <QDir>
#include <QString>
#include <QTextDocument>
#include <QUrl>
#include <QVariant>

using namespace Qt::StringLiterals;

namespace info {

HelpBrowser::HelpBrowser(QWidget* parent)
    : QTextBrowser(parent)
{
    // Web addresses go to the desktop's browser; local pages stay in this view.
    setOpenExternalLinks(true);
    setOpenLinks(true);
}

QString HelpBrowser::missingPageNotice(const QString& location)
{
    return u"<html><body><p>ヘルプのページ「%1」を開けませんでした。</p></body></html>"_s.arg(location.toHtmlEscaped());
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name)
{
    QVariant data = QTextBrowser::loadResource(type, name);
    if (type != QTextDocument::HtmlResource && type != QTextDocument::MarkdownResource)
        return data;
    if (data.isValid())
        return data;
    // A missing or unreadable page: say so in the view, rather than leaving it blank.
    const QUrl resolved = source().isValid() ? source().resolved(name) : name;
    const QString location =
        resolved.isLocalFile() ? QDir::toNativeSeparators(resolved.toLocalFile()) : resolved.toDisplayString();
    return missingPageNotice(location);
}

} // namespace info
