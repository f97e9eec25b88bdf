#pragma once

class QWidget;

// The terminal's windows are made the first time they are needed, kept in
// one global reference per window class (SysCon, EnterPasword, ...) and
// reused; owner is the main window, or the calling window for the line
// windows, and destroys them with itself. Each window's destructor clears
// its reference.
template <typename Window> Window* CreateOnce(Window*& reference, QWidget* owner)
{
    if (!reference)
        reference = new Window(owner);
    return reference;
}
