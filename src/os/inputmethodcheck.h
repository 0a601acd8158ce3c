#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace os {

/// What the session tells programs about its input method.
struct InputMethodEnvironment
{
    QString qtModule;     ///< QT_IM_MODULE: the input-context plug-in Qt loads
    QString xModifiers;   ///< XMODIFIERS: the X input method server, "@im=uim"
    QString gtkModule;    ///< GTK_IM_MODULE: what GTK programs use, the framework when nothing else names it
    QString platformName; ///< Qt's window-system plug-in: "xcb", "wayland", …

    /// The variables of this process, on the window-system plug-in @p platformName.
    static InputMethodEnvironment current(const QString& platformName);
};

/// An input method the session asks for that the program cannot reach, and where it was named.
struct UnreachableInputMethod
{
    QString name;     ///< as the variable names it: "uim", "xim", "fcitx"
    QString variable; ///< "QT_IM_MODULE", "XMODIFIERS" or "GTK_IM_MODULE"

    friend bool operator==(const UnreachableInputMethod&, const UnreachableInputMethod&) = default;
};

/**
 * The input method of the session when Qt cannot use it, so that keys reach the program as plain
 * letters and Japanese cannot be typed; std::nullopt when it can, or when no input method is asked
 * for. Qt 6 loads the input-context plug-in that QT_IM_MODULE names, one of @p availableModules
 * (compared without regard to case); it has no XIM support ("xim" only composes dead keys). On X11
 * without QT_IM_MODULE it reaches no input method at all, so one named by XMODIFIERS or
 * GTK_IM_MODULE is out of reach; on Wayland the compositor brings the input method instead.
 */
std::optional<UnreachableInputMethod> unreachableInputMethod(const InputMethodEnvironment& environment,
                                                             const QStringList& availableModules);

/// The names under which Qt can load an input-context plug-in: the keys of the plug-ins in the
/// "platforminputcontexts" folder of each library path, read without loading them.
QStringList availableInputMethodModules();

} // namespace os
