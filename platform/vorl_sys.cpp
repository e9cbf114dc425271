#include "vorl.h"
