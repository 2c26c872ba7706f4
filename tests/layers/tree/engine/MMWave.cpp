#include <QObject>
#include "engine/MMWave.h"
#include <unistd.h>
