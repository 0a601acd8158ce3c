#include "info/frmhelp.h"
#include "info/helpbrowser.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

QString helpFolder()
{
    return qEnvironmentVariable("TAVIK_SOURCE_DIR") + u"/resources/help"_s;
}

QString readPage(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QStringList captures(const QString& text, const QString& pattern)
{
    QStringList found;
    QRegularExpressionMatchIterator it = QRegularExpression(pattern).globalMatch(text);
    while (it.hasNext())
        found.append(it.next().captured(1));
    return found;
}

QSet<QString> anchorsOf(const QString& page)
{
    const QStringList names = captures(page, u"(?:name|id)=\"([^\"]+)\""_s);
    return QSet<QString>(names.begin(), names.end());
}

/// The contrast ratio of two colours as accessibility guidelines define it: 1 (none) to 21.
double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& color) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) + 0.0722 * channel(color.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

/// A dark theme that sets only the main colours, leaving the link and alternate colours light-theme ones.
QPalette darkTheme()
{
    QPalette colours;
    colours.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    colours.setColor(QPalette::WindowText, QColor(0xe8, 0xe8, 0xe8));
    colours.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    colours.setColor(QPalette::Text, QColor(0xe8, 0xe8, 0xe8));
    return colours;
}

/// Each piece of text in @p view whose colour does not stand out from what lies behind it.
QStringList unreadableText(const QTextBrowser& view)
{
    QStringList found;
    const QPalette& colours = view.palette();
    for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.text().trimmed().isEmpty())
                continue;
            const QBrush foreground = fragment.charFormat().foreground();
            const QColor text = foreground.style() == Qt::NoBrush ? colours.color(QPalette::Text) : foreground.color();
            QColor back = colours.color(QPalette::Base);
            QTextCursor cursor(view.document());
            cursor.setPosition(fragment.position());
            if (const QTextTable* table = cursor.currentTable()) {
                const QBrush cell = table->cellAt(cursor).format().background();
                const QBrush whole = table->format().background();
                if (cell.style() != Qt::NoBrush)
                    back = cell.color();
                else if (whole.style() != Qt::NoBrush)
                    back = whole.color();
            }
            if (contrast(text, back) < 3.0)
                found << u"%1 (%2 on %3)"_s.arg(fragment.text().left(20), text.name(), back.name());
        }
    }
    return found;
}

} // namespace

/// The user's guide pages as shipped: every link leads somewhere, and the help window shows them.
class TestHelpPages final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void linksAndImagesResolve_data() { addPageRows(); }
    void linksAndImagesResolve();
    void pageRendersWithoutWarnings_data() { addPageRows(); }
    void pageRendersWithoutWarnings();
    void picturesShowPixelForPixel_data() { addPageRows(); }
    void picturesShowPixelForPixel();
    void everyPageReachableFromIndex();
    void helpWindowShowsCopyInProgramFolder();

private:
    static void addPageRows();
};

void TestHelpPages::init()
{
    // A page the view cannot read, or an image it cannot find, shows up as a warning.
    QTest::failOnWarning(QRegularExpression(u"QTextBrowser|image|Cannot|No document"_s));
}

void TestHelpPages::addPageRows()
{
    QTest::addColumn<QString>("path");
    const QStringList names = QDir(helpFolder()).entryList({u"*.html"_s}, QDir::Files, QDir::Name);
    QVERIFY2(names.contains(u"index.html"_s), qPrintable(helpFolder()));
    for (const QString& name : names)
        QTest::newRow(name.toUtf8().constData()) << helpFolder() + u'/' + name;
}

void TestHelpPages::linksAndImagesResolve()
{
    QFETCH(QString, path);
    const QString page = readPage(path);
    QVERIFY(!page.isEmpty());
    QVERIFY2(page.contains(u"<meta charset=\"utf-8\">"_s), "the view must be told the page's encoding");

    QStringList targets = captures(page, u"href=\"([^\"]*)\""_s);
    targets += captures(page, u"src=\"([^\"]*)\""_s);
    for (const QString& target : std::as_const(targets)) {
        const QUrl url(target);
        QVERIFY2(!target.isEmpty(), "empty link");
        if (!url.isRelative()) {
            // Web addresses open in the desktop's browser; local files must be relative links.
            QVERIFY2(url.scheme() == u"https"_s || url.scheme() == u"http"_s, qPrintable(target));
            continue;
        }
        const QString file = url.path().isEmpty() ? path : QFileInfo(path).absolutePath() + u'/' + url.path();
        QVERIFY2(QFileInfo::exists(file), qPrintable(u"%1: %2 does not exist"_s.arg(path, target)));
        if (url.hasFragment())
            QVERIFY2(anchorsOf(readPage(file)).contains(url.fragment()),
                     qPrintable(u"%1: no anchor for %2"_s.arg(path, target)));
    }
}

void TestHelpPages::pageRendersWithoutWarnings()
{
    QFETCH(QString, path);
    info::HelpBrowser view;
    view.resize(433, 465);
    view.setSource(QUrl::fromLocalFile(path));
    const QString text = view.toPlainText();
    QVERIFY(!text.contains(u"ヘルプのページ「"_s));
    // The title of the page is its first heading, and the text arrived decoded (not as mojibake).
    const QStringList headings = captures(readPage(path), u"<h1>(?:<a name=\"[^\"]*\"></a>)?([^<]+)</h1>"_s);
    QCOMPARE(headings.size(), 1);
    QVERIFY2(text.contains(headings.constFirst()), qPrintable(headings.constFirst()));

    // Headings, links and notes stay readable in a light and in a dark theme.
    for (const QPalette& colours : {QApplication::palette(), darkTheme()}) {
        view.setPalette(colours);
        const QStringList unreadable = unreadableText(view);
        QVERIFY2(unreadable.isEmpty(), qPrintable(unreadable.join(u" / "_s)));
    }
}

void TestHelpPages::picturesShowPixelForPixel()
{
    // Each picture is as wide as the page shows it, and comes with one twice as large for screens
    // of twice the density: the view then draws either without scaling it.
    QFETCH(QString, path);
    const QString page = readPage(path);
    const QRegularExpression image(u"<img src=\"([^\"]+)\" width=\"(\\d+)\""_s);
    for (QRegularExpressionMatchIterator it = image.globalMatch(page); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString file = QFileInfo(path).absolutePath() + u'/' + match.captured(1);
        const int width = match.captured(2).toInt();
        const QString doubled = QString(file).replace(u".png"_s, u"@2x.png"_s);
        for (const auto& [ratio, taken] : {std::pair{1.0, file}, std::pair{2.0, doubled}}) {
            const QImage shown = info::HelpBrowser::pictureForRatio(file, ratio);
            QVERIFY2(shown.width() == qRound(width * ratio),
                     qPrintable(u"%1 at %2x: %3 pixels wide"_s.arg(taken).arg(ratio).arg(shown.width())));
            QVERIFY2(shown == QImage(taken), qPrintable(taken + u" is not shown as it is"_s));
            QCOMPARE(shown.devicePixelRatio(), ratio);
        }
        // At any other density it is scaled to the screen's pixels once, not while it is drawn.
        QCOMPARE(info::HelpBrowser::pictureForRatio(file, 1.5).width(), qRound(width * 1.5));
    }
}

void TestHelpPages::everyPageReachableFromIndex()
{
    QSet<QString> reached{u"index.html"_s};
    QStringList queue{u"index.html"_s};
    while (!queue.isEmpty()) {
        const QString page = readPage(helpFolder() + u'/' + queue.takeFirst());
        const QStringList links = captures(page, u"href=\"([^\"#:]+\\.html)(?:#[^\"]*)?\""_s);
        for (const QString& link : links) {
            if (!reached.contains(link)) {
                reached.insert(link);
                queue.append(link);
            }
        }
    }
    const QStringList all = QDir(helpFolder()).entryList({u"*.html"_s}, QDir::Files);
    for (const QString& name : all)
        QVERIFY2(reached.contains(name), qPrintable(name + u" cannot be reached from index.html"_s));
}

void TestHelpPages::helpWindowShowsCopyInProgramFolder()
{
    // The build copies the pages beside the program; started there, the window finds them.
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QStringLiteral(TAVIK_PROGRAM_DIR)));
    auto* window = new info::frmHelp;
    QDir::setCurrent(previous);
    window->show();
    auto* view = window->findChild<QTextBrowser*>(u"WebBrowser1"_s);
    QCOMPARE(view->source(), QUrl::fromLocalFile(QStringLiteral(TAVIK_PROGRAM_DIR "/help/index.html")));
    QVERIFY(view->toPlainText().contains(u"Tavik Light の使い方"_s));
    window->close();
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

QTEST_MAIN(TestHelpPages)
#include "tst_helppages.moc"
