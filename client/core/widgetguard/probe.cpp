// Compiled only by the test that the core cannot include a widget: the
// include below must fail.
#include <QWidget>
