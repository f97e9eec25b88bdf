#pragma once

#include <QString>

// The short tone that comes with every message box of the terminal: on a
// loud shop floor the person with the scanner looks at the goods, not at the
// screen, and must hear that the scan did not go through. Played through Qt
// Multimedia from a tone made here; without an audio device the tone is
// simply not heard, and nothing waits for it.
class ErrorTone final
{
public:
    ErrorTone() = delete;

    static void play();
    // How often play() was asked for in this run, for the tests.
    static int timesPlayed();
};

// The terminal's ShowMessage handler: the tone, then the message box.
void ShowMessageWithTone(const QString& text);
