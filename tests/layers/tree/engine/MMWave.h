#pragma once
#include "platform/audio/wave_device.h"
