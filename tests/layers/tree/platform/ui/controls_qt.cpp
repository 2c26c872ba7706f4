#include <QWidget>
#include "platform/ui/canvas_qt.h"
#include "platform/ui/graphics.h"
