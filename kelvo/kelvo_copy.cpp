#include "kelvo/kelvo.h"
