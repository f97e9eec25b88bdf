#pragma once

#include <QPoint>
#include <QRect>
#include <QStringList>

#include <functional>

class QObject;

// The on-screen keyboard of a touch terminal without keys: Qt Virtual
// Keyboard in a window of its own along the bottom of the screen. The
// terminal turns it on at start unless told otherwise; the windows ask it to
// show or hide through the input method, and while it is up the window being
// typed into stands clear of it.
namespace ScreenKeyboard {

// The command-line switch and the settings key ("SysCon") that keep the
// keyboard off on a terminal with keys of its own.
inline constexpr char OffSwitch[] = "no-screen-keyboard";
inline constexpr char EnabledKey[] = "EkranaKlaviatura";

// Before the application object exists: chooses the keyboard's input method
// (and the software renderer it needs without a GPU) when its plugin is
// installed, the user has chosen no input method of his own, and neither the
// switch among arguments nor a 0 under the settings key turns it off. Returns
// whether it did.
bool EnableBeforeStart(const QStringList& arguments);
bool PluginInstalled();

// Requests to the input method; a test watches them, since the offscreen
// platform has no keyboard that would answer.
void Show();
void Hide();
using Watcher = std::function<void(bool shown)>;
void SetWatcher(Watcher watcher);

// From now on: a field that gets the focus brings the keyboard up unless
// hiding is on (isHiding says whether it is; hiding then puts it down at
// once, not only at the next tick), and the active window moves up while the
// keyboard would cover it.
void Follow(QObject* owner, std::function<bool()> isHiding);

// Where a window with frame form (its focused field at field) goes so that
// the keyboard at keyboard, on a screen whose free area is screen, covers
// neither: just above the keyboard, or, when the window is too tall for
// that, as far up as keeps the field above the keyboard. All global
// coordinates; the window's top-left is returned.
QPoint PlaceAbove(QRect form, QRect field, QRect keyboard, QRect screen);

} // namespace ScreenKeyboard
