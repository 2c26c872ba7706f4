#include <QObject>
#include "engine/MMWave.h"
