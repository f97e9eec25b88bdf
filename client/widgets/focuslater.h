#pragma once

class QTimer;
class QWidget;

// Focuses control once the current event has been handled, about 10 ms
// later: a handler that moves the focus at once would have the key or tap
// that is still being handled land in the new field. Only the last control
// asked for gets the focus; one that is gone by then is skipped.
void FocusLater(QWidget* control);

// What the timer runs: stops it and focuses the remembered control.
void FocusRememberedControl();

// The timer FocusLater starts: the main window's tmActiveControl once it is
// handed over; until then, and after it is gone, one of FocusLater's own.
void SetFocusLaterTimer(QTimer* timer);
