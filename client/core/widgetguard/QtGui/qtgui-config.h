// Found first on client/core's include path: every Qt GUI and Widgets header
// includes this one, so a window class slipping into the core stops the build
// here instead of tying the core to the screens.
#error "client/core is the terminal's layer without windows: no Qt GUI or Widgets here"
