// Kept for files that include it by this name: the picture helpers live in tests/common.
#pragma once

#include "../common/pictures.h"
