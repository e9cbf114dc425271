#include "quomodhcp.h"
