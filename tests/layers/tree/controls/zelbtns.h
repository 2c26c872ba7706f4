#pragma once
#include "platform/ui/controls.h"
