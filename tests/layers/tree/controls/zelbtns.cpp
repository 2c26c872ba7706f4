#include "recorder/Unit1.h"
#include <QtWidgets/QPushButton>
