#pragma once
#include "platform/system/clock.h"
