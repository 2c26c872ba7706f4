#pragma once
#include "engine/MMWave.h"
