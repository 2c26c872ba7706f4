#include <QTimer>
#include "platform/ui/canvas_qt.h"
