#include "webvard.h"
