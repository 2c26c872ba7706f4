#include <QApplication>
#include "displays/MMLevel_qt.h"
#include "engine/MMWave.h"
