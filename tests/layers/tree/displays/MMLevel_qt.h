#pragma once
#include "displays/MMLevel.h"
