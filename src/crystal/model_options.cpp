#include "crystal/model_options.h"

uint8_t OptionFlags[OptionFlagCount] = {};
