#include "inputmethodcheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace os {

namespace {

// What GTK_IM_MODULE holds when it names no input method framework of its own.
bool namesNoFramework(const QString& gtkModule)
{
    static const QStringList none = {u""_s,    u"none"_s,    u"simple"_s,    u"gtk-im-context-simple"_s,
                                     u"xim"_s, u"wayland"_s, u"waylandgtk"_s};
    return none.contains(gtkModule, Qt::CaseInsensitive);
}

} // namespace

InputMethodEnvironment InputMethodEnvironment::current(const QString& platformName)
{
    return {qEnvironmentVariable("QT_IM_MODULE"), qEnvironmentVariable("XMODIFIERS"),
            qEnvironmentVariable("GTK_IM_MODULE"), platformName};
}

std::optional<UnreachableInputMethod> unreachableInputMethod(const InputMethodEnvironment& environment,
                                                             const QStringList& availableModules)
{
    const QString qtModule = environment.qtModule.trimmed();
    if (!qtModule.isEmpty()) {
        // "none" and "compose" ask for no input method; the compose plug-in also answers to "xim".
        if (qtModule.compare(u"none"_s, Qt::CaseInsensitive) == 0 ||
            qtModule.compare(u"compose"_s, Qt::CaseInsensitive) == 0)
            return std::nullopt;
        if (qtModule.compare(u"xim"_s, Qt::CaseInsensitive) != 0 &&
            availableModules.contains(qtModule, Qt::CaseInsensitive))
            return std::nullopt;
        return UnreachableInputMethod{qtModule, u"QT_IM_MODULE"_s};
    }
    if (environment.platformName != u"xcb"_s)
        return std::nullopt;
    static const QRegularExpression serverName(u"@im=([^@\\s]+)"_s);
    const QString server = serverName.match(environment.xModifiers).captured(1);
    if (!server.isEmpty() && server.compare(u"none"_s, Qt::CaseInsensitive) != 0)
        return UnreachableInputMethod{server, u"XMODIFIERS"_s};
    const QString gtkModule = environment.gtkModule.trimmed();
    if (!namesNoFramework(gtkModule))
        return UnreachableInputMethod{gtkModule, u"GTK_IM_MODULE"_s};
    return std::nullopt;
}

QStringList availableInputMethodModules()
{
    QStringList keys;
    const QStringList libraryPaths = QCoreApplication::libraryPaths();
    for (const QString& libraryPath : libraryPaths) {
        const QDir folder(libraryPath + u"/platforminputcontexts"_s);
        const QStringList files = folder.entryList(QDir::Files);
        for (const QString& file : files) {
            // The metadata is read from the file; the plug-in's code is not loaded.
            const QJsonObject metaData = QPluginLoader(folder.filePath(file)).metaData();
            const QJsonArray fileKeys = metaData.value(u"MetaData"_s).toObject().value(u"Keys"_s).toArray();
            for (const QJsonValue& key : fileKeys)
                keys.append(key.toString().toLower());
        }
    }
    keys.removeDuplicates();
    return keys;
}

} // namespace os
