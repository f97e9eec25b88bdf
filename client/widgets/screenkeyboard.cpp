#include "client/widgets/screenkeyboard.h"

#include "client/core/settingsfile.h"

#include <QApplication>
#include <QFileInfo>
#include <QInputMethod>
#include <QInputMethodQueryEvent>
#include <QLibraryInfo>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <memory>

namespace {

const QString kPlugin = QStringLiteral("/platforminputcontexts/libqtvirtualkeyboardplugin.so");
// A little air between the field and the keyboard's top edge.
constexpr int kFieldClearance = 8;

ScreenKeyboard::Watcher& watcher()
{
    static ScreenKeyboard::Watcher instance;
    return instance;
}

// The window moved out of the keyboard's way and where it stood before.
struct MovedWindow
{
    QPointer<QWidget> window;
    QPoint from;
};

bool takesText(QObject* object)
{
    if (!object)
        return false;
    QInputMethodQueryEvent query(Qt::ImEnabled | Qt::ImReadOnly);
    QCoreApplication::sendEvent(object, &query);
    return query.value(Qt::ImEnabled).toBool() && !query.value(Qt::ImReadOnly).toBool();
}

void restoreMovedWindow(MovedWindow& moved)
{
    if (QWidget* window = moved.window)
        window->move(moved.from);
    moved.window = nullptr;
}

void keepActiveWindowClear(MovedWindow& moved)
{
    const QInputMethod* inputMethod = QGuiApplication::inputMethod();
    QWidget* window = QApplication::activeWindow();
    if (moved.window && (moved.window != window || !inputMethod->isVisible()))
        restoreMovedWindow(moved);
    if (!window || !inputMethod->isVisible() || !window->screen())
        return;

    // Placed from where the window stood before the keyboard came up, so a
    // new field or a resized keyboard gives the same place each time.
    const QPoint home = moved.window == window ? moved.from : window->pos();
    const QRect frame = window->frameGeometry().translated(home - window->pos());
    QRect field = frame;
    if (const QWidget* focused = QApplication::focusWidget();
        focused && focused->window() == window)
        field = QRect(focused->mapToGlobal(QPoint(0, 0)) + (home - window->pos()), focused->size());
    // The desktop keyboard reports its place in screen coordinates.
    const QRect keyboard = inputMethod->keyboardRectangle().toAlignedRect();
    const QPoint place =
        ScreenKeyboard::PlaceAbove(frame, field, keyboard, window->screen()->availableGeometry());
    const QPoint target = home + (place - frame.topLeft());
    if (target == home) {
        restoreMovedWindow(moved);
        return;
    }
    if (moved.window != window) {
        moved.window = window;
        moved.from = home;
    }
    window->move(target);
}

} // namespace

namespace ScreenKeyboard {

bool PluginInstalled()
{
    return QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) + kPlugin);
}

bool EnableBeforeStart(const QStringList& arguments)
{
    if (qEnvironmentVariableIsSet("QT_IM_MODULE"))
        return false; // the user's own choice
    if (arguments.contains(QLatin1String("--") + QLatin1String(OffSwitch)))
        return false;
    if (!IniReadBool(QStringLiteral("SysCon"), QString::fromLatin1(EnabledKey), true))
        return false;
    if (!PluginInstalled())
        return false;
    qputenv("QT_IM_MODULE", "qtvirtualkeyboard");
    // Terminals have no GPU; the keyboard's panel is drawn by Qt Quick.
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    return true;
}

void Show()
{
    QGuiApplication::inputMethod()->show();
    if (watcher())
        watcher()(true);
}

void Hide()
{
    QGuiApplication::inputMethod()->hide();
    if (watcher())
        watcher()(false);
}

void SetWatcher(Watcher watcher)
{
    ::watcher() = std::move(watcher);
}

void Follow(QObject* owner, std::function<bool()> isHiding)
{
    QInputMethod* inputMethod = QGuiApplication::inputMethod();
    const auto moved = std::make_shared<MovedWindow>();
    QObject::connect(qApp, &QGuiApplication::focusObjectChanged, owner,
                     [isHiding, moved](QObject* focused) {
                         if (!takesText(focused))
                             return;
                         if (isHiding())
                             Hide();
                         else {
                             Show();
                             keepActiveWindowClear(*moved);
                         }
                     });
    // A tap into a field asks for the keyboard by itself; while hiding is on
    // it goes down again before the user sees it.
    QObject::connect(inputMethod, &QInputMethod::visibleChanged, owner, [isHiding, moved] {
        if (QGuiApplication::inputMethod()->isVisible() && isHiding())
            Hide();
        keepActiveWindowClear(*moved);
    });
    QObject::connect(inputMethod, &QInputMethod::keyboardRectangleChanged, owner,
                     [moved] { keepActiveWindowClear(*moved); });
}

QPoint PlaceAbove(QRect form, QRect field, QRect keyboard, QRect screen)
{
    if (keyboard.isEmpty() || !form.intersects(keyboard))
        return form.topLeft();
    const int cover = form.bottom() - keyboard.top() + 1;
    const int room = form.top() - screen.top();
    if (cover <= room)
        return form.topLeft() - QPoint(0, cover);
    const int fieldCover = field.bottom() - keyboard.top() + 1 + kFieldClearance;
    return form.topLeft() - QPoint(0, std::max(room, fieldCover));
}

} // namespace ScreenKeyboard
